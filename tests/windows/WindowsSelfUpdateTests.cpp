// The manager's own update in the Windows build, against the stand-in that
// scripts/test-windows starts (announcing a newer manager): the signed
// check, the payload ZIP staged through WinINet and handed over, and a link
// as the executable.
#include "WindowsTestSupport.h"

#include "platform/HttpTransfer.h"
#include "platform/Platform.h"
#include "selfupdate/SelfUpdateJob.h"
#include "selfupdate/UpdateHelper.h"
#include "selfupdate/UpdateTransaction.h"

using windows_testing::TempFolder;
using Messages = SelfUpdateJob::Messages;
using WindowsSelfUpdate = windows_testing::WineAwareTest;

namespace
{
    const juce::String origin = windows_testing::standInOrigin();
    const juce::String payloadPath = "/plugin-manager/1.3.0/QuillotonePluginManager-1.3.0-windows-update.zip";

    SelfUpdateJob::Settings settingsFor (const juce::File& executable)
    {
        auto s = SelfUpdateJob::Settings::forThisBuild();
        s.executable = executable;
        s.publicKey = windows_testing::buildFile (QUILLOTONE_STANDIN_PUBLIC_KEY).loadFileAsString().trim();
        return s;
    }

    juce::String runUpdate (SelfUpdateJob& job, const UpdateInfo& update)
    {
        std::atomic<double> progress { 0.0 };

        try { job.runUpdate (update, progress); }
        catch (const std::runtime_error& e) { return e.what(); }

        return "handed over";
    }
}

#define REQUIRE_WINDOWS_STANDIN() \
    if (! windows_testing::standInAnswers()) GTEST_SKIP() << "no stand-in started by scripts/test-windows"

TEST_F (WindowsSelfUpdate, SignedCheckThenTheArchiveIsStaged)
{
    REQUIRE_WINDOWS_STANDIN();
    TempFolder install;
    const auto exe = install.folder.getChildFile ("Quillotone Plugin Manager.exe");
    ASSERT_TRUE (exe.replaceWithText ("the running manager"));
    SelfUpdateJob job (settingsFor (exe));

    for (auto fault : { R"({"status": 404})", R"({"flip": 100})" })
    {
        windows_testing::setStandInFault ("/plugin-manager/latest.json.sig", fault);
        EXPECT_TRUE (job.check().isEmpty()) << fault;
    }

    windows_testing::setStandInFault ("/plugin-manager/latest.json.sig", "null");
    const auto update = job.check();
    ASSERT_EQ (update.version, "1.3.0");
    EXPECT_EQ (update.url, origin + payloadPath);

    // Staged and handed over: Wine's PowerShell is a stub that runs no script,
    // so the helper never says "ready" and the manager keeps running.
    EXPECT_EQ (runUpdate (job, update), Messages::helperNotReady);
    const auto staging = job.getStagingFolder();
    EXPECT_EQ (staging.getParentDirectory(), install.folder);
    EXPECT_EQ (job.getStagedExecutable(), staging.getChildFile ("Quillotone Plugin Manager.exe"));
    EXPECT_TRUE (job.getStagedExecutable().loadFileAsString().startsWith ("MZ"));
    EXPECT_EQ (UpdateTransaction::read (staging).target, exe.getFullPathName());

    juce::MemoryBlock helper;
    ASSERT_TRUE (staging.getChildFile ("apply-update.ps1").loadFileAsData (helper));
    EXPECT_TRUE (helper == UpdateHelper::script ("windows"));
    EXPECT_FALSE (staging.getChildFile ("armed").exists());
}

TEST_F (WindowsSelfUpdate, ALinkedExecutableIsNeverReplaced)
{
    // A link to a folder the host made: Wine shows it as a reparse point (a
    // link to a file it does not), and the rule does not care what it names.
    const auto link = windows_testing::buildFile (QUILLOTONE_HOST_LINK_FIXTURES).getChildFile ("first");
    ASSERT_TRUE (platform::isLink (link));
    SelfUpdateJob job (settingsFor (link));
    EXPECT_EQ (runUpdate (job, { "1.3.0", origin + payloadPath, juce::String::repeatedString ("0", 64), 10 }),
               Messages::notReplaceable);
    EXPECT_EQ (job.getStagingFolder(), juce::File());
}
