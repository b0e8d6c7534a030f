#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "support/TestHelpers.h"

using testing_support::ScopedHome;
using testing_support::TempFolder;

TEST (Platform, DocumentsFolderFollowsHome)
{
    ScopedHome home;
    EXPECT_EQ (platform::sharedDocumentsFolder(), home.documents());
}

TEST (Platform, LinksAreDetectedAndResolvedThroughEveryHop)
{
    TempFolder temp;
    auto target = temp.folder.getChildFile ("target");
    ASSERT_TRUE (target.createDirectory());
    auto first = temp.folder.getChildFile ("first");
    auto second = temp.folder.getChildFile ("second");
    ASSERT_TRUE (target.createSymbolicLink (first, true));
    ASSERT_TRUE (first.createSymbolicLink (second, true));

    EXPECT_FALSE (platform::isLink (target));
    EXPECT_TRUE (platform::isLink (second));
    EXPECT_EQ (platform::resolveLink (second), target);
    EXPECT_EQ (platform::resolveLink (target), target);

    auto missing = temp.folder.getChildFile ("missing");
    EXPECT_FALSE (platform::isLink (missing));
    EXPECT_EQ (platform::resolveLink (missing), missing);
}

TEST (Platform, TrashMoveWritesTheFreedesktopInfoFile)
{
    ScopedHome home;
    auto bundle = home.home.folder.getChildFile ("plug ins/My Plugin.vst3");
    ASSERT_TRUE (bundle.getChildFile ("Contents/x86_64-win").createDirectory());
    ASSERT_TRUE (bundle.getChildFile ("Contents/x86_64-win/My Plugin.vst3").replaceWithText ("binary"));

    ASSERT_TRUE (platform::moveToTrash (bundle));
    EXPECT_FALSE (bundle.exists());

    auto trash = home.home.folder.getChildFile (".local/share/Trash");
    auto trashed = trash.getChildFile ("files/My Plugin.vst3");
    EXPECT_TRUE (trashed.getChildFile ("Contents/x86_64-win/My Plugin.vst3").existsAsFile());

    auto info = trash.getChildFile ("info/My Plugin.vst3.trashinfo").loadFileAsString();
    juce::StringArray lines;
    lines.addLines (info);
    ASSERT_GE (lines.size(), 3);
    EXPECT_EQ (lines[0], "[Trash Info]");
    EXPECT_EQ (lines[1], "Path=" + home.home.folder.getFullPathName() + "/plug%20ins/My%20Plugin.vst3");
    EXPECT_TRUE (lines[2].startsWith ("DeletionDate="));
    EXPECT_EQ (lines[2].length(), juce::String ("DeletionDate=2026-12-09T10:00:00").length());

    // A second item of the same name gets its own slot instead of replacing the first.
    ASSERT_TRUE (bundle.createDirectory());
    ASSERT_TRUE (platform::moveToTrash (bundle));
    EXPECT_TRUE (trash.getChildFile ("files/My Plugin.1.vst3").isDirectory());
    EXPECT_TRUE (trash.getChildFile ("info/My Plugin.1.vst3.trashinfo").existsAsFile());
    EXPECT_TRUE (trashed.getChildFile ("Contents/x86_64-win/My Plugin.vst3").existsAsFile());

    EXPECT_FALSE (platform::moveToTrash (bundle));
}

TEST (Platform, TrashMoveFailsWithoutSideEffectsWhenTheTrashCannotBeMade)
{
    ScopedHome home;
    // A file where the trash folder belongs.
    auto share = home.home.folder.getChildFile (".local/share");
    ASSERT_TRUE (share.createDirectory());
    ASSERT_TRUE (share.getChildFile ("Trash").replaceWithText ("not a folder"));

    auto file = home.home.folder.getChildFile ("plugin.clap");
    ASSERT_TRUE (file.replaceWithText ("x"));
    EXPECT_FALSE (platform::moveToTrash (file));
    EXPECT_TRUE (file.existsAsFile());
}

TEST (Platform, RunningExecutableIsThisTestProgram)
{
    auto exe = platform::runningExecutable();
    EXPECT_TRUE (exe.existsAsFile());
    EXPECT_EQ (exe, juce::File::getSpecialLocation (juce::File::currentExecutableFile));
    EXPECT_TRUE (platform::systemFolder().isDirectory());
}
