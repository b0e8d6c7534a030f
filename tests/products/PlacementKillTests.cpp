// A placement and a content merge killed with SIGKILL at each step: after the
// recovery that the next start runs, the target holds the old or the new
// version, never neither, and no staging name is left.
#include <gtest/gtest.h>

#include "products/ContentTransfer.h"
#include "products/PluginPlacement.h"
#include "support/TestHelpers.h"

#include <csignal>
#include <unistd.h>

using testing_support::TempFolder;

namespace
{
    [[noreturn]] void killSelf()
    {
        ::kill (::getpid(), SIGKILL);
        std::abort();
    }

    const testing_support::RegisteredChildMode placementChild { "--kill-placement", [] (const juce::StringArray& args)
    {
        PluginPlacement::FileSteps steps = PluginPlacement::FileSteps::real();
        const auto at = args[2];
        steps.reached = [at] (const char* step) { if (at == step) killSelf(); };
        PluginPlacement::placeFormat (juce::File (args[3]), juce::File (args[4]), "m", {}, steps);
        return 0;
    } };

    const testing_support::RegisteredChildMode mergeChild { "--kill-merge", [] (const juce::StringArray& args)
    {
        // Every stop check is a step of the copy; dying at one lands mid-file.
        int checks = 0;
        const auto killAt = args[2].getIntValue();
        PluginPlacement::transferContent (juce::File (args[3]), juce::File (args[4]), "m",
                                          [&] { if (++checks == killAt) killSelf(); return false; });
        return 0;
    } };

    void runChild (const juce::StringArray& args)
    {
        juce::ChildProcess child;
        juce::StringArray command { juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName() };
        command.addArray (args);
        ASSERT_TRUE (child.start (command, 0));
        ASSERT_TRUE (child.waitForProcessToFinish (20000));
    }

    juce::StringArray stagingNamesIn (const juce::File& folder)
    {
        juce::StringArray names;

        for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*", juce::File::findFilesAndDirectories))
            if (entry.getFile().getFileName().contains (".pending.") || entry.getFile().getFileName().contains (".backup."))
                names.add (entry.getFile().getFileName());

        return names;
    }
}

TEST (PlacementKills, EveryStepLeavesTheOldOrTheNewVersion)
{
    const std::pair<const char*, const char*> cases[] = {
        { "staged",      "old" },
        { "moved aside", "old" },
        { "swapped in",  "new" },
    };

    for (auto& [step, expected] : cases)
    {
        SCOPED_TRACE (step);
        TempFolder temp;
        auto source = temp.folder.getChildFile ("unpacked/Verb.vst3");
        auto target = temp.folder.getChildFile ("VST3/Verb.vst3");
        auto inner = [] (const juce::File& bundle) { return bundle.getChildFile ("Contents/x86_64-win/Verb.vst3"); };
        inner (source).getParentDirectory().createDirectory();
        inner (source).replaceWithText ("new");
        inner (target).getParentDirectory().createDirectory();
        inner (target).replaceWithText ("old");

        runChild ({ "--kill-placement", step, source.getFullPathName(), target.getFullPathName() });
        EXPECT_FALSE (stagingNamesIn (target.getParentDirectory()).isEmpty()) << "the kill came too late to matter";

        PluginPlacement::recoverInterrupted (target.getParentDirectory());
        EXPECT_EQ (inner (target).loadFileAsString(), expected);
        EXPECT_EQ (stagingNamesIn (target.getParentDirectory()), juce::StringArray());
    }
}

TEST (PlacementKills, AMergeKilledMidFileLeavesOnlyWholeFiles)
{
    TempFolder temp;
    auto source = temp.folder.getChildFile ("unpacked/Samples");
    auto destination = temp.folder.getChildFile ("Samples/Verb");
    juce::MemoryBlock bytes (1 << 20);
    juce::Random().fillBitsRandomly (bytes.getData(), bytes.getSize());
    source.createDirectory();
    source.getChildFile ("Hall.wav").replaceWithData (bytes.getData(), bytes.getSize());
    destination.createDirectory();
    destination.getChildFile ("Mine.wav").replaceWithText ("mine");

    runChild ({ "--kill-merge", "6", source.getFullPathName(), destination.getFullPathName() });
    EXPECT_FALSE (stagingNamesIn (destination).isEmpty()) << "the kill came too late to matter";
    EXPECT_FALSE (destination.getChildFile ("Hall.wav").exists());

    // The next merge clears what the killed one left, then completes.
    ContentTransfer::removeUnfinishedCopies (destination);
    EXPECT_EQ (stagingNamesIn (destination), juce::StringArray());
    EXPECT_EQ (destination.getChildFile ("Mine.wav").loadFileAsString(), "mine");

    ASSERT_TRUE (PluginPlacement::transferContent (source, destination, "m").succeeded);
    juce::MemoryBlock copied;
    destination.getChildFile ("Hall.wav").loadFileAsData (copied);
    EXPECT_EQ (copied, bytes);
}
