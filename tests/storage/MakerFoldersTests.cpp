#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "storage/MakerFolders.h"
#include "support/TestHelpers.h"

#include <sys/stat.h>

using testing_support::ScopedHome;
using testing_support::TempFolder;

TEST (MakerFolders, LayoutIsCreatedOnDemandUnderTheDocumentsFolder)
{
    ScopedHome home;
    MakerFolders folders;

    auto maker = home.documents().getChildFile ("Quillotone");
    EXPECT_FALSE (maker.exists());

    // Samples and presets are located but never created.
    EXPECT_EQ (folders.samplesFolder(), maker.getChildFile ("Samples"));
    EXPECT_EQ (folders.presetsFolder(), maker.getChildFile ("Presets"));
    EXPECT_TRUE (maker.isDirectory());
    EXPECT_FALSE (maker.getChildFile ("Samples").exists());
    EXPECT_FALSE (maker.getChildFile ("Presets").exists());

    EXPECT_EQ (folders.settingsFolder(), maker.getChildFile ("Settings"));
    EXPECT_EQ (folders.tempFolder(), maker.getChildFile ("Temp"));

    auto cache = folders.cacheFolder();
    EXPECT_EQ (cache, maker.getChildFile ("Temp/PluginManagerCache"));
    EXPECT_TRUE (cache.isDirectory());

    auto thumbnails = folders.cacheFolder ("/Thumbnails");
    EXPECT_EQ (thumbnails, cache.getChildFile ("Thumbnails"));
    EXPECT_TRUE (thumbnails.isDirectory());

    EXPECT_EQ (folders.globalSettingsFile(), maker.getChildFile ("Settings/Quillotone.qvs"));
}

TEST (MakerFolders, ProductFolderNamesLocateThatProductsFiles)
{
    ScopedHome home;
    MakerFolders folders;
    folders.productFolderName = "BigRoomVerb";

    auto maker = home.documents().getChildFile ("Quillotone");
    EXPECT_EQ (folders.presetsFolder(), maker.getChildFile ("Presets/BigRoomVerb"));
    EXPECT_EQ (folders.samplesFolder(), maker.getChildFile ("Samples/BigRoomVerb"));
    EXPECT_EQ (folders.productSettingsFile(), maker.getChildFile ("Settings/BigRoomVerb.qvs"));
    EXPECT_FALSE (folders.productSettingsFile().exists());
    EXPECT_FALSE (folders.presetsFolder().exists());
}

TEST (MakerFolders, LinkedMakerFolderResolvesToItsTarget)
{
    ScopedHome home;
    TempFolder elsewhere;
    auto target = elsewhere.folder.getChildFile ("RealMaker");
    ASSERT_TRUE (target.createDirectory());
    ASSERT_TRUE (target.createSymbolicLink (home.documents().getChildFile ("Quillotone"), true));

    MakerFolders folders;
    EXPECT_EQ (folders.makerFolder(), target);
    EXPECT_EQ (folders.cacheFolder ("/Thumbnails"), target.getChildFile ("Temp/PluginManagerCache/Thumbnails"));
    EXPECT_TRUE (target.getChildFile ("Temp/PluginManagerCache/Thumbnails").isDirectory());

    // A dangling link is kept as it is rather than replaced.
    ASSERT_TRUE (target.deleteRecursively());
    EXPECT_EQ (folders.makerFolder(), home.documents().getChildFile ("Quillotone"));
}

TEST (MakerFolders, MissingSettingsFileIsCreatedEmptyThenSavedWithTheRootOnly)
{
    ScopedHome home;
    MakerFolders folders;
    auto file = folders.globalSettingsFile();
    ASSERT_FALSE (file.exists());

    auto& element = folders.loadGlobalSettings();
    EXPECT_EQ (element.getTagName(), "QUILLOTONE_GLOBAL_SETTINGS");
    EXPECT_EQ (element.getNumAttributes(), 0);
    EXPECT_TRUE (file.existsAsFile());
    EXPECT_EQ (file.getSize(), 0);

    ASSERT_TRUE (folders.saveGlobalSettings());
    EXPECT_EQ (file.loadFileAsString(),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<QUILLOTONE_GLOBAL_SETTINGS/>\r\n");
}

TEST (MakerFolders, AttributesAreRewrittenInNameOrderWithTheWrappedFormat)
{
    ScopedHome home;
    MakerFolders folders;
    folders.globalSettingsFile().replaceWithText (
        "<QUILLOTONE_GLOBAL_SETTINGS zeta=\"3\" middle=\"a value long enough to push the next one over\" "
        "Zulu=\"2\" alpha=\"1\"><child/>text</QUILLOTONE_GLOBAL_SETTINGS>");

    EXPECT_EQ (folders.getGlobalValue ("alpha"), "1");
    EXPECT_EQ (folders.getGlobalValue ("missing", "fallback"), "fallback");
    ASSERT_TRUE (folders.saveGlobalSettings());

    // Capitals sort before small letters (code-point order); children and text
    // are dropped; an attribute starting past column 60 goes on a new line;
    // every line ends in "\r\n".
    EXPECT_EQ (folders.globalSettingsFile().loadFileAsString(),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n"
               "<QUILLOTONE_GLOBAL_SETTINGS Zulu=\"2\" alpha=\"1\" middle=\"a value long enough to push the next one over\"\r\n"
               "                            zeta=\"3\"/>\r\n");

    // Values set later are appended until the next load sorts them again.
    folders.setGlobalValue ("beta", "4");
    ASSERT_TRUE (folders.saveGlobalSettings());
    MakerFolders other;
    auto& reread = other.loadGlobalSettings();
    EXPECT_EQ (reread.getAttributeName (0), "Zulu");
    EXPECT_EQ (reread.getAttributeName (2), "beta");
    EXPECT_EQ (reread.getAttributeName (4), "zeta");
    EXPECT_EQ (other.getGlobalValue ("beta"), "4");
}

TEST (MakerFolders, ForeignRootTagIsKept)
{
    ScopedHome home;
    MakerFolders folders;
    folders.globalSettingsFile().replaceWithText ("<OTHER_ROOT b=\"2\" a=\"1\"/>");

    EXPECT_EQ (folders.loadGlobalSettings().getTagName(), "OTHER_ROOT");
    ASSERT_TRUE (folders.saveGlobalSettings());

    auto saved = juce::parseXML (folders.globalSettingsFile());
    ASSERT_NE (saved, nullptr);
    EXPECT_EQ (saved->getTagName(), "OTHER_ROOT");
    EXPECT_EQ (saved->getAttributeName (0), "a");
    EXPECT_EQ (saved->getAttributeName (1), "b");
}

TEST (MakerFolders, EmptyOrMalformedFilesReadAsAnEmptyElementAndAreReplaced)
{
    for (auto text : { "", "   \r\n", "<QUILLOTONE_GLOBAL_SETTINGS a=\"1\"", "not xml at all", "\xff\xfe\x00garbage" })
    {
        ScopedHome home;
        MakerFolders folders;
        folders.globalSettingsFile().replaceWithText (text);

        auto& element = folders.loadGlobalSettings();
        EXPECT_EQ (element.getTagName(), "QUILLOTONE_GLOBAL_SETTINGS") << text;
        EXPECT_EQ (element.getNumAttributes(), 0) << text;

        folders.setGlobalValue ("key", "value");
        ASSERT_TRUE (folders.saveGlobalSettings());

        MakerFolders reread;
        EXPECT_EQ (reread.getGlobalValue ("key"), "value") << text;
    }
}

TEST (MakerFolders, ReloadDropsUnsavedChanges)
{
    ScopedHome home;
    MakerFolders folders;
    folders.setGlobalValue ("kept", "1");
    ASSERT_TRUE (folders.saveGlobalSettings());

    folders.setGlobalValue ("lost", "1");
    folders.loadGlobalSettings();
    EXPECT_EQ (folders.getGlobalValue ("lost", "absent"), "absent");
    EXPECT_EQ (folders.getGlobalValue ("kept"), "1");
}

TEST (MakerFolders, FolderInPlaceOfTheSettingsFileMakesSaveFail)
{
    ScopedHome home;
    MakerFolders folders;
    ASSERT_TRUE (folders.globalSettingsFile().createDirectory());

    auto& element = folders.loadGlobalSettings();
    EXPECT_EQ (element.getTagName(), "QUILLOTONE_GLOBAL_SETTINGS");

    folders.setGlobalValue ("key", "value");
    EXPECT_FALSE (folders.saveGlobalSettings());
    EXPECT_TRUE (folders.globalSettingsFile().isDirectory());
}

TEST (MakerFolders, ThePrivateFolderIsTheUsersOwnAndNeverALink)
{
    struct Case
    {
        const char* what;
        std::function<void (const juce::File& home, const juce::File& elsewhere)> arrange;
        bool usable;
    };

    auto privatePath = [] (const juce::File& home) { return home.getChildFile (".cache/Quillotone/PluginManager"); };

    const Case cases[] = {
        { "made fresh", [] (auto&, auto&) {}, true },
        { "ours, but open to others", [&] (auto& h, auto&) { ASSERT_TRUE (privatePath (h).createDirectory());
                                                             ::chmod (privatePath (h).getFullPathName().toRawUTF8(), 0777); }, true },
        { "a link to elsewhere", [&] (auto& h, auto& e) { ASSERT_TRUE (privatePath (h).getParentDirectory().createDirectory());
                                                          ASSERT_TRUE (e.createSymbolicLink (privatePath (h), true)); }, false },
        { "a linked cache folder", [] (auto& h, auto& e) { ASSERT_TRUE (e.createSymbolicLink (h.getChildFile (".cache"), true)); }, false },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        ScopedHome home;
        TempFolder elsewhere;
        c.arrange (home.home.folder, elsewhere.folder);

        MakerFolders folders;
        const auto installers = folders.privateFolder ("/Installers");

        if (! c.usable)
        {
            EXPECT_EQ (installers, juce::File());
            EXPECT_TRUE (folders.privateFolderProblem().contains ("cannot be used")) << folders.privateFolderProblem();
            EXPECT_EQ (elsewhere.folder.findChildFiles (juce::File::findFilesAndDirectories, true).size(), 0);
            continue;
        }

        struct stat info {};
        ASSERT_EQ (::lstat (privatePath (home.home.folder).getFullPathName().toRawUTF8(), &info), 0);
        EXPECT_EQ (info.st_mode & 0777, 0700u);
        EXPECT_EQ (installers, privatePath (home.home.folder).getChildFile ("Installers"));
        EXPECT_TRUE (installers.isDirectory());
        EXPECT_EQ (folders.privateFolderProblem(), "");
    }

    // The tool's folder is made fresh, for this account only, each time.
    TempFolder parent;
    const auto first = platform::createFreshPrivateFolder (parent.folder, "tool-"), second = platform::createFreshPrivateFolder (parent.folder, "tool-");
    struct stat info {};
    ASSERT_EQ (::lstat (first.getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0700u);
    EXPECT_NE (first, second);
}

TEST (MakerFolders, LinksBelowTheMakerFolderAreNeitherFollowedNorCreatedThrough)
{
    ScopedHome home;
    TempFolder elsewhere;
    auto maker = home.documents().getChildFile ("Quillotone");
    ASSERT_TRUE (maker.getChildFile ("Temp").createDirectory());
    ASSERT_TRUE (elsewhere.folder.createSymbolicLink (maker.getChildFile ("Temp/PluginManagerCache"), true));

    MakerFolders folders;
    EXPECT_EQ (folders.cacheFolder ("/Thumbnails"), maker.getChildFile ("Temp/PluginManagerCache/Thumbnails"));
    EXPECT_FALSE (elsewhere.folder.getChildFile ("Thumbnails").exists());
}
