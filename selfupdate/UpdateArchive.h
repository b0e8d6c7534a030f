#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/**
    The entry rules of an update archive and its extraction into the staging
    folder. Plain code; the update job calls it on its thread.
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

    /** True when every entry passes, in order: 1 to maxEntries entries; names
        (backslashes read as "/") neither absolute nor with ":" nor a ".."
        piece; links only when allowed, with a relative target of at most
        maxLinkBytes that resolves inside the top-level item; every name the
        top-level item or below it; maxTotalBytes of content at most.
    */
    bool validateArchive (juce::ZipFile& archive, const juce::String& expectedTopLevel, bool linksAllowed);

    /** Writes the entries in archive order below the folder, replacing plain
        files in the way; never writes through a link, and makes links only
        when allowed. Each entry must give exactly its announced size. Stops
        at the first entry that fails and returns false, also when
        shouldStop turns true.
    */
    bool extractArchive (juce::ZipFile& archive, const juce::File& folder, bool linksAllowed,
                         const std::function<bool()>& shouldStop = nullptr);
}
