#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "storage/MakerFolders.h"
#include "storage/ManagerSettings.h"
#include "ui/Utilities.h"

#include <array>
#include <functional>
#include <vector>

/**
    The Settings page: install-format toggles, cache buttons and path rows.

    Its controls are the manager settings at run time; every toggle click and
    every completed text change writes "settings.qvs" at once, so the file
    always matches what is shown. Products read the values through the
    accessors below, on the message thread.

    The page covers the whole main component and places its widgets in the
    main component's coordinates; clicks outside its widgets pass through.
*/
class SettingsPage final : public juce::Component
{
public:
    /** The cache and samples locations come from the main component's maker folders. */
    explicit SettingsPage (MakerFolders& folders);
    ~SettingsPage() override;

    //==============================================================================
    /** Fills the controls from the file, or applies and saves the defaults when
        the file is missing, unreadable or foreign.
    */
    void loadManagerSettings();

    /** Writes the controls to the file. */
    void saveManagerSettings();

    /** Sets the defaults into the controls and saves. */
    void applyDefaultManagerSettings();

    //==============================================================================
    /** Whether a format's toggle is on. */
    bool isFormatEnabled (PluginFormat::Format) const;

    /** A format's folder with one trailing separator. */
    juce::String getFormatPath (PluginFormat::Format) const;

    /** The samples folder with one trailing separator. */
    juce::String getSamplesPath() const;

    /** Called after a path field's text changed (typing, pasting or the chooser). */
    std::function<void()> onPathsChanged;

    /** The values shown now. */
    ManagerSettings::Values currentValues() const;

    juce::File settingsFile() const;

    //==============================================================================
    juce::ToggleButton& getToggle (PluginFormat::Format f)   { return toggles[(size_t) f]; }
    juce::TextEditor& getPathField (PluginFormat::Format f)  { return pathFields[(size_t) f]; }
    juce::TextEditor& getSamplesField()                         { return samplesField; }
    IconTextButton& getCacheButton (int index)                  { return cacheButtons[(size_t) index]; }

    /** Deletes the chosen cache folders, then tells the user. */
    enum class CacheKind { all, installers, thumbnails };
    void clearCache (CacheKind);

    /** The page's sections for the Tab order: the format toggles, the cache
        buttons, then the folder rows (field and its ". . ." button).
    */
    std::vector<std::vector<juce::Component*>> focusRegions();

    void resized() override;

private:
    void browseForFolder (juce::TextEditor& field);
    void pathEdited();

    MakerFolders& makerFolders;

    juce::Label title, formatsTitle, cacheTitle, pathsTitle;
    std::array<juce::ToggleButton, PluginFormat::count> toggles;
    std::array<IconTextButton, 3> cacheButtons;
    std::array<juce::Label, PluginFormat::count> pathLabels;
    std::array<juce::TextEditor, PluginFormat::count> pathFields;
    std::array<RoundedBox, PluginFormat::count> pathFrames;
    std::array<juce::TextButton, PluginFormat::count> browseButtons;
    juce::Label samplesLabel;
    juce::TextEditor samplesField;
    RoundedBox samplesFrame;
    juce::TextButton samplesBrowseButton;

    std::unique_ptr<juce::FileChooser> folderChooser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsPage)
};
