#pragma once

#include "storage/ZipReader.h"

#include <functional>

/**
    Unpacking a downloaded installer archive (a ZIP file holding the product's
    installer program) into the install's work folder.

    The whole archive is checked by ZipReader before anything is written: no
    links, no name that leaves the folder, cannot be a file name or comes
    twice, no entries sharing data, bounded counts and sizes, and room for it
    all on the volume. Runs on the install worker.
*/
namespace InstallerArchive
{
    struct Outcome
    {
        bool succeeded = false;
        bool stopped = false;
        juce::String error;     ///< the text for the first entry that failed
    };

    constexpr int maxEntries = 10000;
    constexpr juce::int64 maxTotalBytes = (juce::int64) 16 << 30;

    /** Unpacks every entry, in archive order, into the folder. A file that
        is no archive at all has no entries and unpacks nothing, successfully.
        On a failure or a stop, nothing it wrote is left. freeSpace replaces
        the volume's own figure in tests.
    */
    Outcome unpack (const juce::File& archive, const juce::File& folder, const std::function<bool()>& shouldStop = {},
                    const ZipReader::FreeSpaceQuery& freeSpace = nullptr);
}
