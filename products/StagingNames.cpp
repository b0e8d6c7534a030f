#include "products/StagingNames.h"

namespace StagingNames
{

juce::String newToken()
{
    return juce::Uuid().toString();
}

juce::String pendingName (const juce::String& targetName, const juce::String& token)  { return targetName + ".pending." + token; }
juce::String backupName (const juce::String& targetName, const juce::String& token)   { return targetName + ".backup." + token; }

juce::File pending (const juce::File& target, const juce::String& token)
{
    return target.getSiblingFile (pendingName (target.getFileName(), token));
}

juce::File backup (const juce::File& target, const juce::String& token)
{
    return target.getSiblingFile (backupName (target.getFileName(), token));
}

std::optional<Parsed> parse (const juce::String& fileName)
{
    const auto token = fileName.fromLastOccurrenceOf (".", false, false);
    const auto rest = fileName.upToLastOccurrenceOf (".", false, false);
    const auto kind = rest.fromLastOccurrenceOf (".", false, false);
    const auto targetName = rest.upToLastOccurrenceOf (".", false, false);

    if (token.length() != 32 || ! token.containsOnly ("0123456789abcdef") || targetName.isEmpty()
         || ! rest.containsChar ('.') || (kind != "pending" && kind != "backup"))
        return std::nullopt;

    return Parsed { targetName, token, kind == "backup" };
}

} // namespace StagingNames
