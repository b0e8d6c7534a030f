#include <gtest/gtest.h>

#include "storage/BooleanAttribute.h"
#include "storage/ManagerSettings.h"
#include "support/TestHelpers.h"
#include "ui/SettingsPage.h"
#include "ui/VortelDialog.h"

using PluginFormat::Format;
using testing_support::ScopedHome;
using testing_support::waitUntil;

namespace
{
    struct Page
    {
        Page() { page.loadManagerSettings(); }

        juce::File file() const { return page.settingsFile(); }
        std::unique_ptr<juce::XmlElement> saved() const { return juce::parseXML (file()); }

        ScopedHome home;
        MakerFolders folders;
        SettingsPage page { folders };
    };

    void writeSettings (const juce::String& attributes, const juce::String& tag = "QuillotonePluginManager_Settings")
    {
        MakerFolders folders;
        ManagerSettings::settingsFile (folders.cacheFolder())
            .replaceWithText ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + tag + " " + attributes + "/>\n");
    }

    juce::String sep() { return juce::File::getSeparatorString(); }
}

TEST (ManagerSettings, FirstStartAppliesAndWritesTheDefaults)
{
    Page p;
    auto home = p.home.home.folder;

    for (auto f : { PluginFormat::VST2, PluginFormat::VST3, PluginFormat::AAX, PluginFormat::CLAP })
        EXPECT_TRUE (p.page.getToggle (f).getToggleState());

    EXPECT_EQ (p.page.getPathField (PluginFormat::VST2).getText(), home.getChildFile (".vst").getFullPathName() + "/");
    EXPECT_EQ (p.page.getPathField (PluginFormat::VST3).getText(), home.getChildFile (".vst3").getFullPathName() + "/");
    EXPECT_EQ (p.page.getPathField (PluginFormat::AAX).getText(), home.getChildFile (".aax").getFullPathName() + "/");
    EXPECT_EQ (p.page.getPathField (PluginFormat::CLAP).getText(), home.getChildFile (".clap").getFullPathName() + "/");
    EXPECT_EQ (p.page.getSamplesField().getText(), p.home.documents().getChildFile ("Quillotone/Samples").getFullPathName());

    EXPECT_FALSE (p.page.getToggle (PluginFormat::AU).isVisible());
    EXPECT_FALSE (p.page.getPathField (PluginFormat::AU).isVisible());

    ASSERT_TRUE (p.file().existsAsFile());
    EXPECT_EQ (p.file(), p.home.documents().getChildFile ("Quillotone/Temp/PluginManagerCache/settings.qvs"));

    auto xml = p.saved();
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "QuillotonePluginManager_Settings");

    const char* order[] = { "InstallAU", "InstallVST2", "InstallVST3", "InstallAAX", "InstallCLAP",
                            "PathAU", "PathVST2", "PathVST3", "PathAAX", "PathCLAP", "PathSamples" };
    ASSERT_EQ (xml->getNumAttributes(), 11);

    for (int i = 0; i < 11; ++i)
        EXPECT_EQ (xml->getAttributeName (i), order[i]);

    for (int i = 0; i < 5; ++i)
        EXPECT_EQ (xml->getAttributeValue (i), "1");

    EXPECT_EQ (xml->getStringAttribute ("PathAU", "absent"), "");
    EXPECT_EQ (xml->getStringAttribute ("PathCLAP"), home.getChildFile (".clap").getFullPathName() + "/");

    auto text = p.file().loadFileAsString();
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"));
    EXPECT_FALSE (text.replace ("\r\n", "").containsChar ('\n'));
}

TEST (ManagerSettings, BooleansReadOnlyLeadingOneTrueOrYes)
{
    for (auto [text, expected] : std::initializer_list<std::pair<const char*, bool>> {
             { "1", true }, { "true", true }, { "  Yes", true }, { "T", true }, { "y", true },
             { "0", false }, { "no", false }, { "", false }, { "false", false }, { " x1", false }, { "on", false } })
    {
        EXPECT_EQ (BooleanAttribute::isTrue (text), expected) << text;
    }

    for (auto [attribute, expected] : std::initializer_list<std::pair<const char*, bool>> {
             { "InstallVST3=\"true\"", true }, { "InstallVST3=\"no\"", false },
             { "InstallVST3=\"\"", false }, { "", true } })
    {
        ScopedHome home;
        writeSettings (juce::String ("InstallVST2=\"0\" ") + attribute);
        MakerFolders folders;
        SettingsPage page (folders);
        page.loadManagerSettings();

        EXPECT_EQ (page.isFormatEnabled (PluginFormat::VST3), expected) << attribute;
        EXPECT_FALSE (page.isFormatEnabled (PluginFormat::VST2));
        EXPECT_TRUE (page.isFormatEnabled (PluginFormat::CLAP)) << "missing keys read as on";
    }
}

TEST (ManagerSettings, ForeignMissingOrBrokenFilesAreReplacedByTheDefaults)
{
    for (auto content : { "<quillotonepluginmanager_settings InstallVST2=\"0\"/>",
                          "<OtherRoot InstallVST2=\"0\"/>",
                          "not xml" })
    {
        ScopedHome home;
        MakerFolders folders;
        auto file = ManagerSettings::settingsFile (folders.cacheFolder());
        file.replaceWithText (content);

        SettingsPage page (folders);
        page.loadManagerSettings();
        EXPECT_TRUE (page.isFormatEnabled (PluginFormat::VST2)) << content;

        auto xml = juce::parseXML (file);
        ASSERT_NE (xml, nullptr) << content;
        EXPECT_EQ (xml->getTagName(), "QuillotonePluginManager_Settings");
        EXPECT_EQ (xml->getStringAttribute ("InstallVST2"), "1");
    }

    // A folder where the file belongs: defaults shown, the save fails quietly.
    ScopedHome home;
    MakerFolders folders;
    ASSERT_TRUE (ManagerSettings::settingsFile (folders.cacheFolder()).createDirectory());
    SettingsPage page (folders);
    page.loadManagerSettings();
    EXPECT_TRUE (page.isFormatEnabled (PluginFormat::AAX));
    EXPECT_TRUE (ManagerSettings::settingsFile (folders.cacheFolder()).isDirectory());
}

TEST (ManagerSettings, EmptyPathShowsTheDefaultAndLeavesTheFileAlone)
{
    ScopedHome home;
    writeSettings ("InstallVST2=\"1\" PathVST2=\"\" PathVST3=\"/opt/vst3\" PathSamples=\"\"");
    MakerFolders folders;
    auto file = ManagerSettings::settingsFile (folders.cacheFolder());
    auto before = file.loadFileAsString();

    SettingsPage page (folders);
    page.loadManagerSettings();

    EXPECT_EQ (page.getPathField (PluginFormat::VST2).getText(), ManagerSettings::defaultFormatPath (PluginFormat::VST2));
    EXPECT_EQ (page.getPathField (PluginFormat::VST3).getText(), "/opt/vst3");
    EXPECT_EQ (page.getSamplesField().getText(), folders.samplesFolder().getFullPathName());
    EXPECT_EQ (file.loadFileAsString(), before);

    // The next save writes the shown default back.
    page.getToggle (PluginFormat::AAX).triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return juce::parseXML (file)->getStringAttribute ("InstallAAX") == "0"; }));
    EXPECT_EQ (juce::parseXML (file)->getStringAttribute ("PathVST2"), ManagerSettings::defaultFormatPath (PluginFormat::VST2));
}

TEST (ManagerSettings, PathsAreHandedOverWithOneTrailingSeparator)
{
    EXPECT_EQ (ManagerSettings::withTrailingSeparator ("/plug/ins"), "/plug/ins" + sep());
    EXPECT_EQ (ManagerSettings::withTrailingSeparator ("/plug/ins" + sep()), "/plug/ins" + sep());
    EXPECT_EQ (ManagerSettings::withTrailingSeparator (""), sep());

    Page p;
    p.page.getPathField (PluginFormat::CLAP).setText ("/data/clap", false);
    EXPECT_EQ (p.page.getFormatPath (PluginFormat::CLAP), "/data/clap" + sep());
    p.page.getPathField (PluginFormat::CLAP).setText ("/data/clap" + sep(), false);
    EXPECT_EQ (p.page.getFormatPath (PluginFormat::CLAP), "/data/clap" + sep());
    EXPECT_TRUE (p.page.getSamplesPath().endsWith (sep()));
    EXPECT_FALSE (p.page.getSamplesPath().endsWith (sep() + sep()));
}

TEST (ManagerSettings, EveryChangeIsSavedAndMarksPaths)
{
    Page p;
    int pathChanges = 0;
    p.page.onPathsChanged = [&] { ++pathChanges; };

    auto& toggle = p.page.getToggle (PluginFormat::VST3);
    toggle.triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return p.saved()->getStringAttribute ("InstallVST3") == "0"; }));
    toggle.triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return p.saved()->getStringAttribute ("InstallVST3") == "1"; }));
    EXPECT_EQ (pathChanges, 0);

    auto& field = p.page.getPathField (PluginFormat::VST2);
    field.setText ("", true);
    ASSERT_TRUE (waitUntil ([&] { return pathChanges == 1; }));

    // Five typed characters: the file follows the field after each one.
    juce::String typed;

    for (auto c : juce::String ("/abcd"))
    {
        field.moveCaretToEnd();
        field.insertTextAtCaret (juce::String::charToString (c));
        typed += juce::String::charToString (c);
        ASSERT_TRUE (waitUntil ([&] { return p.saved()->getStringAttribute ("PathVST2") == typed; })) << typed;
    }

    EXPECT_EQ (pathChanges, 6);
    EXPECT_EQ (p.saved()->getStringAttribute ("PathVST2"), field.getText());
}

TEST (ManagerSettings, CacheButtonsRemoveTheirFoldersWithoutFollowingLinks)
{
    Page p;
    auto cache = p.folders.cacheFolder();
    testing_support::TempFolder outside;
    auto precious = outside.folder.getChildFile ("keep.txt");
    ASSERT_TRUE (precious.replaceWithText ("keep"));

    ASSERT_TRUE (cache.getChildFile ("Installers/a.zip").create());
    ASSERT_TRUE (outside.folder.createSymbolicLink (cache.getChildFile ("Thumbnails"), true));
    ASSERT_TRUE (cache.getChildFile ("Utils/tool.exe").create());

    p.page.getCacheButton (1).triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return ! cache.getChildFile ("Installers").exists(); }));
    EXPECT_TRUE (cache.getChildFile ("Utils/tool.exe").exists());

    p.page.getCacheButton (0).triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return ! cache.getChildFile ("Utils").exists(); }));
    EXPECT_FALSE (cache.getChildFile ("Utils").exists());
    EXPECT_FALSE (cache.getChildFile ("Thumbnails").exists());
    EXPECT_TRUE (precious.existsAsFile());
    EXPECT_TRUE (p.file().existsAsFile()) << "the settings file is not part of any cache";

    int notices = 0;

    for (auto* child : p.page.getChildren())
        if (auto* dialog = dynamic_cast<VortelDialog*> (child))
        {
            EXPECT_EQ (dialog->getTitle(), "Clear Cache");
            EXPECT_EQ (dialog->getMessage(), "Cache cleared.");
            EXPECT_EQ (dialog->getKind(), VortelDialog::notice);
            ++notices;
        }

    EXPECT_EQ (notices, 2);
}
