#include "VersionProbe.h"

// Placeholder until the portable PE reader lands.
juce::String VersionProbe::readFileVersion (const juce::File&)
{
    return {};
}
