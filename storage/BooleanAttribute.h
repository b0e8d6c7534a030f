#pragma once

#include <juce_core/juce_core.h>

/**
    How the manager reads a boolean from text that it or the maker's servers
    wrote: the stored settings write "1" and "0", the catalogue says "1",
    "true" or "yes". One rule for all of them.
*/
namespace BooleanAttribute
{
    /** True when the first non-blank character is 1, t, T, y or Y. */
    bool isTrue (const juce::String& text);

    /** The attribute read by isTrue(); whenAbsent when the element lacks it. */
    bool read (const juce::XmlElement& element, const juce::String& attributeName, bool whenAbsent);
}
