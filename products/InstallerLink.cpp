#include "InstallerLink.h"

juce::String InstallerLink::fileName (const juce::String& link)
{
    auto path = link.upToFirstOccurrenceOf ("#", false, false).upToFirstOccurrenceOf ("?", false, false);

    // Past the scheme and the host: "https://host" alone names no file.
    if (const auto scheme = path.indexOf ("://"); scheme >= 0)
    {
        const auto pathStart = path.indexOfChar (scheme + 3, '/');

        if (pathStart < 0)
            return {};

        path = path.substring (pathStart);
    }

    return path.fromLastOccurrenceOf ("/", false, false);
}
