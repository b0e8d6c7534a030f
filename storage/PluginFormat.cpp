#include "storage/PluginFormat.h"

namespace PluginFormat
{

juce::String name (Format format)
{
    switch (format)
    {
        case AU:    return "AU";
        case VST2:  return "VST2";
        case VST3:  return "VST3";
        case AAX:   return "AAX";
        case CLAP:  return "CLAP";
        case count: break;
    }

    return {};
}

juce::String fileExtension (Format format)
{
    switch (format)
    {
        case VST2:  return ".dll";
        case VST3:  return ".vst3";
        case AAX:   return ".aaxplugin";
        case CLAP:  return ".clap";
        case AU:
        case count: break;
    }

    return {};
}

} // namespace PluginFormat
