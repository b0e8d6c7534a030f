#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <optional>

/**
    What `list` prints. Plain data in, text out, so the tests check the shape
    that scripts parse without a catalogue or a disk.
*/
namespace ProductListing
{
    /** One product as listed. */
    struct Entry
    {
        juce::String name;
        juce::int64 id = 0;
        bool owned = true, freebie = false, nfr = false;
        juce::String latestVersion;
        std::optional<juce::String> installedVersion;

        /** VST2, VST3, AAX, CLAP: the installed version, nothing when not installed. */
        std::array<std::optional<juce::String>, 4> formats;

        bool updateAvailable = false;
        juce::String statusText;        ///< as the row shows it, for the plain listing
    };

    /** One JSON array with an object per entry: name, id, owned, freebie, nfr,
        latestVersion, installedVersion, formats (vst2, vst3, aax, clap) and
        updateAvailable; absent versions are null.
    */
    juce::String toJson (const juce::Array<Entry>&);

    /** One line per entry: the name, the status and the update when there is one. */
    juce::String toText (const juce::Array<Entry>&);
}
