#include "ProductMatch.h"

namespace ProductMatch
{

Result match (const juce::StringArray& catalogueNames, const juce::StringArray& wanted)
{
    Result result;

    for (const auto& name : wanted)
    {
        const auto key = name.trim();
        auto found = -1;

        for (int i = 0; i < catalogueNames.size() && found < 0; ++i)
            if (key.isNotEmpty() && catalogueNames[i].trim().equalsIgnoreCase (key))
                found = i;

        if (found < 0)
            result.unmatched.add (name);
        else
            result.indices.addIfNotAlreadyThere (found);
    }

    return result;
}

} // namespace ProductMatch
