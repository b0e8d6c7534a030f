#include "ui/SettingsPage.h"

#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/VortelDialog.h"

#include <BinaryData.h>

using PluginFormat::Format;

namespace
{
    constexpr int pageWidth = 900;

    void styleTitle (juce::Label& label, const juce::String& text, float height)
    {
        label.setText (text, juce::dontSendNotification);
        label.setFont (juce::Font (height, juce::Font::bold));
        label.setJustificationType (juce::Justification::centred);
    }

    void stylePathField (juce::TextEditor& field, RoundedBox& frame)
    {
        field.setFont (juce::Font (14.0f));
        field.setColour (juce::TextEditor::textColourId, Palette::text);
        field.setSelectAllWhenFocused (false);
        frame.setColours (juce::Colour (0xe6000000), juce::Colour (0x8ccacaca), juce::Colours::transparentBlack);
        frame.setInterceptsMouseClicks (false, false);
    }
}

SettingsPage::SettingsPage (MakerFolders& folders)
    : makerFolders (folders)
{
    // Only the widgets take clicks; the side menu under the page stays usable.
    setInterceptsMouseClicks (false, true);

    styleTitle (title, "SETTINGS", 42.0f);
    styleTitle (formatsTitle, "INSTALL FORMATS", 24.0f);
    styleTitle (cacheTitle, "CLEAR CACHE", 24.0f);
    styleTitle (pathsTitle, "PATHS", 24.0f);

    for (auto* label : { &title, &formatsTitle, &cacheTitle, &pathsTitle })
        addAndMakeVisible (label);

    for (int i = 0; i < PluginFormat::count; ++i)
    {
        auto format = (Format) i;
        auto& toggle = toggles[(size_t) i];
        toggle.setButtonText (PluginFormat::name (format));
        toggle.setToggleState (true, juce::dontSendNotification);
        toggle.onClick = [this] { saveManagerSettings(); };

        auto& label = pathLabels[(size_t) i];
        label.setText (PluginFormat::name (format) + ":", juce::dontSendNotification);
        label.setFont (juce::Font (14.0f, juce::Font::bold));
        label.setJustificationType (juce::Justification::right);

        auto& field = pathFields[(size_t) i];
        stylePathField (field, pathFrames[(size_t) i]);
        field.onTextChange = [this] { pathEdited(); };

        // Heard without the label beside them, so they say which folder.
        field.setTitle (PluginFormat::name (format) + " folder");
        toggle.setDescription ("Install format");

        auto& browse = browseButtons[(size_t) i];
        browse.setButtonText (". . .");
        browse.setTitle ("Choose the " + PluginFormat::name (format) + " folder");
        browse.onClick = [this, &field] { browseForFolder (field); };

        // AU has no place on Windows: its controls exist but stay hidden.
        auto visible = format != PluginFormat::AU;

        for (juce::Component* c : std::initializer_list<juce::Component*> { &toggle, &label, &pathFrames[(size_t) i], &field, &browse })
        {
            addChildComponent (c);
            c->setVisible (visible);
        }
    }

    samplesLabel.setText ("Samples:", juce::dontSendNotification);
    samplesLabel.setFont (juce::Font (14.0f, juce::Font::bold));
    samplesLabel.setJustificationType (juce::Justification::right);
    stylePathField (samplesField, samplesFrame);
    samplesField.onTextChange = [this] { pathEdited(); };
    samplesBrowseButton.setButtonText (". . .");
    samplesField.setTitle ("Samples folder");
    samplesBrowseButton.setTitle ("Choose the samples folder");
    samplesBrowseButton.onClick = [this] { browseForFolder (samplesField); };

    for (juce::Component* c : std::initializer_list<juce::Component*> { &samplesLabel, &samplesFrame, &samplesField, &samplesBrowseButton })
        addAndMakeVisible (c);

    const char* names[] = { "All", "Installers", "Thumbnails" };
    std::unique_ptr<juce::Drawable> icons[] = {
        Icons::fromResource (BinaryData::all_svg, BinaryData::all_svgSize),
        Icons::fromResource (BinaryData::installer_svg, BinaryData::installer_svgSize),
        Icons::fromResource (BinaryData::thumb_svg, BinaryData::thumb_svgSize)
    };
    const CacheKind kinds[] = { CacheKind::all, CacheKind::installers, CacheKind::thumbnails };

    for (size_t i = 0; i < cacheButtons.size(); ++i)
    {
        auto& button = cacheButtons[i];
        button.setButtonText (names[i]);
        button.setTitle ("Clear cache: " + juce::String (names[i]));
        button.setFontSize (14.0f);
        button.setIcon (std::move (icons[i]));
        button.onClick = [this, kind = kinds[i]] { clearCache (kind); };
        addAndMakeVisible (button);
    }

    setSize (pageWidth, 700);
}

SettingsPage::~SettingsPage() = default;

//==============================================================================
void SettingsPage::resized()
{
    auto w = getWidth();

    title.setBounds ((w - 220) / 2 + 70, 40, 300, 50);
    formatsTitle.setBounds ((w - 220) / 2 - 5, 110, 210, 50);
    cacheTitle.setBounds ((w - 220) / 2 + 260, 110, 150, 50);
    pathsTitle.setBounds ((w - 220) / 2 + 70, 340, 300, 50);

    // The hidden AU controls sit where the first visible row would.
    auto toggleX = formatsTitle.getX() + 50;
    auto toggleY = formatsTitle.getY() + 45;
    toggles[PluginFormat::AU].setBounds (toggleX, toggleY, 200, 30);

    for (int i = PluginFormat::VST2; i < PluginFormat::count; ++i)
        toggles[(size_t) i].setBounds (toggleX, toggleY + 35 * (i - PluginFormat::VST2), 200, 30);

    for (size_t i = 0; i < cacheButtons.size(); ++i)
        cacheButtons[i].setBounds (cacheTitle.getX() + 15, cacheTitle.getY() + 55 + 55 * (int) i, 120, 35);

    auto placeRow = [] (juce::Label& label, juce::TextEditor& field, RoundedBox& frame, juce::TextButton& browse,
                        juce::Rectangle<int> labelBounds)
    {
        label.setBounds (labelBounds);
        field.setBounds (labelBounds.getRight(), labelBounds.getY() + 3, 365, 26);
        frame.setBounds (field.getBounds().translated (0, -1));
        browse.setBounds (field.getX() + 368, field.getY(), 26, 23);
    };

    placeRow (pathLabels[PluginFormat::AU], pathFields[PluginFormat::AU], pathFrames[PluginFormat::AU],
              browseButtons[PluginFormat::AU], { toggleX - 70, 382, 50, 30 });

    for (int i = PluginFormat::VST2; i < PluginFormat::count; ++i)
        placeRow (pathLabels[(size_t) i], pathFields[(size_t) i], pathFrames[(size_t) i], browseButtons[(size_t) i],
                  { toggleX - 70, 382 + 42 * (i - PluginFormat::VST2), 50, 30 });

    placeRow (samplesLabel, samplesField, samplesFrame, samplesBrowseButton,
              { toggleX - 90, pathLabels[PluginFormat::CLAP].getY() + 57, 70, 30 });
}

std::vector<std::vector<juce::Component*>> SettingsPage::focusRegions()
{
    std::vector<juce::Component*> formats, cache, folders;

    for (size_t i = 0; i < PluginFormat::count; ++i)
    {
        formats.push_back (&toggles[i]);
        folders.push_back (&pathFields[i]);
        folders.push_back (&browseButtons[i]);
    }

    for (auto& button : cacheButtons)
        cache.push_back (&button);

    folders.push_back (&samplesField);
    folders.push_back (&samplesBrowseButton);
    return { formats, cache, folders };
}

//==============================================================================
juce::File SettingsPage::settingsFile() const
{
    return ManagerSettings::settingsFile (makerFolders.cacheFolder());
}

ManagerSettings::Values SettingsPage::currentValues() const
{
    ManagerSettings::Values values;

    for (size_t i = 0; i < PluginFormat::count; ++i)
    {
        values.install[i] = toggles[i].getToggleState();
        values.path[i] = pathFields[i].getText();
    }

    values.samplesPath = samplesField.getText();
    return values;
}

void SettingsPage::loadManagerSettings()
{
    // The same rule as the command line's: the file, or the defaults written.
    const auto loaded = ManagerSettings::load (settingsFile(),
                                               ManagerSettings::defaults (makerFolders.samplesFolder().getFullPathName()));

    for (size_t i = 0; i < PluginFormat::count; ++i)
    {
        toggles[i].setToggleState (loaded.install[i], juce::dontSendNotification);

        if (i != PluginFormat::AU)
            pathFields[i].setText (loaded.path[i], false);
    }

    samplesField.setText (loaded.samplesPath, false);
}

void SettingsPage::saveManagerSettings()
{
    // A failed write is not reported; the next change tries again.
    ManagerSettings::write (settingsFile(), currentValues());
}

void SettingsPage::applyDefaultManagerSettings()
{
    auto defaults = ManagerSettings::defaults (makerFolders.samplesFolder().getFullPathName());

    for (size_t i = 0; i < PluginFormat::count; ++i)
    {
        toggles[i].setToggleState (true, juce::dontSendNotification);

        if (i != PluginFormat::AU)
            pathFields[i].setText (defaults.path[i], false);
    }

    samplesField.setText (defaults.samplesPath, false);
    saveManagerSettings();
}

//==============================================================================
bool SettingsPage::isFormatEnabled (Format format) const
{
    return toggles[(size_t) format].getToggleState();
}

juce::String SettingsPage::getFormatPath (Format format) const
{
    return ManagerSettings::withTrailingSeparator (pathFields[(size_t) format].getText());
}

juce::String SettingsPage::getSamplesPath() const
{
    return ManagerSettings::withTrailingSeparator (samplesField.getText());
}

void SettingsPage::pathEdited()
{
    saveManagerSettings();

    if (onPathsChanged != nullptr)
        onPathsChanged();
}

void SettingsPage::browseForFolder (juce::TextEditor& field)
{
    folderChooser = std::make_unique<juce::FileChooser> ("Search Path", juce::File (field.getText()), "*");

    juce::Component::SafePointer<juce::TextEditor> target (&field);

    folderChooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                                [target] (const juce::FileChooser& chooser)
                                {
                                    auto folder = chooser.getResult();

                                    if (target == nullptr || folder == juce::File())
                                        return;

                                    target->setText (ManagerSettings::withTrailingSeparator (folder.getFullPathName()), true);
                                });
}

void SettingsPage::clearCache (CacheKind kind)
{
    juce::StringArray suffixes;

    if (kind != CacheKind::thumbnails) suffixes.add ("/Installers");
    if (kind != CacheKind::installers) suffixes.add ("/Thumbnails");
    if (kind == CacheKind::all)        suffixes.add ("/Utils");

    // A link inside the cache is removed itself, never followed.
    auto cache = makerFolders.cacheFolder();

    for (auto& suffix : suffixes)
        cache.getChildFile (suffix.substring (1)).deleteRecursively (false);

    // Downloads live in the manager's private folder.
    if (kind != CacheKind::thumbnails)
        if (auto downloads = makerFolders.privateFolder ("/Installers"); downloads != juce::File())
            downloads.deleteRecursively (false);

    VortelDialog::showMessage (this, "Clear Cache", "Cache cleared.", VortelDialog::notice);
}
