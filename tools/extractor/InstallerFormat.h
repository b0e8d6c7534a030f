#pragma once

/*
    quillex: the extraction tool for the maker's installers.

    The manager never runs a product's installer program. It has this tool unpack
    the installer's files into a folder tree and picks what it needs from there:

        quillex -x <installer> -d<folder> -q -y

    Every file lands below <folder>, inside a folder named after its destination
    constant ("{code_GetVST264}", "{cf64}", "{commondocs}", "{code_getSampleFolder}",
    any other constant as it stands) followed by its relative path. Exit code 0
    means done; anything else comes with one line on stderr that names the cause.

    ==========================================================================
    The maker's installer format, version 1

    An installer is a real Windows program (a small stub built with mingw-w64,
    tools/installer/stub/) with a payload appended after the last section of its
    PE image. All integers are little-endian.

        stub        the PE image, exactly up to the end of its last section
        header      48 bytes at the first byte after the image:
                      +0   8  magic "QLXPAYLD"
                      +8   u32 format version, 1
                      +12  u32 flags, 0
                      +16  u64 payload size: from the header's first byte to
                               the end of the file, checksum included
                      +24  u64 directory offset, from the header's first byte
                      +32  u64 directory size in bytes
                      +40  u32 entry count
                      +44  u32 reserved, 0
        data        each entry's stored bytes, in directory order, no gaps
                    required but never overlapping
        directory   one record per entry:
                      +0   u8  kind: 0 file, 1 folder, 2 link (always refused)
                      +1   u8  method: 0 stored, 8 raw deflate
                      +2   u16 name length in bytes
                      +4   u32 CRC-32 of the entry's content
                      +8   u64 data offset, from the header's first byte
                      +16  u64 stored size
                      +24  u64 content size
                      +32  the name: UTF-8, pieces joined by "/", the first
                           piece a destination constant such as "{cf64}"
        checksum    u32, the file's last four bytes: CRC-32 of every byte
                    before it, stub included

    The checksum finds damage (a short download, a changed byte); it does not
    prove who made the file, which is the download's business.

    tools/installer/make_installer.py writes this format from a folder tree.

    ==========================================================================
    What the tool refuses, before it writes anything

    - not an installer: empty, a folder, no PE image, no payload after it
    - damaged: truncated or extended, checksum mismatch, a malformed directory
    - unsafe names: absolute, drive letters, "..", "." or empty pieces, control
      characters or characters Windows does not allow, Windows device names,
      pieces ending in a dot or a space, invalid UTF-8, not under a destination
      constant, longer than the limits below; "\" counts as "/"
    - links, names that appear twice, names that differ only by letter case
      (the installer is for Windows, where they are the same file), and entries
      that would write through an earlier file ("a/b" as a file and "a/b/c")
    - more than the limits below
    - in the output folder: links on the way, or files that exist already
      (unless -y), and too little free space

    Only then does it write, and only below the output folder. A write that
    still fails (a full disk, a stored entry that does not inflate to its
    recorded content) removes every file and folder the run has written.
*/

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillex
{
    namespace native { class InputFile; }

    //==============================================================================
    /** The documented limits: an installer beyond any of them is refused. */
    namespace limits
    {
        constexpr std::uint32_t maxEntries         = 100000;
        constexpr std::uint64_t maxContentBytes    = 16ull << 30;  // all entries together
        constexpr std::uint64_t maxDirectoryBytes  = 64ull << 20;
        constexpr std::size_t   maxNameBytes       = 1024;
        constexpr std::size_t   maxPieceBytes      = 255;
        constexpr std::size_t   maxDepth           = 64;
    }

    namespace format
    {
        constexpr char          magic[8]      = { 'Q', 'L', 'X', 'P', 'A', 'Y', 'L', 'D' };
        constexpr std::uint32_t version       = 1;
        constexpr std::uint64_t headerSize    = 48;
        constexpr std::uint64_t recordSize    = 32;
        constexpr std::uint64_t checksumSize  = 4;
    }

    //==============================================================================
    /** Exit codes. */
    enum ExitCode : int
    {
        success      = 0,
        usageError   = 1,
        notInstaller = 2,
        damaged      = 3,
        unsafe       = 4,
        writeFailed  = 5,
    };

    /** A failure: the one line the tool prints, and its exit code. */
    struct Complaint
    {
        ExitCode code;
        std::string line;
    };

    //==============================================================================
    enum class EntryKind : std::uint8_t { file = 0, folder = 1, link = 2 };

    enum class Method : std::uint8_t { stored = 0, deflate = 8 };

    /** One directory record. The name is normalised ("\" read as "/") and has
        passed the name rules once the installer is open.
    */
    struct Entry
    {
        EntryKind kind = EntryKind::file;
        Method method = Method::stored;
        std::uint32_t crc = 0;
        std::uint64_t dataOffset = 0;   // from the start of the file
        std::uint64_t storedSize = 0;
        std::uint64_t size = 0;
        std::string name;
    };

    /** A checked installer: its directory, in order, and the file kept open
        so that what was checked is what gets unpacked.
    */
    struct Installer
    {
        std::shared_ptr<native::InputFile> file;
        std::string path;
        std::string displayName;        // the file name, for complaints
        std::uint64_t fileSize = 0;
        std::vector<Entry> entries;
        std::uint64_t contentBytes = 0;
    };

    /** Opens and checks an installer: PE image, payload header, the whole
        file's checksum, the directory, the name rules and the limits. Throws
        a Complaint on the first problem; reads, never writes.
    */
    Installer openInstaller (const std::string& path);

    /** A printable, single-line, bounded form of a name from an installer. */
    std::string quoted (const std::string& name);
}
