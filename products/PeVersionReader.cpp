#include "PeVersionReader.h"

#include <climits>
#include <cstring>
#include <optional>
#include <vector>

namespace PeVersionReader
{

namespace
{
    using juce::uint8;
    using juce::uint16;
    using juce::uint32;
    using juce::uint64;

    constexpr uint32 resourceTypeVersion = 16;            // RT_VERSION
    constexpr uint32 highBit = 0x80000000;                // names a string, or points to a subdirectory
    constexpr uint32 fixedFileInfoSignature = 0xFEEF04BD;
    constexpr size_t fixedFileInfoSize = 52;              // sizeof (VS_FIXEDFILEINFO)
    constexpr size_t directoryHeaderSize = 16;
    constexpr size_t directoryEntrySize = 8;
    constexpr size_t sectionHeaderSize = 40;

    // VS_VERSIONINFO starts with three WORDs and its key; the value follows
    // on the next 32-bit boundary.
    constexpr char versionKey[] = "VS_VERSION_INFO";
    constexpr size_t versionKeyBytes = sizeof (versionKey) * 2;   // UTF-16, with its terminator
    constexpr size_t versionValueOffset = (6 + versionKeyBytes + 3) & ~size_t (3);

    uint16 readLE16 (const uint8* p)
    {
        return (uint16) (p[0] | (p[1] << 8));
    }

    uint32 readLE32 (const uint8* p)
    {
        return (uint32) p[0] | ((uint32) p[1] << 8) | ((uint32) p[2] << 16) | ((uint32) p[3] << 24);
    }

    using Bytes = std::vector<uint8>;

    //==============================================================================
    struct Section
    {
        uint32 virtualAddress = 0, rawSize = 0, rawOffset = 0;
    };

    /** The image as its resource walk sees it: the file plus the section table
        that maps relative virtual addresses (RVAs) to file offsets.
    */
    struct Image
    {
        explicit Image (const ImageSource& s) : source (s) {}

        /** The bytes at a file offset, or nothing when they are not all in the file.
            Checks before allocating, so a hostile size never turns into memory.
        */
        std::optional<Bytes> readAt (uint64 offset, uint64 numBytes) const
        {
            const auto size = source.getSize();

            if (offset > size || numBytes > size - offset || numBytes > (uint64) INT_MAX)
                return {};

            Bytes bytes ((size_t) numBytes);

            if (numBytes > 0 && ! source.read (offset, bytes.data(), bytes.size()))
                return {};

            return bytes;
        }

        /** The file offset of an RVA range that lies wholly inside one section's
            data on disk. Bytes a section only has in memory are zeros the file
            does not hold, so ranges reaching there count as outside.
        */
        std::optional<uint64> fileOffsetOf (uint64 rva, uint64 numBytes) const
        {
            for (const auto& s : sections)
            {
                if (rva < s.virtualAddress)
                    continue;

                const auto delta = rva - s.virtualAddress;

                if (delta < s.rawSize && numBytes <= s.rawSize - delta)
                    return (uint64) s.rawOffset + delta;
            }

            return {};
        }

        /** True when the file holds all of an RVA range. */
        bool holdsRva (uint64 rva, uint64 numBytes) const
        {
            const auto offset = fileOffsetOf (rva, numBytes);
            return offset && *offset + numBytes <= source.getSize();
        }

        std::optional<Bytes> readRva (uint64 rva, uint64 numBytes) const
        {
            if (auto offset = fileOffsetOf (rva, numBytes))
                return readAt (*offset, numBytes);

            return {};
        }

        const ImageSource& source;
        std::vector<Section> sections;
        uint32 resourceRva = 0;
    };

    //==============================================================================
    // DOS header -> PE signature -> file header -> optional header (PE32 or
    // PE32+) -> resource data directory, then the section table.
    bool readHeaders (Image& image)
    {
        const auto dos = image.readAt (0, 64);

        if (! dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z')
            return false;

        const uint64 peOffset = readLE32 (dos->data() + 0x3C);
        const auto fileHeader = image.readAt (peOffset, 4 + 20);

        if (! fileHeader || std::memcmp (fileHeader->data(), "PE\0\0", 4) != 0)
            return false;

        const auto numSections = readLE16 (fileHeader->data() + 4 + 2);
        const auto optionalHeaderSize = readLE16 (fileHeader->data() + 4 + 16);
        const auto optionalHeaderOffset = peOffset + 4 + 20;
        const auto optionalHeader = image.readAt (optionalHeaderOffset, optionalHeaderSize);

        if (! optionalHeader || optionalHeaderSize < 2)
            return false;

        size_t directoryCountOffset = 0;

        switch (readLE16 (optionalHeader->data()))
        {
            case 0x10B: directoryCountOffset = 92;  break;   // PE32
            case 0x20B: directoryCountOffset = 108; break;   // PE32+
            default:    return false;
        }

        const auto firstDirectoryOffset = directoryCountOffset + 4;
        const auto resourceEntryOffset = firstDirectoryOffset + 2 * 8;

        if (optionalHeaderSize < resourceEntryOffset + 8
             || readLE32 (optionalHeader->data() + directoryCountOffset) <= 2)
            return false;

        image.resourceRva = readLE32 (optionalHeader->data() + resourceEntryOffset);
        const auto resourceSize = readLE32 (optionalHeader->data() + resourceEntryOffset + 4);

        if (image.resourceRva == 0 || resourceSize == 0)
            return false;

        const auto table = image.readAt (optionalHeaderOffset + optionalHeaderSize,
                                         (uint64) numSections * sectionHeaderSize);

        if (! table)
            return false;

        for (size_t i = 0; i < numSections; ++i)
        {
            const auto* header = table->data() + i * sectionHeaderSize;
            image.sections.push_back ({ readLE32 (header + 12), readLE32 (header + 16), readLE32 (header + 20) });
        }

        return true;
    }

    //==============================================================================
    struct DirectoryEntry
    {
        uint32 name = 0, offset = 0;

        bool isIdentifiedBy (uint32 id) const   { return (name & highBit) == 0 && name == id; }
        bool isSubdirectory() const             { return (offset & highBit) != 0; }
        uint32 target() const                   { return offset & ~highBit; }
    };

    /** The entries of the resource directory at an offset from the resource
        root. The whole entry table must lie in the image: a count that runs
        past it marks a corrupt directory rather than a long one.
    */
    std::optional<std::vector<DirectoryEntry>> readDirectory (const Image& image, uint32 offsetFromRoot)
    {
        const auto rva = (uint64) image.resourceRva + offsetFromRoot;
        const auto header = image.readRva (rva, directoryHeaderSize);

        if (! header)
            return {};

        const auto count = (uint64) readLE16 (header->data() + 12) + readLE16 (header->data() + 14);
        const auto table = image.readRva (rva + directoryHeaderSize, count * directoryEntrySize);

        if (! table)
            return {};

        std::vector<DirectoryEntry> entries;
        entries.reserve ((size_t) count);

        for (size_t i = 0; i < (size_t) count; ++i)
        {
            const auto* entry = table->data() + i * directoryEntrySize;
            entries.push_back ({ readLE32 (entry), readLE32 (entry + 4) });
        }

        return entries;
    }

    /** The subdirectory the first entry of a directory points to. */
    std::optional<uint32> firstSubdirectory (const std::vector<DirectoryEntry>& entries)
    {
        if (entries.empty() || ! entries.front().isSubdirectory())
            return {};

        return entries.front().target();
    }

    struct ResourceData
    {
        uint32 rva = 0, size = 0;
    };

    // Type RT_VERSION -> its first name -> that name's first language. The
    // walk has a fixed depth, so a directory pointing back at itself or an
    // ancestor cannot make it loop.
    std::optional<ResourceData> findVersionResource (const Image& image)
    {
        const auto types = readDirectory (image, 0);

        if (! types)
            return {};

        std::optional<uint32> namesOffset;

        for (const auto& entry : *types)
        {
            if (entry.isIdentifiedBy (resourceTypeVersion))
            {
                if (entry.isSubdirectory())
                    namesOffset = entry.target();

                break;
            }
        }

        if (! namesOffset)
            return {};

        const auto names = readDirectory (image, *namesOffset);
        const auto languagesOffset = names ? firstSubdirectory (*names) : std::nullopt;

        if (! languagesOffset)
            return {};

        const auto languages = readDirectory (image, *languagesOffset);

        if (! languages || languages->empty() || languages->front().isSubdirectory())
            return {};

        const auto dataEntry = image.readRva ((uint64) image.resourceRva + languages->front().target(), 16);

        if (! dataEntry)
            return {};

        return ResourceData { readLE32 (dataEntry->data()), readLE32 (dataEntry->data() + 4) };
    }

    //==============================================================================
    juce::String readFixedFileVersion (const Image& image, ResourceData data)
    {
        // All of the resource must be in the file, not only the part read here:
        // a file cut inside its resource data is damaged.
        if (data.size < versionValueOffset + fixedFileInfoSize || ! image.holdsRva (data.rva, data.size))
            return {};

        const auto block = image.readRva (data.rva, versionValueOffset + fixedFileInfoSize);

        if (! block)
            return {};

        const auto* bytes = block->data();
        const auto blockLength = readLE16 (bytes);
        const auto valueLength = readLE16 (bytes + 2);

        if (blockLength > data.size || valueLength < fixedFileInfoSize
             || versionValueOffset + valueLength > blockLength)
            return {};

        for (size_t i = 0; i < sizeof (versionKey); ++i)
            if (readLE16 (bytes + 6 + 2 * i) != (uint16) versionKey[i])
                return {};

        const auto* fixed = bytes + versionValueOffset;

        if (readLE32 (fixed) != fixedFileInfoSignature)
            return {};

        const auto ms = readLE32 (fixed + 8);
        const auto ls = readLE32 (fixed + 12);

        return juce::String (ms >> 16) + "." + juce::String (ms & 0xFFFF) + "."
             + juce::String (ls >> 16) + "." + juce::String (ls & 0xFFFF);
    }

    //==============================================================================
    class MemorySource final : public ImageSource
    {
    public:
        MemorySource (const void* d, size_t n) : data (static_cast<const uint8*> (d)), size (d != nullptr ? n : 0) {}

        uint64 getSize() const override     { return size; }

        bool read (uint64 offset, void* destination, size_t numBytes) const override
        {
            if (offset > size || numBytes > size - offset)
                return false;

            std::memcpy (destination, data + offset, numBytes);
            return true;
        }

    private:
        const uint8* data;
        size_t size;
    };

    class FileSource final : public ImageSource
    {
    public:
        explicit FileSource (const juce::File& file) : stream (file) {}

        bool openedOk() const               { return stream.openedOk(); }
        uint64 getSize() const override     { return (uint64) juce::jmax ((juce::int64) 0, stream.getTotalLength()); }

        bool read (uint64 offset, void* destination, size_t numBytes) const override
        {
            if (offset > getSize() || numBytes > getSize() - offset || numBytes > (size_t) INT_MAX)
                return false;

            return stream.setPosition ((juce::int64) offset)
                && stream.read (destination, (int) numBytes) == (int) numBytes;
        }

    private:
        // Reading moves the stream, which is no change to the image it reads.
        mutable juce::FileInputStream stream;
    };
}

//==============================================================================
juce::String readFileVersion (const ImageSource& source)
{
    Image image (source);

    if (! readHeaders (image))
        return {};

    if (const auto data = findVersionResource (image))
        return readFixedFileVersion (image, *data);

    return {};
}

juce::String readFileVersionFromBytes (const void* data, size_t numBytes)
{
    return readFileVersion (MemorySource (data, numBytes));
}

juce::String readFileVersion (const juce::File& file)
{
    if (file.getFullPathName().isEmpty() || ! file.existsAsFile())
        return {};

    FileSource source (file);

    if (! source.openedOk())
        return {};

    return readFileVersion (source);
}

} // namespace PeVersionReader
