// The text rules of VersionProbe: cleaning a version out of free text and
// ordering two versions.
#include "VersionProbe.h"

#include <cstdlib>

namespace VersionProbe
{

namespace
{
    constexpr const char* tokenBreaks = " \\/,:;=|()[]{}<>\"'`+-_";
}

juce::String stripLeadingVs (juce::String s)
{
    while (s.startsWithChar ('v') || s.startsWithChar ('V'))
        s = s.substring (1);

    return s;
}

juce::String normaliseVersion (const juce::String& text)
{
    auto cleaned = text.replaceCharacters ("\r\n\t", "   ").trim();

    if (cleaned.isEmpty())
        return {};

    // What a failed query of the settings tools of other platforms prints
    // instead of a version.
    const auto lower = cleaned.toLowerCase();

    if (lower.contains ("defaults[") || lower.contains ("the domain/default pair")
         || lower.contains ("does not exist"))
        return {};

    juce::StringArray tokens;
    tokens.addTokens (cleaned, tokenBreaks, {});

    for (const auto& token : tokens)
        if (auto v = validateVersion (token); v.isNotEmpty())
            return v;

    return validateVersion (cleaned);
}

juce::String validateVersion (const juce::String& token)
{
    const auto stripped = stripLeadingVs (token.trim());

    if (stripped.isEmpty())
        return {};

    juce::StringArray parts;
    parts.addTokens (stripped, ".", {});

    if (parts.size() < 2 || parts.size() > 6)
        return {};

    for (auto& part : parts)
    {
        part = part.trim();

        if (part.isEmpty() || ! part.containsOnly ("0123456789"))
            return {};
    }

    while (parts.size() > 3 && parts[parts.size() - 1] == "0")
        parts.remove (parts.size() - 1);

    return parts.joinIntoString (".");
}

int compareVersions (const juce::String& a, const juce::String& b)
{
    juce::StringArray partsA, partsB;
    partsA.addTokens (stripLeadingVs (a), ".", {});
    partsB.addTokens (stripLeadingVs (b), ".", {});

    // strtoll reads like atol (spaces, sign, digits up to the first other
    // character) but saturates instead of overflowing on absurd numbers.
    auto number = [] (const juce::StringArray& parts, int i) -> long long
    {
        return i < parts.size() ? std::strtoll (parts[i].toRawUTF8(), nullptr, 10) : 0;
    };

    for (int i = 0; i < juce::jmax (partsA.size(), partsB.size()); ++i)
    {
        const auto x = number (partsA, i), y = number (partsB, i);

        if (x < y)  return -1;
        if (x > y)  return 1;
    }

    return 0;
}

} // namespace VersionProbe
