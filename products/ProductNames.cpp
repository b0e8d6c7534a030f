#include "products/ProductNames.h"

#include "storage/FileNames.h"

namespace ProductNames
{

juce::String folderNameFor (const juce::String& name)
{
    return name.removeCharacters (" ");
}

juce::String installNameFor (const juce::String& folderName)
{
    return folderName == "KV-77" ? juce::String ("KV77") : folderName;
}

bool isUsable (const juce::String& folderName, const juce::String& installName)
{
    return FileNames::isUsableFileName (folderName) && FileNames::isUsableFileName (installName);
}

bool isForcedFreebie (const juce::String& name)
{
    return name == "Crumblepad" || name == "Hushgate EQ" || name == "Lantern Delay";
}

juce::String unusableNameMessage (const juce::String& name)
{
    return "The name of " + name.trim().quoted() + " cannot be used as a file name on this computer, "
           "so the manager cannot install or remove it. Please contact support.";
}

} // namespace ProductNames
