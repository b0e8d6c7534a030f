#pragma once

#include "storage/ZipReader.h"

#include <functional>

/**
    The entry rules of an update archive and its extraction into the staging
    folder. The archive itself is read and checked by ZipReader, with the
    same rules as an installer archive; this adds what an update must hold.
    Plain code; the update job calls it on its thread.
*/
namespace UpdateArchive
{
    constexpr int maxEntries = 20000;
    constexpr juce::int64 maxTotalBytes = 0x80000000;      ///< 2 GiB of content, inclusive
    constexpr juce::int64 maxLinkBytes = 4096;

    /** The top-level item an update archive holds on a platform:
        "Quillotone Plugin Manager.exe" (windows), ".app" (macos),
        ".AppImage" (linux, where the payload is that file itself).
    */
    juce::String expectedTopLevelName (const juce::String& platform);

    /** The reader's rules for an update archive: links only where allowed
        (the macOS bundle), and then only inside the bundle.
    */
    ZipReader::Rules readerRules (bool linksAllowed);

    /** True when the reader accepted the archive, it holds 1 to maxEntries
        entries, and every name is the top-level item or below it.
    */
    bool validateArchive (const ZipReader& archive, const juce::String& expectedTopLevel);

    /** Writes the entries in archive order below the folder (see
        ZipReader::unpackTo: never through a link, each entry exactly its
        declared size and CRC, nothing left on failure). False on any
        failure, also when shouldStop turns true.
    */
    bool extractArchive (const ZipReader& archive, const juce::File& folder,
                         const std::function<bool()>& shouldStop = nullptr,
                         const ZipReader::FreeSpaceQuery& freeSpace = nullptr);
}
