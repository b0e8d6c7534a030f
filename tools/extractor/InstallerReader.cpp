#include "InstallerFormat.h"

#include "EntryRules.h"
#include "NativeFiles.h"
#include "storage/NameRules.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace quillex
{

namespace
{
    std::uint16_t u16 (const unsigned char* p)  { return (std::uint16_t) (p[0] | (p[1] << 8)); }
    std::uint32_t u32 (const unsigned char* p)  { return (std::uint32_t) u16 (p) | ((std::uint32_t) u16 (p + 2) << 16); }
    std::uint64_t u64 (const unsigned char* p)  { return (std::uint64_t) u32 (p) | ((std::uint64_t) u32 (p + 4) << 32); }

    std::string fileNameOf (const std::string& path)
    {
        auto slash = path.find_last_of ("/\\");
        auto name = slash == std::string::npos ? path : path.substr (slash + 1);
        return name.empty() ? path : name;
    }

    /** Where the PE image ends: the end of its last section's raw data. Zero
        when the bytes are no PE image.
    */
    std::uint64_t imageEnd (native::InputFile& file)
    {
        unsigned char dos[64];

        if (file.size() < sizeof (dos))
            return 0;

        file.read (0, dos, sizeof (dos));

        if (dos[0] != 'M' || dos[1] != 'Z')
            return 0;

        auto peOffset = (std::uint64_t) u32 (dos + 0x3C);

        if (peOffset < sizeof (dos) || peOffset > 0x10000 || peOffset + 24 > file.size())
            return 0;

        unsigned char coff[24];
        file.read (peOffset, coff, sizeof (coff));

        if (std::memcmp (coff, "PE\0\0", 4) != 0)
            return 0;

        auto sectionCount = u16 (coff + 6);
        auto optionalSize = u16 (coff + 20);
        auto table = peOffset + 24 + optionalSize;

        if (sectionCount == 0 || sectionCount > 96 || table + sectionCount * 40ull > file.size())
            return 0;

        std::vector<unsigned char> sections (sectionCount * 40u);
        file.read (table, sections.data(), sections.size());
        std::uint64_t end = table + sections.size();

        for (std::size_t i = 0; i < sectionCount; ++i)
        {
            auto* section = sections.data() + i * 40;
            auto rawSize = u32 (section + 16);

            if (rawSize > 0)
                end = std::max (end, (std::uint64_t) u32 (section + 20) + rawSize);
        }

        return end;
    }

    std::uint32_t checksumOf (native::InputFile& file, std::uint64_t length)
    {
        std::vector<unsigned char> buffer (1 << 20);
        uLong crc = crc32 (0, nullptr, 0);

        for (std::uint64_t offset = 0; offset < length;)
        {
            auto chunk = (std::size_t) std::min<std::uint64_t> (buffer.size(), length - offset);
            file.read (offset, buffer.data(), chunk);
            crc = crc32 (crc, buffer.data(), (uInt) chunk);
            offset += chunk;
        }

        return (std::uint32_t) crc;
    }
}

//==============================================================================
std::string quoted (const std::string& name)
{
    static constexpr std::size_t shownBytes = 160;
    static const char* hex = "0123456789ABCDEF";
    std::string out = "\"";
    std::size_t i = 0;
    auto validUtf8 = NameRules::isValidUtf8 (name);

    while (i < name.size() && i < shownBytes)
    {
        auto c = (unsigned char) name[i];
        char32_t character = c;
        auto next = i + 1;

        if (validUtf8)
        {
            next = i;
            NameRules::decode (name, next, character);
        }

        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\' || (c >= 0x80 && ! validUtf8))
        {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        else if (NameRules::isControlCharacter (character))
        {
            // A C1 or direction control would garble the line it is shown in.
            out += "\\u";

            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(character >> shift) & 15];
        }
        else
        {
            out.append (name, i, next - i);
        }

        i = next;
    }

    if (i < name.size())
        out += "...";

    return out + "\"";
}

Installer openInstaller (const std::string& path)
{
    Installer installer;
    installer.path = path;
    installer.displayName = fileNameOf (path);
    auto& name = installer.displayName;

    auto notInstaller = [&name] (const std::string& why) { return Complaint { ExitCode::notInstaller, "Not an installer: " + name + " " + why + "." }; };
    auto damaged = [&name] (const std::string& why) { return Complaint { ExitCode::damaged, "Damaged installer: " + name + " " + why + "." }; };
    auto tooLarge = [&name] (const std::string& why) { return Complaint { ExitCode::unsafe, "Installer refused: " + name + " " + why + "." }; };

    installer.file = std::make_shared<native::InputFile> (path, name);
    auto& file = *installer.file;
    auto size = installer.fileSize = file.size();

    if (size == 0)
        throw notInstaller ("is empty");

    auto start = imageEnd (file);

    if (start == 0)
        throw notInstaller ("is not a Windows program");

    if (start > size)
        throw damaged ("is truncated");

    if (start == size)
        throw notInstaller ("carries no payload");

    //==============================================================================
    unsigned char header[format::headerSize] = {};
    auto available = (std::size_t) std::min<std::uint64_t> (size - start, format::headerSize);
    file.read (start, header, available);

    if (std::memcmp (header, format::magic, std::min<std::size_t> (available, sizeof (format::magic))) != 0)
        throw notInstaller ("carries no payload that this tool reads");

    if (available < format::headerSize)
        throw damaged ("is truncated");

    auto version = u32 (header + 8);

    if (version != format::version)
        throw Complaint { ExitCode::notInstaller, "Unsupported installer: " + name + " uses format version "
                            + std::to_string (version) + "; this tool reads version " + std::to_string (format::version) + "." };

    auto payloadSize = u64 (header + 16);

    if (payloadSize > size - start)
        throw damaged ("is truncated");

    if (payloadSize < size - start)
        throw damaged ("has bytes after its payload");

    // The whole file before any of its content is trusted.
    unsigned char stored[format::checksumSize];
    file.read (size - format::checksumSize, stored, sizeof (stored));

    if (checksumOf (file, size - format::checksumSize) != u32 (stored))
        throw damaged ("fails its checksum");

    auto directoryOffset = u64 (header + 24);
    auto directorySize = u64 (header + 32);
    auto entryCount = u32 (header + 40);
    auto dataEnd = payloadSize - format::checksumSize;

    if (u32 (header + 12) != 0 || u32 (header + 44) != 0
         || payloadSize < format::headerSize + format::checksumSize
         || directoryOffset < format::headerSize || directoryOffset > dataEnd
         || directorySize != dataEnd - directoryOffset)
        throw damaged ("has a malformed header");

    if (entryCount > limits::maxEntries)
        throw tooLarge ("has more than " + std::to_string (limits::maxEntries) + " entries");

    if (directorySize > limits::maxDirectoryBytes)
        throw tooLarge ("has a directory larger than " + std::to_string (limits::maxDirectoryBytes >> 20) + " MiB");

    //==============================================================================
    std::vector<unsigned char> directory ((std::size_t) directorySize);
    file.read (start + directoryOffset, directory.data(), directory.size());

    installer.entries.reserve (entryCount);
    std::size_t at = 0;
    std::uint64_t dataUsed = format::headerSize;

    for (std::uint32_t i = 0; i < entryCount; ++i)
    {
        if (directory.size() - at < format::recordSize)
            throw damaged ("has a malformed directory");

        auto* record = directory.data() + at;
        auto nameLength = u16 (record + 2);
        at += format::recordSize;

        if (directory.size() - at < nameLength)
            throw damaged ("has a malformed directory");

        Entry entry;
        auto kind = record[0];
        auto method = record[1];
        entry.crc = u32 (record + 4);
        auto offset = u64 (record + 8);
        entry.storedSize = u64 (record + 16);
        entry.size = u64 (record + 24);
        entry.name = rules::normalise (std::string (reinterpret_cast<const char*> (directory.data() + at), nameLength));
        at += nameLength;

        if (kind > 2)
            throw damaged ("has an entry of unknown kind");

        if (method != 0 && method != 8)
            throw damaged ("has an entry with an unknown compression method");

        entry.kind = (EntryKind) kind;
        entry.method = (Method) method;

        // Stored bytes follow each other inside the data area and never overlap.
        if (offset < dataUsed || offset > directoryOffset || entry.storedSize > directoryOffset - offset
             || (entry.method == Method::stored && entry.storedSize != entry.size)
             || (entry.kind == EntryKind::folder && (entry.size != 0 || entry.storedSize != 0)))
            throw damaged ("has a malformed directory");

        dataUsed = offset + entry.storedSize;
        entry.dataOffset = start + offset;

        if (entry.size > limits::maxContentBytes - installer.contentBytes)
            throw tooLarge ("holds more than " + std::to_string (limits::maxContentBytes >> 30) + " GiB");

        installer.contentBytes += entry.size;

        if (auto problem = rules::nameProblem (entry.name, entry.kind); ! problem.empty())
            throw Complaint { ExitCode::unsafe, "Unsafe entry refused: " + quoted (entry.name) + " " + problem + "." };

        if (entry.kind == EntryKind::link)
            throw Complaint { ExitCode::unsafe, "Unsafe entry refused: " + quoted (entry.name) + " is a link." };

        installer.entries.push_back (std::move (entry));
    }

    if (at != directory.size())
        throw damaged ("has a malformed directory");

    // The names are copied out: the raw directory need not stay for the check.
    std::vector<unsigned char>().swap (directory);
    rules::checkConflicts (installer.entries);
    return installer;
}

} // namespace quillex
