#pragma once

#include <juce_core/juce_core.h>

/**
    Which catalogue products the NAME arguments of a command mean: a name
    matches a product name ignoring letter case and surrounding spaces.
*/
namespace ProductMatch
{
    struct Result
    {
        juce::Array<int> indices;       ///< into the catalogue names, in argument order, each once
        juce::StringArray unmatched;    ///< the arguments that matched nothing, as given
    };

    /** The first product of that name wins, so owned products listed before
        demos are chosen over a demo of the same name.
    */
    Result match (const juce::StringArray& catalogueNames, const juce::StringArray& wanted);
}
