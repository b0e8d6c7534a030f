#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <string>
#include <vector>

/**
    A ZIP archive that came from the network, read and checked as a whole
    before anything of it reaches the disk.

    The directory is parsed here rather than by the framework's ZipFile, which
    has no zip64 and trusts what the archive says: every entry's name, piece
    by piece, follows the one file-name rule; names are unique, also where
    letter case does not count, and none lies below a link or a file; each
    entry's local header matches the directory, and no two entries share
    bytes, so a small archive cannot name one block of data a thousand times.
    Each entry is inflated with a hard stop at its declared size and checked
    against its CRC.

    Plain code with no thread of its own: construct and unpack on a worker.
*/
class ZipReader final
{
public:
    //==============================================================================
    /** What an archive may hold. */
    struct Rules
    {
        int maxEntries = 10000;
        juce::int64 maxTotalBytes = (juce::int64) 16 << 30;    ///< declared content, inclusive

        /** Links only below a top-level folder, with a relative target that
            stays inside that folder; otherwise a link refuses the archive.
        */
        bool linksAllowed = false;
        juce::int64 maxLinkBytes = 4096;
    };

    /** One entry of the directory, after its checks. */
    struct Entry
    {
        juce::String name;              ///< as stored, backslashes read as "/"
        juce::StringArray pieces;       ///< the name's pieces, without a folder's trailing "/"
        bool isFolder = false;
        bool isLink = false;            ///< a Unix symbolic link; linkTarget holds its target
        bool isExecutable = false;      ///< a Unix execute bit is set
        juce::String linkTarget;
        bool deflated = false;
        juce::uint32 crc = 0;
        juce::int64 size = 0;           ///< declared size of the content
        juce::int64 compressedSize = 0;
        juce::int64 headerStart = 0;
        juce::int64 dataStart = 0;
    };

    /** Why an archive, or one of its entries, was refused. */
    enum class Problem
    {
        none,
        tooManyEntries,
        tooLarge,           ///< the declared sizes together pass the cap
        damaged,            ///< the directory, a local header or an entry's data is broken
        unsupported,        ///< encrypted, split, or a method other than stored and deflated
        mismatch,           ///< a local header disagrees with the directory
        sharedData,         ///< two entries overlap in the file
        outside,            ///< an absolute name, or a "", "." or ".." piece
        unusableName,
        link,               ///< a link where none may be
        linkOutside,        ///< a link whose target leaves its top-level folder
        duplicate,          ///< a name taken before, or a name below an earlier file or link
        noSpace,
        tooLong,            ///< an entry holds more than it declares
        cannotCreateFolder,
        cannotWrite,
        stopped
    };

    struct Outcome
    {
        Problem problem = Problem::none;
        juce::String entry;     ///< the entry's name, when one entry is at fault
        juce::File path;        ///< the folder or file that could not be made
        juce::int64 needed = 0, available = 0;     ///< for noSpace

        bool succeeded() const      { return problem == Problem::none; }
    };

    /** Free bytes on the volume of a folder; tests replace it. */
    using FreeSpaceQuery = std::function<juce::int64 (const juce::File&)>;

    //==============================================================================
    /** Reads and checks the archive's directory. A file without a ZIP end
        record reads as an archive with no entries.
    */
    ZipReader (const juce::File& archive, const Rules& rules);

    /** The directory's verdict; nothing may be unpacked unless it succeeded. */
    const Outcome& getCheck() const                 { return check; }

    /** The entries in directory order; empty when the check failed. */
    const std::vector<Entry>& getEntries() const    { return entries; }

    /** Writes every entry, in directory order, below the folder, after
        making sure the volume has room for all of it. Never writes through a
        link and never replaces anything but a plain file; on any failure or
        a stop, removes every file and folder it made and reports why.
        shouldStop is asked between entries and during each one.
    */
    Outcome unpackTo (const juce::File& folder, const std::function<bool()>& shouldStop = nullptr,
                      const FreeSpaceQuery& freeSpace = nullptr) const;

    /** Bytes kept free beyond the declared content, for the file system's own
        blocks and whatever else is writing there meanwhile.
    */
    static juce::int64 spaceMargin (size_t entryCount)  { return ((juce::int64) 64 << 20) + (juce::int64) entryCount * 4096; }

private:
    //==============================================================================
    Outcome readDirectory();
    Outcome checkNames();
    Outcome checkRegions();
    Outcome checkLocalHeaders (juce::FileInputStream&);
    Outcome readLinkTargets();

    enum class Copied { done, stopped, tooLong, damaged, writeFailed };

    /** Streams one entry's content to the sink, never past its declared size. */
    Copied copyEntry (juce::FileInputStream&, const Entry&, const std::function<bool (const void*, size_t)>& sink,
                      const std::function<bool()>& shouldStop) const;

    juce::File file;
    Rules rules;
    juce::int64 directoryStart = 0;
    std::vector<Entry> entries;
    std::vector<std::string> storedNames;      ///< each entry's name bytes, while the checks run
    Outcome check;

    JUCE_DECLARE_NON_COPYABLE (ZipReader)
};
