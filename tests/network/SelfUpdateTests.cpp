// The manager's own update against the stand-in: the check with and without
// a signature, the download against broken and slow servers, the install
// location, and the updater's schedule, offer and dialogs.
#include <gtest/gtest.h>

#include "selfupdate/ManagerSelfUpdater.h"
#include "selfupdate/UpdatePayload.h"
#include "support/StandIn.h"
#include "support/TestHelpers.h"
#include "ui/MainComponent.h"

#include <sys/wait.h>
#include <unistd.h>

using testing_support::StandIn;
using testing_support::TempFolder;
using testing_support::waitUntil;
using Messages = SelfUpdateJob::Messages;

namespace
{
    const juce::String manifestPath = "/plugin-manager/latest.json";
    const juce::String payloadPath = "/plugin-manager/1.3.0/QuillotonePluginManager-1.3.0-linux-update.AppImage";

    juce::String standInKey()   { return juce::File (QUILLOTONE_STANDIN_PUBLIC_KEY).loadFileAsString().trim(); }

    /** The offered manifest's text, with its version changed and padded to a size. */
    juce::String offerText (const juce::String& version = "1.3.0", int size = 0)
    {
        auto text = StandIn::contentFolder().getChildFile ("plugin-manager/offer/latest.json").loadFileAsString()
                        .replace ("1.3.0", version).trimEnd().dropLastCharacters (1);
        return text + juce::String::repeatedString (" ", juce::jmax (0, size - text.length() - 1)) + "}";
    }

    juce::String bodyFault (const juce::String& text)  { return "{\"body\": " + juce::JSON::toString (text) + "}"; }

    /** A manager "installed" in a folder of its own. */
    struct Install
    {
        Install()   { exe.replaceWithText ("the running manager"); }

        /** Without a key: a development build, which takes unsigned manifests. */
        SelfUpdateJob::Settings settings (const juce::String& key = {}, bool developmentBuild = true) const
        {
            auto s = SelfUpdateJob::Settings::forThisBuild();
            s.executable = exe;
            s.publicKey = key;
            s.unsignedManifests = key.isEmpty() && developmentBuild;

            // A stand-in for the helper: as the real one does first, it says
            // it is ready (the real one is run by the end-to-end tests).
            s.startHelper = [] (const juce::String&, const juce::File&, const juce::File&, const juce::File& staging, const juce::String&)
            {
                staging.getChildFile ("ready").replaceWithText ("ready");
            };
            return s;
        }

        int stagingFolders() const
        {
            return folder.folder.getNumberOfChildFiles (juce::File::findDirectories, ".quillotone-manager-update-*");
        }

        TempFolder folder;
        juce::File exe = folder.folder.getChildFile ("Quillotone Plugin Manager");
    };

    juce::String runUpdate (SelfUpdateJob& job, const UpdateInfo& update)
    {
        std::atomic<double> progress { 0.0 };

        try
        {
            job.runUpdate (update, progress);
            return "handed over";
        }
        catch (const std::runtime_error& e)
        {
            return e.what();
        }
    }

    /** An updater over a window of its own, as the main component has it. */
    struct Host
    {
        explicit Host (const SelfUpdateJob::Settings& settings)
        {
            content.setSize (900, 700);
            window.setContentNonOwned (&content, true);
            updater = std::make_unique<ManagerSelfUpdater> (content, [this] { return busy; }, settings);
        }

        VortelDialog* dialog()
        {
            for (auto* child : content.getChildren())
                if (auto* d = dynamic_cast<VortelDialog*> (child); d != nullptr && d->isOpen())
                    return d;

            return nullptr;
        }

        bool answer (int keyCode)
        {
            auto* d = dialog();
            return d != nullptr && d->keyPressed (juce::KeyPress (keyCode));
        }

        bool checkNow()
        {
            updater->setNextCheckTimeMs (0);
            return waitUntil ([this] { return updater->getState() == ManagerSelfUpdater::checking; })
                && waitUntil ([this] { return updater->getState() != ManagerSelfUpdater::checking; });
        }

        juce::Component content;
        juce::DocumentWindow window { "Host", juce::Colours::black, 0, false };
        bool busy = false;
        std::unique_ptr<ManagerSelfUpdater> updater;
    };

    juce::int64 fromNow (juce::int64 ms)   { return juce::Time::currentTimeMillis() + ms; }
}

//==============================================================================
TEST (SelfUpdate, TheCheckOffersOnlyASoundNewerManifest)
{
    Install install;
    {
        StandIn server;
        REQUIRE_STANDIN (server);
        EXPECT_TRUE (SelfUpdateJob (install.settings()).check().isEmpty()) << "the demo announces this build's own version";
    }

    StandIn server ({}, true);
    REQUIRE_STANDIN (server);
    platform::HttpTransfer::setDefaultStallTimeoutMs (1000);

    const auto payload = StandIn::contentFolder().getChildFile (payloadPath.substring (1));
    const auto offer = SelfUpdateJob (install.settings()).check();
    EXPECT_EQ (offer.version, "1.3.0");
    EXPECT_EQ (offer.url, StandIn::origin() + payloadPath);
    EXPECT_EQ (offer.size, payload.getSize());
    EXPECT_EQ (offer.sha256, UpdatePayload::fileSha256 (payload));

    struct Case { const char* what; juce::String manifestFault, signatureFault, key; bool offered; bool developmentBuild = true; };
    const Case cases[] = {
        { "65536 bytes",             bodyFault (offerText ("1.3.0", 65536)), "null", {}, true },
        { "65537 bytes",             bodyFault (offerText ("1.3.0", 65537)), "null", {}, false },
        { "a redirect",              R"({"status": 302, "location": "/plugin-manager/offer/latest.json"})", "null", {}, false },
        { "not found",               R"({"status": 404})",   "null", {}, false },
        { "cut short",               R"({"truncate": true})", "null", {}, false },
        { "a stalled answer",        R"({"stall": 3000})",    "null", {}, false },
        { "no server",               R"({"refuse": true})",   "null", {}, false },
        { "signed, key built in",    "null", "null",                 standInKey(), true },
        { "a missing signature",     "null", R"({"status": 404})",   standInKey(), false },
        { "a bad signature",         "null", R"({"flip": 100})",     standInKey(), false },
        { "a rewritten manifest",    bodyFault (offerText ("1.4.0")), "null", standInKey(), false },
        { "another key",             "null", "null", standInKey().replace ("10001,", "10003,"), false },
        { "no key, no signature",    "null", R"({"status": 404})",   {}, true },
        { "no key in a release build", "null", "null",               {}, false, false },
    };

    for (auto& c : cases)
    {
        server.setFault (manifestPath, c.manifestFault);
        server.setFault (manifestPath + ".sig", c.signatureFault);
        EXPECT_EQ (! SelfUpdateJob (install.settings (c.key, c.developmentBuild)).check().isEmpty(), c.offered) << c.what;
    }

    // An answer that keeps trickling in is bounded by the check's own limit.
    platform::HttpTransfer::setDefaultStallTimeoutMs (30000);
    server.setFault (manifestPath, R"({"stall": 5000})");
    auto settings = install.settings();
    settings.checkTimeLimitMs = 500;
    const auto start = juce::Time::getMillisecondCounterHiRes();
    EXPECT_TRUE (SelfUpdateJob (settings).check().isEmpty());
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 2000.0);
}

TEST (SelfUpdate, EachDownloadFailureHasItsMessage)
{
    StandIn server ({}, true);
    REQUIRE_STANDIN (server);
    platform::HttpTransfer::setDefaultStallTimeoutMs (1000);

    struct Case { const char* what; juce::String fault; int timeLimitMs; juce::String message; };
    const Case cases[] = {
        { "as published",              "null",                      60000, "handed over" },
        { "a short body",              R"({"truncate": true})",     60000, Messages::interrupted },
        { "a long body",               R"({"pad": 100})",           60000, Messages::unexpectedSize },
        { "the right size, wrong bytes", R"({"flip": 150})",        60000, Messages::integrity },
        { "a redirect",                R"({"status": 302, "location": "/plugin-manager/1.2.0/x"})", 60000, Messages::notDownloaded },
        { "not found",                 R"({"status": 404})",        60000, Messages::notDownloaded },
        { "no server",                 R"({"refuse": true})",       60000, Messages::notDownloaded },
        { "a stall",                   R"({"stall": 4000})",        60000, Messages::interrupted },
        { "too slow overall",          R"({"stall": 4000})",        500,   Messages::timedOut },
    };

    for (auto& c : cases)
    {
        Install install;
        auto settings = install.settings();
        settings.downloadTimeLimitMs = c.timeLimitMs;
        SelfUpdateJob job (settings);
        const auto update = job.check();
        ASSERT_FALSE (update.isEmpty());

        server.setFault (payloadPath, c.fault);
        EXPECT_EQ (runUpdate (job, update), c.message) << c.what;
        EXPECT_TRUE (job.getStagingFolder().isAChildOf (install.folder.folder)) << c.what;

        if (c.message == "handed over")
        {
            EXPECT_TRUE (UpdatePayload::checkStagedExecutable (job.getStagedExecutable(), update));
            EXPECT_TRUE (job.getStagingFolder().getChildFile ("armed").existsAsFile());
        }
    }

    platform::HttpTransfer::setDefaultStallTimeoutMs (30000);
}

TEST (SelfUpdate, NoUpdateRequestFollowsARedirect)
{
    StandIn server ({}, true);
    REQUIRE_STANDIN (server);

    // Each answers once with a redirect to itself, so one hop more than the
    // none allowed would find the genuine file.
    const auto once = [] (const juce::String& path)
    {
        return R"({"status": 302, "count": 1, "location": ")" + StandIn::origin() + path + "\"}";
    };

    for (const auto& path : { manifestPath, manifestPath + ".sig", payloadPath })
    {
        Install install;
        SelfUpdateJob job (install.settings (standInKey()));
        const auto update = job.check();
        ASSERT_FALSE (update.isEmpty());

        server.setFault (path, once (path));

        if (path == payloadPath)
            EXPECT_EQ (runUpdate (job, update), Messages::notDownloaded);
        else
            EXPECT_TRUE (job.check().isEmpty()) << path;

        server.clearFaults();
    }
}

TEST (SelfUpdate, AnInstallLocationThatCannotBeReplacedIsRefusedFirst)
{
    const UpdateInfo update { "1.3.0", "http://127.0.0.1:1/unused", juce::String::repeatedString ("0", 64), 10 };

    Install target, linked;
    const auto link = linked.folder.folder.getChildFile ("Quillotone Plugin Manager");
    ASSERT_TRUE (link.deleteFile() && target.exe.createSymbolicLink (link, true));

    for (const auto& exe : { link, target.folder.folder.getChildFile ("missing") })
    {
        auto settings = target.settings();
        settings.executable = exe;
        SelfUpdateJob job (settings);
        EXPECT_EQ (runUpdate (job, update), Messages::notReplaceable) << exe.getFullPathName();
    }

    // A folder without write access; root may write anywhere, so the job
    // runs as nobody in a child process then.
    Install readOnly;
    SelfUpdateJob job (readOnly.settings());
    const auto refused = [&job, &update] { return runUpdate (job, update) == Messages::notReplaceable; };

    if (::geteuid() == 0)
    {
        const auto child = ::fork();
        ASSERT_GE (child, 0);

        if (child == 0)
            ::_exit (::setgid (65534) == 0 && ::setuid (65534) == 0 && refused() ? 0 : 1);

        int status = -1;
        ASSERT_EQ (::waitpid (child, &status, 0), child);
        EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 0);
    }
    else
    {
        ASSERT_TRUE (readOnly.folder.folder.setReadOnly (true));
        EXPECT_TRUE (refused());
        readOnly.folder.folder.setReadOnly (false);
    }

    for (auto* install : { &target, &linked, &readOnly })
        EXPECT_EQ (install->stagingFolders(), 0);
}

//==============================================================================
TEST (SelfUpdate, ScheduleOfferAndAnUpdateTheHelperRefuses)
{
    StandIn server ({}, true);
    REQUIRE_STANDIN (server);
    Install install;

    // The helper turns the update down before it gets ready.
    auto settings = install.settings();
    settings.startHelper = [] (const juce::String&, const juce::File&, const juce::File&, const juce::File& staging, const juce::String&)
    {
        staging.getChildFile ("error").replaceWithText ("The update executable has the wrong version.");
    };

    Host host (settings);
    auto& updater = *host.updater;

    // The first call after 3 s starts the first check; the rest come every 250 ms.
    EXPECT_EQ (updater.getTimerInterval(), 3000);
    host.busy = true;
    updater.timerCallback();
    EXPECT_EQ (updater.getTimerInterval(), 250);
    EXPECT_EQ (updater.getState(), ManagerSelfUpdater::checking);
    EXPECT_NEAR ((double) updater.getNextCheckTimeMs(), (double) fromNow (6 * 3600 * 1000), 5000.0);

    // The offer waits while the manager is busy, and while another dialog is up.
    ASSERT_TRUE (waitUntil ([&] { return updater.getState() == ManagerSelfUpdater::updateAvailable; }));
    auto other = VortelDialog::showMessage (&host.content, "Sync", "Busy elsewhere.", VortelDialog::alert);
    host.busy = false;
    juce::MessageManager::getInstance()->runDispatchLoopUntil (600);
    EXPECT_EQ (host.dialog(), other.getComponent());
    other->dismiss();

    ASSERT_TRUE (waitUntil ([&] { return host.dialog() != nullptr; }));
    EXPECT_EQ (host.dialog()->getMessage(), "Plugin Manager 1.3.0 is available. Update now?\n\nThe manager will download the update, "
                                            "close, and reopen automatically. Your plugins and settings will be kept.");
    EXPECT_EQ (host.dialog()->getKind(), (int) VortelDialog::confirm);

    // Accepted while the manager has become busy: it comes back when idle.
    host.busy = true;
    ASSERT_TRUE (host.answer (juce::KeyPress::returnKey));
    ASSERT_TRUE (waitUntil ([&] { return updater.getState() == ManagerSelfUpdater::updateAvailable && host.dialog() == nullptr; }));
    juce::MessageManager::getInstance()->runDispatchLoopUntil (600);
    EXPECT_EQ (host.dialog(), nullptr);
    host.busy = false;
    ASSERT_TRUE (waitUntil ([&] { return host.dialog() != nullptr; }));

    // Accepted: the progress dialog, then exactly one failure, the helper's.
    ASSERT_TRUE (host.answer (juce::KeyPress::returnKey));
    ASSERT_TRUE (waitUntil ([&] { return updater.getProgressDialog() != nullptr; }));
    EXPECT_EQ (updater.getProgressDialog()->getKind(), (int) VortelDialog::progress);
    ASSERT_TRUE (waitUntil ([&] { return updater.getState() == ManagerSelfUpdater::idle && host.dialog() != nullptr; }, 10000));
    EXPECT_EQ (host.dialog()->getMessage(), "The update executable has the wrong version.");
    EXPECT_EQ (VortelDialog::getNumOpen(), 1);
    EXPECT_EQ (install.stagingFolders(), 0);
    EXPECT_EQ (updater.getLastOfferedVersion(), "");
    EXPECT_NEAR ((double) updater.getNextCheckTimeMs(), (double) fromNow (3600 * 1000), 5000.0);
    host.dialog()->dismiss();

    // After a failure the same version is offered again; once declined, never
    // again in this run; a higher one is.
    ASSERT_TRUE (host.checkNow());
    ASSERT_TRUE (waitUntil ([&] { return host.dialog() != nullptr; }));
    ASSERT_TRUE (host.answer (juce::KeyPress::escapeKey));
    ASSERT_TRUE (host.checkNow());
    juce::MessageManager::getInstance()->runDispatchLoopUntil (600);
    EXPECT_EQ (host.dialog(), nullptr);

    server.setFault (manifestPath, bodyFault (offerText ("1.4.0")));
    ASSERT_TRUE (host.checkNow());
    ASSERT_TRUE (waitUntil ([&] { return host.dialog() != nullptr; }));
    EXPECT_TRUE (host.dialog()->getMessage().startsWith ("Plugin Manager 1.4.0 is available."));
}

TEST (SelfUpdate, CancellingASlowDownloadShowsNothingAndLeavesNothing)
{
    StandIn server ({}, true);
    REQUIRE_STANDIN (server);
    server.setFault (payloadPath, R"({"stall": 20000})");
    Install install;
    Host host (install.settings());

    host.updater->timerCallback();
    ASSERT_TRUE (waitUntil ([&] { return host.dialog() != nullptr; }));
    ASSERT_TRUE (host.answer (juce::KeyPress::returnKey));

    // Half the payload arrives, then nothing.
    ASSERT_TRUE (waitUntil ([&] { auto* d = host.updater->getProgressDialog();
                                  return d != nullptr && d->getMessage() == ManagerSelfUpdater::progressText (0.5); }));
    const auto stagingFolder = host.updater->getJob().getStagingFolder();
    EXPECT_TRUE (stagingFolder.isDirectory());

    const auto cancelled = juce::Time::getMillisecondCounterHiRes();
    ASSERT_TRUE (host.answer (juce::KeyPress::escapeKey));
    ASSERT_TRUE (waitUntil ([&] { return host.updater->getState() == ManagerSelfUpdater::idle; }));
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - cancelled, 2000.0);

    juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
    EXPECT_EQ (VortelDialog::getNumOpen(), 0);
    EXPECT_FALSE (stagingFolder.exists());
    EXPECT_EQ (install.stagingFolders(), 0);
}

TEST (SelfUpdate, TheMainComponentOwnsTheUpdaterAndClosingStopsItAtOnce)
{
    StandIn server ({}, true);
    REQUIRE_STANDIN (server);
    server.setFault (manifestPath, R"({"delay": 20000})");
    testing_support::ScopedHome home;
    auto main = std::make_unique<MainComponent>();
    auto* updater = main->getSelfUpdater();
    ASSERT_NE (updater, nullptr);

    updater->timerCallback();
    ASSERT_TRUE (updater->isWorking());
    juce::Thread::sleep (300);

    const auto start = juce::Time::getMillisecondCounterHiRes();
    main.reset();
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 2000.0);
}

TEST (SelfUpdate, AHandedOverUpdateKeepsItsFolderAndClosesTheProgress)
{
    StandIn server ({}, true);
    REQUIRE_STANDIN (server);
    Install install;
    Host host (install.settings());
    auto& updater = *host.updater;

    ASSERT_TRUE (host.checkNow());
    ASSERT_TRUE (waitUntil ([&] { return host.dialog() != nullptr; }));
    ASSERT_TRUE (host.answer (juce::KeyPress::returnKey));
    ASSERT_TRUE (waitUntil ([&] { return updater.hasHandedOver() && updater.getProgressDialog() == nullptr; }, 10000));

    // The helper has it now: armed, with the transaction naming this executable.
    EXPECT_EQ (host.dialog(), nullptr);
    ASSERT_EQ (install.stagingFolders(), 1);
    const auto staging = install.folder.folder.findChildFiles (juce::File::findDirectories, false, ".quillotone-manager-update-*")[0];
    EXPECT_EQ (staging.getChildFile ("armed").loadFileAsString(), "apply");
    const auto transaction = juce::JSON::parse (staging.getChildFile ("transaction.json"));
    EXPECT_EQ (transaction["target"].toString(), install.exe.getFullPathName());
    EXPECT_EQ (transaction["version"].toString(), "1.3.0");

    // Even when the updater goes (the manager quits), the folder stays for the helper.
    host.updater.reset();
    EXPECT_TRUE (staging.isDirectory());
}
