// The embedded shell helper, run for real on stand-in managers: it swaps,
// relaunches and rolls back as the manager expects, and a SIGKILL after any
// of its steps leaves a runnable manager in place.
#include <gtest/gtest.h>

#include "selfupdate/UpdateHelper.h"
#include "selfupdate/UpdateTransaction.h"
#include "support/TestHelpers.h"

#include <csignal>
#include <cstdlib>

using testing_support::TempFolder;
using testing_support::waitUntil;

namespace
{
    void executable (const juce::File& f, const juce::String& text)
    {
        f.replaceWithText (text, false, false, "\n");
        f.setExecutePermission (true);
    }

    /** A manager folder with a running "old manager" (the parent the helper
        waits for), a staged new one, and the helper written out as the
        manager writes it.
    */
    struct Scene
    {
        explicit Scene (bool newComesUp = true)
        {
            marks.createDirectory();
            work.createDirectory();
            ::setenv ("QT_MARKS", marks.getFullPathName().toRawUTF8(), 1);
            ::setenv ("QT_WORK", work.getFullPathName().toRawUTF8(), 1);

            executable (target, "#!/bin/sh\n# old\ntouch \"$QT_MARKS/old-started\"\nexec sleep 30\n");
            executable (staged, newComesUp ? "#!/bin/sh\n# new\ntouch \"$QT_MARKS/new-started\"\n"
                                             "while [ -e \"$QT_MARKS/hold\" ]; do sleep 0.1; done\n"
                                             "echo ready > \"$QT_WORK/healthy\"\nexec sleep 30\n"
                                           : "#!/bin/sh\n# new\nexit 3\n");
            EXPECT_TRUE (UpdateTransaction::write (work, { target.getFullPathName(), "1.2.1" }));

            const auto bytes = UpdateHelper::script ("linux");
            script.replaceWithData (bytes.getData(), bytes.getSize());

            // The manager whose exit the helper waits for.
            parent.start (juce::StringArray { "/bin/sh", "-c", "echo $$ > \"$QT_MARKS/parent\"; exec sleep 60" }, 0);
            // The shell makes the file before it writes the number, and a
            // zero read too early would send the kill below to our whole
            // process group (ctest with it).
            const auto readPid = [this] { return marks.getChildFile ("parent").loadFileAsString().trim().getIntValue(); };
            waitUntil ([&readPid] { return readPid() > 0; });
            parentPid = readPid();
        }

        // The stand-in managers sleep after starting; they go with the scene.
        ~Scene()
        {
            ::system (("pkill -f -- '" + folder.getFullPathName() + "' >/dev/null 2>&1").toRawUTF8());
        }

        void startHelper (bool arm)
        {
            if (arm)
                work.getChildFile ("armed").replaceWithText ("apply");

            helper.start (UpdateHelper::posixArguments (script, parentPid, target, staged, work, "linux"), 0);
            ASSERT_TRUE (waitUntil ([this] { return work.getChildFile ("ready").existsAsFile(); }));
            ASSERT_GT (parentPid, 0);
            // The manager quits (and is reaped: a zombie would still answer the probe).
            ::kill (parentPid, SIGKILL);
            parent.waitForProcessToFinish (2000);
        }

        juce::String at (const juce::File& f) const { return f.existsAsFile() ? f.loadFileAsString() : juce::String ("nothing"); }
        bool isOld (const juce::File& f) const      { return at (f).contains ("# old"); }
        bool isNew (const juce::File& f) const      { return at (f).contains ("# new"); }
        bool marked (const char* name) const        { return marks.getChildFile (name).exists(); }

        TempFolder home;
        juce::File folder = home.folder.getChildFile ("Manager App");
        juce::File marks = home.folder.getChildFile ("marks");
        juce::File target = folder.getChildFile ("Quillotone Plugin Manager");
        juce::File work = folder.getChildFile (juce::String (UpdateTransaction::folderPrefix) + "0123456789abcdef0123456789abcdef");
        juce::File staged = work.getChildFile ("Quillotone Plugin Manager.AppImage");
        juce::File script = work.getChildFile ("apply-update.sh");
        juce::ChildProcess parent, helper;
        int parentPid = 0;
    };
}

TEST (ShellHelper, SwapsCancelsAndRollsBack)
{
    {
        SCOPED_TRACE ("the new version comes up");
        Scene scene;
        scene.startHelper (true);
        ASSERT_TRUE (scene.helper.waitForProcessToFinish (20000));
        EXPECT_EQ (scene.helper.getExitCode(), 0u);
        EXPECT_TRUE (scene.isNew (scene.target));
        EXPECT_FALSE (scene.work.exists());
    }
    {
        SCOPED_TRACE ("cancelled before it was armed");
        Scene scene;
        scene.startHelper (false);
        ASSERT_TRUE (scene.helper.waitForProcessToFinish (20000));
        EXPECT_EQ (scene.helper.getExitCode(), 0u);
        EXPECT_TRUE (scene.isOld (scene.target));
        EXPECT_TRUE (scene.isNew (scene.staged));
        EXPECT_FALSE (scene.work.getChildFile ("previous").exists());
        EXPECT_FALSE (scene.marked ("old-started") || scene.marked ("new-started"));
    }
    {
        SCOPED_TRACE ("the new version exits at once");
        Scene scene (false);
        scene.startHelper (true);
        ASSERT_TRUE (scene.helper.waitForProcessToFinish (20000));
        EXPECT_EQ (scene.helper.getExitCode(), 1u);
        EXPECT_TRUE (scene.isOld (scene.target));
        EXPECT_TRUE (scene.isNew (scene.work.getChildFile ("failed")));
        EXPECT_EQ (scene.work.getChildFile ("error").loadFileAsString().trim(),
                   "The update did not start successfully; the previous manager was restored.");
        EXPECT_TRUE (waitUntil ([&] { return scene.marked ("old-started"); }));
    }
}

TEST (ShellHelper, AKillAfterAnyStepLeavesARunnableManager)
{
    // ln or mv, once done, can hold the helper until the test has killed
    // it, so the kill lands right after that step.
    TempFolder tools;
    for (auto* command : { "ln", "mv" })
        executable (tools.folder.getChildFile (command),
                    juce::String ("#!/bin/sh\n/bin/") + command + " \"$@\" || exit $?\n"
                    "touch \"$QT_MARKS/did-" + command + "\"\n"
                    "[ -e \"$QT_MARKS/stop-after-" + command + "\" ] || exit 0\n"
                    "while kill -0 $PPID 2>/dev/null; do sleep 0.05; done\n");

    const auto path = juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/bin:/bin");
    ::setenv ("PATH", (tools.folder.getFullPathName() + ":" + path).toRawUTF8(), 1);

    struct Case { const char* step; const char* stopAfter; const char* mark; bool targetIsNew; };
    const Case cases[] = {
        { "previous version linked", "stop-after-ln", "did-ln",      false },
        { "staged version moved",    "stop-after-mv", "did-mv",      true },
        { "new version relaunched",  "",              "new-started", true },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.step);
        Scene scene;
        scene.marks.getChildFile ("hold").create();

        if (*c.stopAfter != 0)
            scene.marks.getChildFile (c.stopAfter).create();

        scene.startHelper (true);
        ASSERT_TRUE (waitUntil ([&] { return scene.marked (c.mark); }, 10000));
        scene.helper.kill();
        scene.marks.getChildFile ("hold").deleteFile();

        // At the target: a whole manager, old or new, at every kill.
        EXPECT_EQ (scene.isNew (scene.target), c.targetIsNew);
        EXPECT_TRUE (scene.isOld (scene.target) || scene.isNew (scene.target));
        EXPECT_TRUE (scene.isOld (scene.work.getChildFile ("previous")));

        // The next start of whichever is there: the new one says it is healthy,
        // the old one does not, and neither has a failure to show.
        const auto findings = UpdateTransaction::scan (scene.target, c.targetIsNew ? "1.2.1" : "1.2.0");
        EXPECT_TRUE (findings.errors.isEmpty());
        EXPECT_EQ (findings.healthyWritten, c.targetIsNew ? 1 : 0);
    }

    ::setenv ("PATH", path.toRawUTF8(), 1);
}
