#pragma once

#include <juce_core/juce_core.h>

/**
    What a screen reader says for a product row: the texts the row paints,
    put into words.
*/
namespace RowDescription
{
    struct Facts
    {
        juce::String name;
        juce::String statusText;        // as the row shows it: "v1.2.0", "not installed (NFR)"...
        bool updateAvailable = false;
        juce::String latestVersion;
        bool isDemo = false, isFreebie = false, isNFR = false;
    };

    /** For example "Velvet Keys, installed version 1.2.0, update available to
        version 1.3.0, demo".
    */
    juce::String spoken (const Facts&);
}
