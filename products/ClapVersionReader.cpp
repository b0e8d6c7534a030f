#include "VersionProbe.h"

// Placeholder until the CLAP reader lands.
juce::String VersionProbe::readClapVersion (const juce::File&)
{
    return {};
}
