#pragma once

#include <juce_core/juce_core.h>

/**
    What the manager takes from a product's download link. The link comes from
    the network, so the caller still applies the file-name rule to the result.
*/
namespace InstallerLink
{
    /** The installer's file name: the last segment of the link's path, without
        its query or fragment ("https://host/dl/Verb.zip?token=1" gives
        "Verb.zip"); empty when the path names no file.
    */
    juce::String fileName (const juce::String& link);
}
