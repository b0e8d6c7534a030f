#include "EntryRules.h"

#include <cstring>
#include <unordered_map>

namespace quillex::rules
{

namespace
{
    // Decodes one UTF-8 sequence at text[i]; returns false on anything
    // malformed, overlong, a surrogate or beyond U+10FFFF.
    bool decode (const std::string& text, std::size_t& i, char32_t& out)
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

        if (value < smallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;

        out = value;
        i += (std::size_t) extra + 1;
        return true;
    }

    void encode (char32_t c, std::string& out)
    {
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

    char32_t fold (char32_t c)
    {
        if (c >= 'A' && c <= 'Z')                             return c + 32;
        if (c < 0xC0)                                          return c;
        if (c <= 0xDE)                                         return c == 0xD7 ? c : c + 32;
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return c | 1;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? c + 1 : c;
        if (c == 0x178)                                        return 0xFF;
        if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)            return c + 32;
        if (c >= 0x410 && c <= 0x42F)                          return c + 32;
        if (c >= 0x400 && c <= 0x40F)                          return c + 80;
        return c;
    }

    bool isDestinationConstant (const std::string& piece)
    {
        if (piece.size() < 3 || piece.front() != '{' || piece.back() != '}')
            return false;

        for (std::size_t i = 1; i + 1 < piece.size(); ++i)
        {
            auto c = piece[i];
            bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');

            if (! (letter || c == '_' || (i > 1 && c >= '0' && c <= '9')))
                return false;
        }

        return true;
    }

    // Names that Windows opens as devices whatever follows the first dot.
    bool isDeviceName (const std::string& piece)
    {
        auto base = piece.substr (0, piece.find ('.'));

        while (! base.empty() && base.back() == ' ')
            base.pop_back();

        for (auto& c : base)
            if (c >= 'a' && c <= 'z')
                c = (char) (c - 32);

        static const char* const devices[] = { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" };

        for (auto* device : devices)
            if (base == device)
                return true;

        return base.size() == 4 && (base.compare (0, 3, "COM") == 0 || base.compare (0, 3, "LPT") == 0)
                 && base[3] >= '1' && base[3] <= '9';
    }

    [[noreturn]] void refuse (const std::string& what)
    {
        throw Complaint { ExitCode::unsafe, "Unsafe entry refused: " + what + "." };
    }
}

//==============================================================================
std::string normalise (const std::string& rawName)
{
    auto name = rawName;

    for (auto& c : name)
        if (c == '\\')
            c = '/';

    return name;
}

bool isValidUtf8 (const std::string& text)
{
    std::size_t i = 0;
    char32_t ignored;

    while (i < text.size())
        if (! decode (text, i, ignored))
            return false;

    return true;
}

std::string foldCase (const std::string& name)
{
    std::string out;
    out.reserve (name.size());
    std::size_t i = 0;
    char32_t c;

    while (i < name.size())
    {
        if (! decode (name, i, c))
            return name;    // unreachable for checked names

        encode (fold (c), out);
    }

    return out;
}

std::vector<std::string> pieces (const std::string& name)
{
    std::vector<std::string> result;
    std::size_t start = 0;

    for (;;)
    {
        auto slash = name.find ('/', start);
        result.push_back (name.substr (start, slash == std::string::npos ? std::string::npos : slash - start));

        if (slash == std::string::npos)
            return result;

        start = slash + 1;
    }
}

std::string nameProblem (const std::string& name, EntryKind kind)
{
    if (name.empty())
        return "is empty";

    if (! isValidUtf8 (name))
        return "is not valid UTF-8";

    for (auto c : name)
        if ((unsigned char) c < 0x20 || c == 0x7F)
            return "has a control character";

    if (name.size() > limits::maxNameBytes)
        return "is longer than " + std::to_string (limits::maxNameBytes) + " bytes";

    if (name.front() == '/')
        return "is an absolute path";

    if (name.size() >= 2 && name[1] == ':' && ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z')))
        return "starts with a drive letter";

    auto parts = pieces (name);

    if (parts.size() > limits::maxDepth)
        return "is nested more than " + std::to_string (limits::maxDepth) + " folders deep";

    for (auto& piece : parts)
        if (piece == "..")
            return "has a \"..\" piece";

    for (auto& piece : parts)
    {
        if (piece.empty() || piece == ".")
            return "has an empty or \".\" piece";

        if (piece.size() > limits::maxPieceBytes)
            return "has a piece longer than " + std::to_string (limits::maxPieceBytes) + " bytes";

        if (piece.find_first_of ("<>:\"|?*") != std::string::npos)
            return "has a character that Windows does not allow in names";

        // Windows drops trailing dots and spaces, so the file would get
        // another entry's name.
        if (piece.back() == '.' || piece.back() == ' ')
            return "has a piece ending in a dot or a space";

        if (isDeviceName (piece))
            return "names a Windows device";
    }

    if (! isDestinationConstant (parts.front()) || (parts.size() == 1 && kind != EntryKind::folder))
        return "is not under a destination constant such as {cf64}";

    return {};
}

void checkConflicts (const std::vector<Entry>& entries)
{
    struct Seen
    {
        std::string spelling;
        bool isFile;
        std::size_t entry;
    };

    std::unordered_map<std::string, Seen> seen;
    seen.reserve (entries.size() * 2);

    for (std::size_t index = 0; index < entries.size(); ++index)
    {
        auto& entry = entries[index];
        auto isFile = entry.kind != EntryKind::folder;

        // Every folder on the way, then the entry itself.
        for (std::size_t end = entry.name.find ('/'); ; end = entry.name.find ('/', end + 1))
        {
            auto last = end == std::string::npos;
            auto path = last ? entry.name : entry.name.substr (0, end);
            auto key = foldCase (path);
            auto found = seen.find (key);

            if (found == seen.end())
            {
                seen.emplace (key, Seen { path, last && isFile, index });
            }
            else
            {
                auto& other = found->second;
                auto& otherName = entries[other.entry].name;

                if (other.spelling != path)
                    refuse (quoted (otherName) + " and " + quoted (entry.name) + " differ only by letter case");

                if (! last && other.isFile)
                    refuse (quoted (entry.name) + " would write through the file " + quoted (otherName));

                if (last && (isFile || other.isFile))
                {
                    if (otherName == path)
                        refuse (quoted (entry.name) + " appears twice");

                    refuse (quoted (otherName) + " would write through the file " + quoted (entry.name));
                }
            }

            if (last)
                break;
        }
    }
}

} // namespace quillex::rules
