#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/**
    The maker's shared folder, its fixed subfolders, and the global settings file.

    Every product of the maker keeps its files under one folder; this small value
    class knows where it is and owns the global settings, a one-element XML
    key/value store that remembers the login.

    Instances share nothing: each loads the global settings file itself the first
    time it needs it. An instance is used by one thread at a time.
*/
class MakerFolders final
{
public:
    MakerFolders() = default;

    //==============================================================================
    /** Folder and file name of one product; empty for the instances that are not
        bound to a product. Products set it to their install name.
    */
    juce::String productFolderName;

    /** The maker's folder name. */
    const juce::String makerName { "Quillotone" };

    //==============================================================================
    /** The maker folder, with a link resolved to its target; created when missing.
        Links below it are never followed out of it.
    */
    juce::File makerFolder() const;

    /** The "Settings" folder of the maker folder; created when missing. */
    juce::File settingsFolder() const;

    /** The "Temp" folder of the maker folder; created when missing. */
    juce::File tempFolder() const;

    /** The manager's cache ("Temp/PluginManagerCache") joined with a suffix that
        is empty or starts with "/"; created when missing. Other accounts can
        write here: it keeps only the thumbnails, the extraction tool (checked
        again before each run) and the manager settings.
    */
    juce::File cacheFolder (const juce::String& suffix = {}) const;

    /** The manager's private folder (platform::preparePrivateFolder(), checked
        on every call) joined with a suffix that is empty or starts with "/";
        created when missing, never through a link. Holds the downloads
        ("/Installers"), the install's work folders and the placement journal.
        Empty when the folder may not be used: privateFolderProblem() says why.
    */
    juce::File privateFolder (const juce::String& suffix = {}) const;

    /** Why privateFolder() is empty, in words for the user; empty when it is usable. */
    juce::String privateFolderProblem() const;

    /** "Samples/<productFolderName>" under the maker folder; not created here. */
    juce::File samplesFolder() const;

    /** "Presets/<productFolderName>" under the maker folder; not created here. */
    juce::File presetsFolder() const;

    /** "Settings/<productFolderName>.qvs"; the manager only ever reads it. */
    juce::File productSettingsFile() const;

    /** "Settings/Quillotone.qvs". */
    juce::File globalSettingsFile() const;

    //==============================================================================
    /** Rereads the global settings file, dropping unsaved changes.

        A missing file is created empty; an empty, unreadable or malformed file
        gives an empty "QUILLOTONE_GLOBAL_SETTINGS" element. The attributes are
        kept sorted by name, so the next save writes them in that order.
    */
    juce::XmlElement& loadGlobalSettings();

    /** The attribute of that name, or the default when absent. */
    juce::String getGlobalValue (const juce::String& key, const juce::String& defaultValue = {});

    /** Sets an attribute in memory; saveGlobalSettings() writes it. */
    void setGlobalValue (const juce::String& key, const juce::String& value);

    /** Writes the global settings through a temporary file; false on failure. */
    bool saveGlobalSettings();

    /** Parses settings text the way loadGlobalSettings() does: never null. */
    static std::unique_ptr<juce::XmlElement> parseSettingsElement (const juce::String& xmlText,
                                                                   const juce::String& defaultTag);

    /** The text format of every settings file the manager writes. */
    static juce::XmlElement::TextFormat settingsTextFormat();

    static constexpr const char* globalSettingsTag = "QUILLOTONE_GLOBAL_SETTINGS";

private:
    juce::File resolved (const juce::File& path, bool createWhenMissing) const;
    static juce::File baseFolder();
    juce::XmlElement& globalSettingsElement();

    std::unique_ptr<juce::XmlElement> globalSettings;

    JUCE_LEAK_DETECTOR (MakerFolders)
};
