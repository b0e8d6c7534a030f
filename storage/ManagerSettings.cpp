#include "storage/ManagerSettings.h"

#include "storage/MakerFolders.h"

namespace ManagerSettings
{

juce::String formatName (Format format)
{
    switch (format)
    {
        case AU:   return "AU";
        case VST2: return "VST2";
        case VST3: return "VST3";
        case AAX:  return "AAX";
        case CLAP: return "CLAP";
        case numFormats: break;
    }

    return {};
}

juce::String installKey (Format format)  { return "Install" + formatName (format); }
juce::String pathKey (Format format)     { return "Path" + formatName (format); }

juce::File settingsFile (const juce::File& cacheFolder)
{
    return cacheFolder.getChildFile ("settings.qvs");
}

juce::String defaultFormatPath (Format format)
{
   #if JUCE_WINDOWS
    switch (format)
    {
        case VST2: return "C:\\Program Files\\VSTPlugins\\";
        case VST3: return "C:\\Program Files\\Common Files\\VST3\\";
        case AAX:  return "C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins\\";
        case CLAP: return "C:\\Program Files\\Common Files\\CLAP\\";
        case AU:
        case numFormats: break;
    }

    return {};
   #else
    const char* folder = nullptr;

    switch (format)
    {
        case VST2: folder = ".vst"; break;
        case VST3: folder = ".vst3"; break;
        case AAX:  folder = ".aax"; break;
        case CLAP: folder = ".clap"; break;
        case AU:
        case numFormats: return {};
    }

    return withTrailingSeparator (juce::File::getSpecialLocation (juce::File::userHomeDirectory)
                                      .getChildFile (folder).getFullPathName());
   #endif
}

Values defaults (const juce::String& samplesFolder)
{
    Values values;

    for (int i = VST2; i < numFormats; ++i)
        values.path[(size_t) i] = defaultFormatPath ((Format) i);

    values.samplesPath = samplesFolder;
    return values;
}

bool readBoolean (const juce::String& text)
{
    auto first = text.trimStart()[0];
    return first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
}

std::optional<Values> read (const juce::File& file, const Values& defaultValues)
{
    if (file.getFullPathName().isEmpty() || ! file.existsAsFile())
        return std::nullopt;

    auto xml = juce::parseXML (file);

    if (xml == nullptr || xml->getTagName() != rootTag)
        return std::nullopt;

    Values values = defaultValues;

    for (int i = 0; i < numFormats; ++i)
    {
        auto key = installKey ((Format) i);
        values.install[(size_t) i] = ! xml->hasAttribute (key) || readBoolean (xml->getStringAttribute (key));
    }

    auto readPath = [&xml] (const juce::String& key, const juce::String& fallback)
    {
        auto text = xml->getStringAttribute (key, fallback);
        return text.isEmpty() ? fallback : text;
    };

    // The AU path is carried, never read.
    for (int i = VST2; i < numFormats; ++i)
        values.path[(size_t) i] = readPath (pathKey ((Format) i), defaultValues.path[(size_t) i]);

    values.samplesPath = readPath ("PathSamples", defaultValues.samplesPath);
    return values;
}

std::unique_ptr<juce::XmlElement> toXml (const Values& values)
{
    auto xml = std::make_unique<juce::XmlElement> (rootTag);

    for (int i = 0; i < numFormats; ++i)
        xml->setAttribute (juce::Identifier (installKey ((Format) i)), values.install[(size_t) i] ? 1 : 0);

    for (int i = 0; i < numFormats; ++i)
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
