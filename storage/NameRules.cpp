#include "storage/NameRules.h"

#include <algorithm>

namespace NameRules
{

namespace
{
    bool isDeviceName (std::string_view piece)
    {
        auto stem = piece.substr (0, piece.find ('.'));

        while (! stem.empty() && stem.back() == ' ')
            stem.remove_suffix (1);

        std::string upper (stem);

        for (auto& c : upper)
            if (c >= 'a' && c <= 'z')
                c = (char) (c - 32);

        for (auto* device : { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" })
            if (upper == device)
                return true;

        if (upper.size() < 4 || (upper.compare (0, 3, "COM") != 0 && upper.compare (0, 3, "LPT") != 0))
            return false;

        // Windows counts 0 to 9 and the superscripts ¹ ² ³ as port numbers.
        auto digit = upper.substr (3);
        return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9')
                || digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
    }
}

//==============================================================================
bool decode (std::string_view text, std::size_t& i, char32_t& out)
{
    auto byte = [&text] (std::size_t at) { return (unsigned char) text[at]; };
    auto lead = byte (i);

    if (lead < 0x80)
    {
        out = lead;
        ++i;
        return true;
    }

    int extra = (lead >= 0xC2 && lead <= 0xDF) ? 1 : (lead >= 0xE0 && lead <= 0xEF) ? 2
              : (lead >= 0xF0 && lead <= 0xF4) ? 3 : -1;

    if (extra < 0 || i + (std::size_t) extra >= text.size())
        return false;

    char32_t value = lead & (0x3F >> extra);

    for (int k = 1; k <= extra; ++k)
    {
        auto next = byte (i + (std::size_t) k);

        if ((next & 0xC0) != 0x80)
            return false;

        value = (value << 6) | (next & 0x3F);
    }

    static constexpr char32_t smallest[] = { 0, 0x80, 0x800, 0x10000 };

    // A surrogate here is CESU-8 or half a pair: Windows would store it as a
    // lone UTF-16 unit that no other platform can name.
    if (value < smallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;

    out = value;
    i += (std::size_t) extra + 1;
    return true;
}

bool isValidUtf8 (std::string_view text)
{
    std::size_t i = 0;
    char32_t ignored;

    while (i < text.size())
        if (! decode (text, i, ignored))
            return false;

    return true;
}

bool isControlCharacter (char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F)
            || c == 0x061C || c == 0x200E || c == 0x200F
            || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

char32_t foldCharacter (char32_t c)
{
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 32 : c;

    if (c > 0xFFFF)
        return c;

    auto* end = caseTable + caseTableSize;
    auto* found = std::lower_bound (caseTable, end, c, [] (const CasePair& pair, char32_t value) { return pair.from < value; });
    return found != end && found->from == c ? (char32_t) found->to : c;
}

std::string foldCase (std::string_view text)
{
    std::string out;
    out.reserve (text.size());
    std::size_t i = 0;
    char32_t c;

    while (i < text.size())
    {
        if (! decode (text, i, c))
        {
            out += text[i++];   // not for names that passed the rules
            continue;
        }

        c = foldCharacter (c);

        if (c < 0x80)
        {
            out += (char) c;
        }
        else if (c < 0x800)
        {
            out += (char) (0xC0 | (c >> 6));
            out += (char) (0x80 | (c & 0x3F));
        }
        else if (c < 0x10000)
        {
            out += (char) (0xE0 | (c >> 12));
            out += (char) (0x80 | ((c >> 6) & 0x3F));
            out += (char) (0x80 | (c & 0x3F));
        }
        else
        {
            out += (char) (0xF0 | (c >> 18));
            out += (char) (0x80 | ((c >> 12) & 0x3F));
            out += (char) (0x80 | ((c >> 6) & 0x3F));
            out += (char) (0x80 | (c & 0x3F));
        }
    }

    return out;
}

int compareFolded (std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;

    while (i < a.size() && j < b.size())
    {
        char32_t x = (unsigned char) a[i], y = (unsigned char) b[j];

        if (! decode (a, i, x))  ++i;
        if (! decode (b, j, y))  ++j;

        x = foldCharacter (x);
        y = foldCharacter (y);

        if (x != y)
            return x < y ? -1 : 1;
    }

    return (i < a.size()) - (j < b.size());
}

std::uint64_t foldedHash (std::string_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    std::size_t i = 0;

    while (i < text.size())
    {
        char32_t c = (unsigned char) text[i];

        if (! decode (text, i, c))
            ++i;

        hash = (hash ^ foldCharacter (c)) * 0x100000001b3ull;
    }

    return hash;
}

PieceProblem pieceProblem (std::string_view piece)
{
    if (piece.empty() || piece == ".")
        return PieceProblem::emptyOrDot;

    if (piece == "..")
        return PieceProblem::dotDot;

    if (! isValidUtf8 (piece))
        return PieceProblem::invalidUtf8;

    std::size_t i = 0;
    char32_t c;

    while (i < piece.size())
        if (decode (piece, i, c) && isControlCharacter (c))
            return PieceProblem::controlCharacter;

    if (piece.size() > maxPieceBytes)
        return PieceProblem::tooLong;

    if (piece.find_first_of ("/\\<>:\"|?*") != std::string_view::npos)
        return PieceProblem::forbiddenCharacter;

    if (piece.back() == '.' || piece.back() == ' ')
        return PieceProblem::trailingDotOrSpace;

    if (isDeviceName (piece))
        return PieceProblem::deviceName;

    return PieceProblem::none;
}

} // namespace NameRules
