#pragma once

#include <juce_core/juce_core.h>

#include <array>

/**
    The plugin formats the manager knows, one enumeration for the settings and
    the products. AU has a slot for other platforms and is never installed on
    Windows; the values index the settings' and products' per-format arrays.
*/
namespace PluginFormat
{
    enum Format { AU = 0, VST2, VST3, AAX, CLAP, count };

    /** The formats a product installs here, in the order of every status and message. */
    constexpr std::array<Format, 4> installable { VST2, VST3, AAX, CLAP };

    /** "AU", "VST2", "VST3", "AAX", "CLAP": the captions and the settings keys. */
    juce::String name (Format);

    /** The plugin file's extension: ".dll", ".vst3", ".aaxplugin", ".clap"; empty for AU. */
    juce::String fileExtension (Format);
}
