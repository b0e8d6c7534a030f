#include "EntryRules.h"

#include "storage/NameRules.h"

#include <algorithm>
#include <string_view>

namespace quillex::rules
{

namespace
{
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

    std::string phrase (NameRules::PieceProblem problem)
    {
        using P = NameRules::PieceProblem;

        switch (problem)
        {
            case P::emptyOrDot:          return "has an empty or \".\" piece";
            case P::dotDot:              return "has a \"..\" piece";
            case P::invalidUtf8:         return "is not valid UTF-8";
            case P::tooLong:             return "has a piece longer than " + std::to_string (limits::maxPieceBytes) + " bytes";
            case P::controlCharacter:    return "has a control character";
            case P::forbiddenCharacter:  return "has a character that Windows does not allow in names";
            case P::trailingDotOrSpace:  return "has a piece ending in a dot or a space";
            case P::deviceName:          return "names a Windows device";
            case P::none:                break;
        }

        return {};
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
    static_assert (limits::maxPieceBytes == NameRules::maxPieceBytes);

    if (name.empty())
        return "is empty";

    if (! NameRules::isValidUtf8 (name))
        return "is not valid UTF-8";

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
            return phrase (NameRules::PieceProblem::dotDot);

    for (auto& piece : parts)
        if (auto problem = NameRules::pieceProblem (piece); problem != NameRules::PieceProblem::none)
            return phrase (problem);

    if (! isDestinationConstant (parts.front()) || (parts.size() == 1 && kind != EntryKind::folder))
        return "is not under a destination constant such as {cf64}";

    return {};
}

void checkConflicts (const std::vector<Entry>& entries)
{
    // Each entry's path is walked one level per round. A folder met at one
    // level gets a number, and the next level's pieces are told apart by that
    // number and their folded hash: no path is ever held twice.
    struct Walk
    {
        std::uint32_t parent = 0;     // the number of the folder reached so far
        std::uint32_t start = 0;      // where the next piece begins in the name
        bool done = false;
    };

    struct Item
    {
        std::uint32_t parent;
        std::uint64_t hash;
        std::uint32_t entry;
        std::string_view piece;
        bool last;
    };

    std::vector<Walk> walks (entries.size());
    std::vector<Item> items;
    items.reserve (entries.size());
    std::uint32_t nextNumber = 1;

    for (std::size_t level = 0; ; ++level)
    {
        items.clear();

        for (std::uint32_t index = 0; index < entries.size(); ++index)
        {
            auto& walk = walks[index];

            if (walk.done)
                continue;

            std::string_view name = entries[index].name;
            auto slash = name.find ('/', walk.start);
            auto last = slash == std::string_view::npos;
            auto piece = name.substr (walk.start, last ? std::string_view::npos : slash - walk.start);
            items.push_back ({ walk.parent, NameRules::foldedHash (piece), index, piece, last });
        }

        if (items.empty())
            return;

        // Equal hashes that fold differently (a crafted collision) still sort
        // apart, and within one name the earliest entry comes first.
        std::sort (items.begin(), items.end(), [] (const Item& a, const Item& b)
        {
            if (a.parent != b.parent)  return a.parent < b.parent;
            if (a.hash != b.hash)      return a.hash < b.hash;

            if (auto order = NameRules::compareFolded (a.piece, b.piece); order != 0)
                return order < 0;

            return a.entry < b.entry;
        });

        for (std::size_t first = 0; first < items.size();)
        {
            auto end = first + 1;

            while (end < items.size() && items[end].parent == items[first].parent && items[end].hash == items[first].hash
                    && NameRules::compareFolded (items[end].piece, items[first].piece) == 0)
                ++end;

            auto& earliest = items[first];
            const Item* file = nullptr;

            for (auto i = first; i < end; ++i)
            {
                auto& item = items[i];

                if (item.piece != earliest.piece)
                    refuse (quoted (entries[earliest.entry].name) + " and " + quoted (entries[item.entry].name)
                              + " differ only by letter case");

                if (item.last && entries[item.entry].kind != EntryKind::folder && file == nullptr)
                    file = &item;
            }

            if (file != nullptr && end - first > 1)
            {
                auto& other = items[first].entry == file->entry ? items[first + 1] : items[first];
                auto& fileName = entries[file->entry].name;
                auto& otherName = entries[other.entry].name;

                // Both end here under the same spelling: one name twice.
                if (other.last)
                    refuse (quoted (fileName) + " appears twice");

                refuse (quoted (otherName) + " would write through the file " + quoted (fileName));
            }

            auto number = nextNumber++;

            for (auto i = first; i < end; ++i)
            {
                auto& walk = walks[items[i].entry];
                walk.parent = number;
                walk.done = items[i].last;
                walk.start += (std::uint32_t) items[i].piece.size() + 1;
            }

            first = end;
        }
    }
}

} // namespace quillex::rules
