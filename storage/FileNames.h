#pragma once

#include <juce_core/juce_core.h>

/**
    The one rule for names that come from the network and become file or
    folder names here: product names, installer file names, thumbnail names.
*/
namespace FileNames
{
    /** True when the text can be a single file or folder name on every
        platform we ship for: no path syntax, no device name, nothing that
        Windows would silently rewrite (the rules are NameRules').
    */
    bool isUsableFileName (const juce::String&);

    /** A cache file name for a name taken from the network. Plain names
        (lower-case letters, digits, ".", "-", "_") are kept as they are; any
        other name is reduced to such characters and tagged with a digest of
        the original after a "~", which no plain name contains. So different
        names never share a file, also where letter case does not count, and
        no name can leave the folder or be a device. Empty for an empty name.
    */
    juce::String cacheFileNameFor (const juce::String& name);
}
