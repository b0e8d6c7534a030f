#include "storage/ManagerSettings.h"

#include "storage/BooleanAttribute.h"
#include "storage/MakerFolders.h"

namespace ManagerSettings
{

juce::String installKey (Format format)  { return "Install" + PluginFormat::name (format); }
juce::String pathKey (Format format)     { return "Path" + PluginFormat::name (format); }

juce::File settingsFile (const juce::File& cacheFolder)
{
    return cacheFolder.getChildFile ("settings.qvs");
}

juce::String defaultFormatPath (Format format)
{
   #if JUCE_WINDOWS
    switch (format)
    {
        case PluginFormat::VST2: return "C:\\Program Files\\VSTPlugins\\";
        case PluginFormat::VST3: return "C:\\Program Files\\Common Files\\VST3\\";
        case PluginFormat::AAX:  return "C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins\\";
        case PluginFormat::CLAP: return "C:\\Program Files\\Common Files\\CLAP\\";
        case PluginFormat::AU:
        case PluginFormat::count: break;
    }

    return {};
   #else
    const char* folder = nullptr;

    switch (format)
    {
        case PluginFormat::VST2: folder = ".vst"; break;
        case PluginFormat::VST3: folder = ".vst3"; break;
        case PluginFormat::AAX:  folder = ".aax"; break;
        case PluginFormat::CLAP: folder = ".clap"; break;
        case PluginFormat::AU:
        case PluginFormat::count: return {};
    }

    return withTrailingSeparator (juce::File::getSpecialLocation (juce::File::userHomeDirectory)
                                      .getChildFile (folder).getFullPathName());
   #endif
}

Values defaults (const juce::String& samplesFolder)
{
    Values values;

    for (auto format : PluginFormat::installable)
        values.path[format] = defaultFormatPath (format);

    values.samplesPath = samplesFolder;
    return values;
}

std::optional<Values> read (const juce::File& file, const Values& defaultValues)
{
    if (file.getFullPathName().isEmpty() || ! file.existsAsFile())
        return std::nullopt;

    auto xml = juce::parseXML (file);

    if (xml == nullptr || xml->getTagName() != rootTag)
        return std::nullopt;

    Values values = defaultValues;

    for (int i = 0; i < PluginFormat::count; ++i)
        values.install[(size_t) i] = BooleanAttribute::read (*xml, installKey ((Format) i), true);

    auto readPath = [&xml] (const juce::String& key, const juce::String& fallback)
    {
        auto text = xml->getStringAttribute (key, fallback);
        return text.isEmpty() ? fallback : text;
    };

    // The AU path is carried, never read.
    for (auto format : PluginFormat::installable)
        values.path[format] = readPath (pathKey (format), defaultValues.path[format]);

    values.samplesPath = readPath ("PathSamples", defaultValues.samplesPath);
    return values;
}

Values load (const juce::File& file, const Values& defaultValues)
{
    if (auto values = read (file, defaultValues))
        return *values;

    // A failed write is not reported: the next change tries again.
    write (file, defaultValues);
    return defaultValues;
}

std::unique_ptr<juce::XmlElement> toXml (const Values& values)
{
    auto xml = std::make_unique<juce::XmlElement> (rootTag);

    for (int i = 0; i < PluginFormat::count; ++i)
        xml->setAttribute (juce::Identifier (installKey ((Format) i)), values.install[(size_t) i] ? 1 : 0);

    for (int i = 0; i < PluginFormat::count; ++i)
        xml->setAttribute (juce::Identifier (pathKey ((Format) i)), values.path[(size_t) i]);

    xml->setAttribute ("PathSamples", values.samplesPath);
    return xml;
}

bool write (const juce::File& file, const Values& values)
{
    if (file.isDirectory())
        return false;

    if (! file.existsAsFile() && ! file.create())
        return false;

    return toXml (values)->writeTo (file, MakerFolders::settingsTextFormat());
}

juce::String withTrailingSeparator (const juce::String& path)
{
    auto separator = juce::File::getSeparatorString();
    return path.endsWith (separator) ? path : path + separator;
}

} // namespace ManagerSettings
