#include "storage/BooleanAttribute.h"

namespace BooleanAttribute
{

bool isTrue (const juce::String& text)
{
    const auto first = text.trimStart()[0];
    return first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
}

bool read (const juce::XmlElement& element, const juce::String& attributeName, bool whenAbsent)
{
    return element.hasAttribute (attributeName) ? isTrue (element.getStringAttribute (attributeName)) : whenAbsent;
}

} // namespace BooleanAttribute
