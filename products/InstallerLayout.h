#pragma once

#include <juce_core/juce_core.h>

#include "storage/PluginFormat.h"

/**
    Where a product's files are in the tree that the extraction tool unpacked:
    one folder per destination constant of the installer ("{code_GetVST264}",
    "{cf64}", "{commondocs}", "{code_getSampleFolder}"), then the destination's
    relative path.

    Every search here follows no links and looks at a bounded number of
    folders, since the tree comes from a download.
*/
namespace InstallerLayout
{
    /** The unpacked file or bundle of a format: the first candidate when it
        qualifies, otherwise the second (which may not exist either).
    */
    juce::File chooseSource (PluginFormat::Format, const juce::File& expandFolder, const juce::String& installName);

    /** The product's own folder below a content root: the folder named like
        the product (KV77 and KV-77 stand for each other) with the shortest
        path below the root, or the root's only subfolder, or nothing.
    */
    juce::File findProductFolder (const juce::File& root, const juce::String& installName);

    /** The product's sample content: the installer's sample-folder constant,
        the product's folder in the maker's shared samples, or the product's
        folder in any folder called "Samples"; nothing when there is none.
    */
    juce::File findSampleSource (const juce::File& expandFolder, const juce::String& installName);

    /** The presets: the product's folder in the maker's shared presets. */
    juce::File findPresetSource (const juce::File& expandFolder, const juce::String& installName);

    /** How many folders one search looks at, at the most. */
    constexpr int maxFoldersSearched = 20000;
}
