// Recovery acts on the manager's own journaled names only, and a folder
// swapped for a link in the middle of a merge or a placement redirects nothing.
#include <gtest/gtest.h>

#include "products/ContentTransfer.h"
#include "products/PlacementJournal.h"
#include "products/PluginPlacement.h"
#include "products/StagingNames.h"
#include "support/TestHelpers.h"

using testing_support::TempFolder;

namespace
{
    const juce::String hex32 = "0123456789abcdef0123456789abcdef";

    void write (const juce::File& f, const juce::String& text)
    {
        f.getParentDirectory().createDirectory();
        f.replaceWithText (text, false, false, nullptr);
    }

    juce::StringArray namesBelow (const juce::File& root)
    {
        juce::StringArray names;

        for (const auto& entry : juce::RangedDirectoryIterator (root, true, "*", juce::File::findFilesAndDirectories,
                                                                 juce::File::FollowSymlinks::no))
            names.add (entry.getFile().getRelativePathFrom (root));

        names.sort (false);
        return names;
    }
}

TEST (StagingNames, OnlyATargetKindAndTokenMakeAStagingName)
{
    const std::pair<juce::String, const char*> cases[] = {
        { "Verb.vst3.pending." + hex32,    "Verb.vst3 pending" },
        { "Verb.vst3.backup." + hex32,     "Verb.vst3 backup" },
        { "pending." + hex32,              "-" },
        { ".pending." + hex32,             "-" },
        { "Verb.backup." + hex32.toUpperCase(), "-" },
        { "Verb.pending." + hex32.dropLastCharacters (1), "-" },
        { "Verb.copy." + hex32,            "-" },
    };

    for (auto& [name, expected] : cases)
    {
        const auto parsed = StagingNames::parse (name);
        EXPECT_EQ (parsed ? parsed->targetName + (parsed->isBackup ? " backup" : " pending") : juce::String ("-"), expected) << name;
    }
}

TEST (PlacementJournal, RecoveryTouchesOnlyNamesTheJournalIssuedForThatFolder)
{
    TempFolder temp;
    PlacementJournal journal (temp.folder.getChildFile ("journal"));
    ASSERT_TRUE (temp.folder.getChildFile ("journal").createDirectory());
    const auto plugins = temp.folder.getChildFile ("VST3"), other = temp.folder.getChildFile ("Other");

    // Another program's look-alikes, and one of ours issued for another folder.
    write (plugins.getChildFile ("X.vst3.backup." + hex32 + "/inner.txt"), "theirs");
    write (plugins.getChildFile ("Y.dll.pending." + hex32), "theirs");
    const auto elsewhere = journal.issue (other, "Z.dll");
    write (plugins.getChildFile ("Z.dll.backup." + elsewhere), "z");

    // Two backups of ours for one target: the one issued last is the newer
    // version, even when its files carry the older time.
    const auto older = journal.issue (plugins, "Verb.dll"), newer = journal.issue (plugins, "Verb.dll");
    write (plugins.getChildFile ("Verb.dll.backup." + older), "1.0");
    write (plugins.getChildFile ("Verb.dll.backup." + newer), "2.0");
    plugins.getChildFile ("Verb.dll.backup." + newer).setLastModificationTime (juce::Time (2001, 0, 1, 0, 0));
    const auto pending = journal.issue (plugins, "Verb.dll");
    write (plugins.getChildFile ("Verb.dll.pending." + pending), "3.0");

    EXPECT_EQ (PluginPlacement::recoverInterrupted (plugins, {}, journal), 3);
    EXPECT_EQ (plugins.getChildFile ("Verb.dll").loadFileAsString(), "2.0");
    const juce::String left[] = { "Verb.dll", "X.vst3.backup." + hex32, "X.vst3.backup." + hex32 + "/inner.txt",
                                  "Y.dll.pending." + hex32, "Z.dll.backup." + elsewhere };
    EXPECT_EQ (namesBelow (plugins), juce::StringArray (left, 5));

    // Done tokens are forgotten; the other folder's stays for its own recovery.
    EXPECT_FALSE (journal.find (older).has_value());
    EXPECT_FALSE (journal.find (pending).has_value());
    EXPECT_TRUE (journal.find (elsewhere).has_value());

    // A merge's copies are cleared the same way: only its own.
    const auto merge = journal.issue (plugins, {});
    write (plugins.getChildFile ("sub/A.wav.pending." + merge), "half");
    EXPECT_EQ (ContentTransfer::removeUnfinishedCopies (plugins, journal), 1);
    EXPECT_TRUE (plugins.getChildFile ("Y.dll.pending." + hex32).existsAsFile());
}

TEST (PlacementJournal, AFolderSwappedForALinkMidWayRedirectsNothing)
{
    struct Case
    {
        const char* what;
        const char* swapped;        // the folder, below the root, that is swapped after two files
    };

    const Case cases[] = {
        { "the destination itself", "Samples" },
        { "a folder inside it",     "Samples/Kits" },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TempFolder temp;
        const auto source = temp.folder.getChildFile ("unpacked"), root = temp.folder.getChildFile ("maker");
        const auto outside = temp.folder.getChildFile ("outside");
        ASSERT_TRUE (outside.getChildFile ("bait").createDirectory());

        for (int i = 0; i < 8; ++i)
            write (source.getChildFile ("Kits/Kit" + juce::String (i) + ".wav"), "k");

        write (root.getChildFile ("Samples/Kits/Mine.wav"), "mine");
        const auto swapped = root.getChildFile (c.swapped);
        bool done = false;

        // The stop check runs between every two steps of the copy.
        auto swapAfterTwo = [&]
        {
            if (! done && swapped.getParentDirectory().findChildFiles (juce::File::findFiles, true, "Kit*.wav").size() >= 2)
            {
                done = swapped.moveFileTo (outside.getChildFile ("moved"))
                    && outside.getChildFile ("bait").createSymbolicLink (swapped, true);
            }

            return false;
        };

        PlacementJournal journal (temp.folder.getChildFile ("journal"));
        ASSERT_TRUE (temp.folder.getChildFile ("journal").createDirectory());
        const auto merged = PluginPlacement::transferContent (source, root.getChildFile ("Samples"), "m", swapAfterTwo, journal);

        ASSERT_TRUE (done);
        EXPECT_FALSE (merged.succeeded);
        EXPECT_TRUE (merged.failure.contains ("changed during the copy")) << merged.failure;
        EXPECT_EQ (namesBelow (outside.getChildFile ("bait")), juce::StringArray());
        EXPECT_EQ (outside.getChildFile ("moved").findChildFiles (juce::File::findFiles, true, "Kit*.wav").size(), 2);
        EXPECT_EQ (outside.getChildFile ("moved").findChildFiles (juce::File::findFiles, true, "*.pending.*").size(), 0);
    }

    // A placement whose folder is swapped after staging renames inside the
    // folder it opened, never through the link.
    TempFolder temp;
    const auto source = temp.folder.getChildFile ("Verb.dll"), plugins = temp.folder.getChildFile ("VST2");
    const auto bait = temp.folder.getChildFile ("bait");
    write (source, "new");
    write (plugins.getChildFile ("Verb.dll"), "old");
    ASSERT_TRUE (bait.createDirectory());

    PluginPlacement::FileSteps steps = PluginPlacement::FileSteps::real();
    steps.reached = [&] (const char* step)
    {
        if (juce::String (step) == "staged")
            ASSERT_TRUE (plugins.moveFileTo (temp.folder.getChildFile ("moved")) && bait.createSymbolicLink (plugins, true));
    };

    PlacementJournal journal (temp.folder.getChildFile ("journal"));
    ASSERT_TRUE (temp.folder.getChildFile ("journal").createDirectory());
    PluginPlacement::placeFormat (source, plugins.getChildFile ("Verb.dll"), "m", {}, steps, journal);
    EXPECT_EQ (namesBelow (bait), juce::StringArray());
    EXPECT_EQ (temp.folder.getChildFile ("moved/Verb.dll").loadFileAsString(), "new");
}
