#include "storage/MakerFolders.h"

#include "platform/Platform.h"

#include <algorithm>
#include <vector>

//==============================================================================
juce::File MakerFolders::resolved (const juce::File& path, bool createWhenMissing) const
{
    // Only the maker folder itself may be a link (to another drive, say); a
    // link below it, which another account may have planted, is neither
    // followed nor created through.
    const auto maker = makerFolder();

    for (auto piece = path; piece.isAChildOf (maker); piece = piece.getParentDirectory())
        if (platform::isLink (piece))
            return path;

    // A failure to create is the caller's to notice when it uses the folder.
    if (createWhenMissing && path.getFullPathName().isNotEmpty() && ! path.exists())
        path.createDirectory();

    return path;
}

juce::File MakerFolders::baseFolder()
{
    auto documents = platform::sharedDocumentsFolder();

    // Without the system folder the layout hangs off a relative root, as the
    // paths of the other locations would.
    return documents.getFullPathName().isEmpty() ? juce::File::getCurrentWorkingDirectory() : documents;
}

juce::File MakerFolders::makerFolder() const
{
    const auto path = baseFolder().getChildFile (makerName);
    auto result = platform::isLink (path) ? platform::resolveLink (path) : path;

    if (result.getFullPathName().isNotEmpty() && ! result.exists() && ! platform::isLink (result))
        result.createDirectory();

    return result;
}

juce::File MakerFolders::settingsFolder() const
{
    return resolved (makerFolder().getChildFile ("Settings"), true);
}

juce::File MakerFolders::tempFolder() const
{
    return resolved (makerFolder().getChildFile ("Temp"), true);
}

juce::File MakerFolders::cacheFolder (const juce::String& suffix) const
{
    auto cache = resolved (tempFolder().getChildFile ("PluginManagerCache"), true);

    if (suffix.isEmpty())
        return cache;

    return resolved (cache.getChildFile (suffix.trimCharactersAtStart ("/")), true);
}

juce::File MakerFolders::privateFolder (const juce::String& suffix) const
{
    const auto prepared = platform::preparePrivateFolder();

    if (prepared.folder == juce::File())
        return {};

    auto folder = platform::FolderHandle::open (prepared.folder);

    for (const auto& piece : juce::StringArray::fromTokens (suffix, "/", ""))
    {
        if (folder == nullptr || piece.isEmpty())
            continue;

        if (folder->kindOf (piece) == platform::FolderHandle::Kind::missing)
            folder->createFolder (piece);

        folder = folder->openChild (piece);
    }

    return folder != nullptr ? folder->path() : juce::File();
}

juce::String MakerFolders::privateFolderProblem() const
{
    return platform::preparePrivateFolder().problem;
}

juce::File MakerFolders::samplesFolder() const
{
    auto samples = makerFolder().getChildFile ("Samples");
    return resolved (productFolderName.isEmpty() ? samples : samples.getChildFile (productFolderName), false);
}

juce::File MakerFolders::presetsFolder() const
{
    auto presets = makerFolder().getChildFile ("Presets");
    return resolved (productFolderName.isEmpty() ? presets : presets.getChildFile (productFolderName), false);
}

juce::File MakerFolders::productSettingsFile() const
{
    return settingsFolder().getChildFile (productFolderName + ".qvs");
}

juce::File MakerFolders::globalSettingsFile() const
{
    return settingsFolder().getChildFile ("Quillotone.qvs");
}

//==============================================================================
juce::XmlElement::TextFormat MakerFolders::settingsTextFormat()
{
    // The framework's defaults: declaration, 60-column wrapping, "\r\n".
    return {};
}

std::unique_ptr<juce::XmlElement> MakerFolders::parseSettingsElement (const juce::String& xmlText,
                                                                      const juce::String& defaultTag)
{
    std::unique_ptr<juce::XmlElement> parsed;

    if (xmlText.trim().isNotEmpty())
    {
        // The framework's parser recovers from some damage (an unterminated
        // tag, say); any reported error counts as a malformed file here.
        juce::XmlDocument document (xmlText);
        parsed = document.getDocumentElement();

        // A truncated write leaves no closing bracket, which the parser accepts.
        if (document.getLastParseError().isNotEmpty() || ! xmlText.trimEnd().endsWithChar ('>'))
            parsed.reset();
    }

    if (parsed == nullptr)
        return std::make_unique<juce::XmlElement> (defaultTag);

    // Attribute order on disk follows name order, whatever wrote the file;
    // children and text are not ours and are dropped.
    std::vector<std::pair<juce::String, juce::String>> attributes;

    for (int i = 0; i < parsed->getNumAttributes(); ++i)
        attributes.emplace_back (parsed->getAttributeName (i), parsed->getAttributeValue (i));

    std::stable_sort (attributes.begin(), attributes.end(),
                      [] (const auto& a, const auto& b) { return a.first.compare (b.first) < 0; });

    auto sorted = std::make_unique<juce::XmlElement> (parsed->getTagName());

    for (auto& [name, value] : attributes)
        sorted->setAttribute (juce::Identifier (name), value);

    return sorted;
}

juce::XmlElement& MakerFolders::loadGlobalSettings()
{
    auto file = globalSettingsFile();

    if (! file.exists())
        file.create();

    juce::String text;

    if (file.existsAsFile())
        text = file.loadFileAsString();

    globalSettings = parseSettingsElement (text, globalSettingsTag);
    return *globalSettings;
}

juce::XmlElement& MakerFolders::globalSettingsElement()
{
    if (globalSettings == nullptr)
        loadGlobalSettings();

    return *globalSettings;
}

juce::String MakerFolders::getGlobalValue (const juce::String& key, const juce::String& defaultValue)
{
    return globalSettingsElement().getStringAttribute (key, defaultValue);
}

void MakerFolders::setGlobalValue (const juce::String& key, const juce::String& value)
{
    globalSettingsElement().setAttribute (juce::Identifier (key), value);
}

bool MakerFolders::saveGlobalSettings()
{
    auto& element = globalSettingsElement();
    auto file = globalSettingsFile();

    if (file.isDirectory())
        return false;

    return element.writeTo (file, settingsTextFormat());
}
