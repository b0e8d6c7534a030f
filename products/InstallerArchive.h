#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/**
    Unpacking a downloaded installer archive (a ZIP file holding the product's
    installer program) into the install's work folder.

    The framework's unzip creates link entries as links and would then write
    later entries through them, so every entry is checked before anything is
    written: no links, no name that leaves the folder or cannot be a file
    name, no entry that inflates past its declared size, and bounded counts.
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

    /** Unpacks every entry, in archive order, into the folder, overwriting
        files. An archive that cannot be read has no entries and unpacks
        nothing, successfully.
    */
    Outcome unpack (const juce::File& archive, const juce::File& folder, const std::function<bool()>& shouldStop = {});
}
