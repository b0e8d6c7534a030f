#include "products/RowDescription.h"

namespace RowDescription
{

juce::String spoken (const Facts& facts)
{
    juce::StringArray parts { facts.name };

    // The kind is said once, at the end, not as part of the status.
    auto status = facts.statusText.upToLastOccurrenceOf (" (NFR)", false, false).trim();

    if (status.startsWithChar ('v') && juce::CharacterFunctions::isDigit (status[1]))
        status = "installed version " + status.substring (1);
    else if (status == "mixed versions")
        status = "installed, mixed versions";

    parts.add (status);

    if (facts.updateAvailable)
        parts.add ("update available to version " + facts.latestVersion);

    if (facts.isDemo)     parts.add ("demo");
    if (facts.isFreebie)  parts.add ("freebie");
    if (facts.isNFR)      parts.add ("NFR");

    parts.removeEmptyStrings();
    return parts.joinIntoString (", ");
}

}
