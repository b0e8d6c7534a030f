#pragma once

#include <juce_core/juce_core.h>

/**
    The names a product's files take on this machine, derived from its
    catalogue name. Plain functions: the row and the command line use the same
    ones, so both find the same files.
*/
namespace ProductNames
{
    /** Spaces removed; "KV-77" stays "KV-77" here. The presets folder and
        the settings file take this name.
    */
    juce::String folderNameFor (const juce::String& name);

    /** The base name of every plugin file, the work folder and the samples:
        the folder name, except "KV-77", which installs as "KV77".
    */
    juce::String installNameFor (const juce::String& folderName);

    /** True when both names can be file names here; a product without usable
        names is listed but never installed or removed.
    */
    bool isUsable (const juce::String& folderName, const juce::String& installName);

    /** A few products are free whatever the catalogue says. */
    bool isForcedFreebie (const juce::String& name);

    /** The text shown instead of installing or removing a product whose name is not usable. */
    juce::String unusableNameMessage (const juce::String& name);
}
