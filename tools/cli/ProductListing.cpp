#include "ProductListing.h"

namespace ProductListing
{

namespace
{
    juce::var versionOrNull (const std::optional<juce::String>& version)
    {
        return version.has_value() ? juce::var (*version) : juce::var();
    }
}

juce::String toJson (const juce::Array<Entry>& entries)
{
    static const char* const formatKeys[] = { "vst2", "vst3", "aax", "clap" };
    juce::Array<juce::var> list;

    for (const auto& entry : entries)
    {
        auto formats = std::make_unique<juce::DynamicObject>();

        for (size_t i = 0; i < entry.formats.size(); ++i)
            formats->setProperty (formatKeys[i], versionOrNull (entry.formats[i]));

        auto object = std::make_unique<juce::DynamicObject>();
        object->setProperty ("name", entry.name);
        object->setProperty ("id", entry.id);
        object->setProperty ("owned", entry.owned);
        object->setProperty ("freebie", entry.freebie);
        object->setProperty ("nfr", entry.nfr);
        object->setProperty ("latestVersion", entry.latestVersion);
        object->setProperty ("installedVersion", versionOrNull (entry.installedVersion));
        object->setProperty ("formats", formats.release());
        object->setProperty ("updateAvailable", entry.updateAvailable);
        list.add (object.release());
    }

    return juce::JSON::toString (juce::var (list), false) + "\n";
}

juce::String toText (const juce::Array<Entry>& entries)
{
    juce::String text;

    for (const auto& entry : entries)
    {
        text << entry.name << "\t" << entry.statusText;

        if (entry.updateAvailable)
            text << "\tupdate available: " << entry.latestVersion;

        if (! entry.owned)
            text << "\tdemo";

        text << "\n";
    }

    return text;
}

} // namespace ProductListing
