// Every network step against a slow, broken, redirecting or oversized answer:
// each fails with its own message, and a stop or a window close during it
// ends the worker at once.
#include <gtest/gtest.h>

#include "account/CatalogueSync.h"
#include "account/LoginWindow.h"
#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "products/ExtractionTool.h"
#include "products/Product.h"
#include "products/ThumbnailImage.h"
#include "support/StandIn.h"
#include "support/TestHelpers.h"
#include "ui/MainComponent.h"
#include "ui/VortelDialog.h"

using testing_support::ScopedHome;
using testing_support::StandIn;
using testing_support::waitUntil;

namespace
{
    constexpr int stallLimitMs = 1000;   // what the transfers wait for a silent server here
    constexpr int silenceMs = 2500;      // how long the faulty server keeps silent

    juce::String pathOf (const juce::String& url)     { return "/" + juce::URL (url).getSubPath(); }
    juce::String elsewhere (const juce::String& path) { return "http://localhost:" + juce::String (StandIn::port()) + path; }

    /** The fault switches the stand-in understands, one row per kind of trouble. */
    struct Fault
    {
        const char* what;
        juce::String json;
    };

    std::vector<Fault> faultsFor (const juce::String& path, const juce::String& oversize)
    {
        return {
            { "headers delayed",         "{\"delay\": " + juce::String (silenceMs) + "}" },
            { "body stalled",            "{\"stall\": " + juce::String (silenceMs) + "}" },
            { "body truncated",          "{\"truncate\": true}" },
            { "302 to another origin",   "{\"status\": 302, \"count\": 1, \"location\": \"" + elsewhere (path) + "\"}" },
            { "307 to another origin",   "{\"status\": 307, \"count\": 1, \"location\": \"" + elsewhere (path) + "\"}" },
            { "oversized",               oversize },
        };
    }

    struct Environment
    {
        Environment()    { platform::HttpTransfer::setDefaultStallTimeoutMs (stallLimitMs); }
        ~Environment()   { platform::HttpTransfer::setDefaultStallTimeoutMs (30000); }

        ScopedHome home;
    };

    CatalogueSync::Result runSync (std::function<bool()> stop = [] { return false; })
    {
        MakerFolders folders;
        CatalogueSync job (folders);
        return job.run ("demo@quillotone.test", "quillotone", std::move (stop));
    }

    /** A product whose installer link points at the stand-in. */
    struct Row
    {
        Row()
            : product ([] {
                  ProductRecord r;
                  r.name = "Big Room Verb";
                  r.latestVersion = "1.2.0";
                  r.downloadURLWindows = StandIn::origin() + "/installers/BigRoomVerb.zip";
                  return r;
              }())
        {
            product.settings.installFlag[PluginFormat::VST3] = [] { return true; };
        }

        VortelDialog* dialog()
        {
            for (auto* child : product.getChildren())
                if (auto* d = dynamic_cast<VortelDialog*> (child))
                    return d;

            return nullptr;
        }

        juce::String downloadOutcome()
        {
            if (! product.startInstall() || ! waitUntil ([this] { return ! product.installBusy; }, 20000))
                return "not run";

            auto* d = dialog();
            auto text = d != nullptr ? d->getTitle() + ": " + d->getMessage() : juce::String ("no dialog");

            if (d != nullptr)
                d->dismiss();

            return text;
        }

        Product product;
    };

    double millisecondsSince (double start)    { return juce::Time::getMillisecondCounterHiRes() - start; }
}

//==============================================================================
TEST (NetworkFaults, LoginFailsWithItsMessage)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Environment env;
    const auto path = pathOf (ServiceTexts::loginURL());
    const auto noConnection = ServiceTexts::loginConnectionFailedMessage();
    const juce::String expected[] = { noConnection, noConnection, noConnection, noConnection, noConnection,
                                      "The server returned an invalid response." };

    auto faults = faultsFor (path, "{\"pad\": 70000}");

    for (size_t i = 0; i < faults.size(); ++i)
    {
        server.setFault (path, faults[i].json);
        auto answer = ServiceRequest::send (ServiceRequest::build (ServiceTexts::loginURL(), "demo@quillotone.test", "quillotone", "0"),
                                            ServiceRequest::maxLoginAnswerBytes);
        EXPECT_EQ (ServiceRequest::interpretLogin (answer).errorText, expected[i]) << faults[i].what;
        server.clearFaults();
    }

    // A redirect on the same origin is followed, and 307 repeats the form.
    server.setFault (path, "{\"status\": 307, \"location\": \"" + path + "\", \"count\": 1}");
    auto answer = ServiceRequest::send (ServiceRequest::build (ServiceTexts::loginURL(), "demo@quillotone.test", "quillotone", "0"),
                                        ServiceRequest::maxLoginAnswerBytes);
    EXPECT_TRUE (ServiceRequest::interpretLogin (answer).result.startsWith ("OK"));
}

TEST (NetworkFaults, CatalogueFailsWithItsMessageAndCommitsNothing)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Environment env;
    const auto path = pathOf (ServiceTexts::catalogueURL());
    const auto noConnection = ServiceTexts::syncConnectionFailedMessage();
    const juce::String expected[] = { noConnection, noConnection, noConnection, noConnection, noConnection,
                                      "The server returned an invalid response." };

    auto faults = faultsFor (path, "{\"pad\": " + juce::String (ServiceRequest::maxCatalogueAnswerBytes + 1) + "}");

    for (size_t i = 0; i < faults.size(); ++i)
    {
        server.setFault (path, faults[i].json);
        auto result = runSync();
        EXPECT_EQ (result.error, expected[i]) << faults[i].what;
        EXPECT_EQ (result.document, nullptr) << faults[i].what;
        server.clearFaults();
    }
}

TEST (NetworkFaults, DownloadsFailWithTheirMessages)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Environment env;
    const auto toolPath = pathOf (ServiceTexts::extractionToolURL());
    const auto thumbnailPath = juce::String ("/thumbnails/big-room-verb.png");
    const auto installerPath = juce::String ("/installers/BigRoomVerb.zip");
    const juce::String toolFailed = "Could not verify the Windows installer extraction tool.";
    const juce::String downloadFailed = "Download error: The download for Big Room Verb did not complete successfully.";

    // Downloads may follow a redirect to another origin (content servers
    // hand files to others); only the service requests must not.
    const bool followed[] = { false, false, false, true, true, false };

    auto toolFaults = faultsFor (toolPath, "{\"pad\": " + juce::String (ExtractionTool::maxToolBytes) + "}");
    auto thumbnailFaults = faultsFor (thumbnailPath, "{\"pad\": " + juce::String (ThumbnailImage::maxFileBytes) + "}");
    auto installerFaults = faultsFor (installerPath, "{\"claim\": " + juce::String (Downloader::defaultMaxBytes + 1) + "}");

    for (size_t i = 0; i < toolFaults.size(); ++i)
    {
        SCOPED_TRACE (toolFaults[i].what);

        {
            MakerFolders folders;
            CatalogueSync (folders).extractionToolFile().deleteFile();
        }

        server.setFault (toolPath, toolFaults[i].json);
        EXPECT_EQ (runSync().error, followed[i] ? juce::String() : toolFailed);
        server.clearFaults();

        MakerFolders folders;
        folders.cacheFolder ("/Thumbnails").deleteRecursively();
        server.setFault (thumbnailPath, thumbnailFaults[i].json);
        auto result = runSync();
        EXPECT_EQ (result.error, "");
        ASSERT_EQ (result.products[0].name, "Big Room Verb");
        EXPECT_EQ (juce::File (result.products[0].thumbnailFile).existsAsFile(), followed[i]);
        EXPECT_TRUE (juce::File (result.products[1].thumbnailFile).existsAsFile());
        server.clearFaults();

        if (! followed[i])
        {
            server.setFault (installerPath, installerFaults[i].json);
            Row row;
            EXPECT_EQ (row.downloadOutcome(), downloadFailed);
            EXPECT_FALSE (juce::File (row.product.installerFile).exists());
            server.clearFaults();
        }
    }
}

//==============================================================================
TEST (NetworkFaults, StopsEndEveryWorkerAtOnce)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Environment env;
    platform::HttpTransfer::setDefaultStallTimeoutMs (60000);
    server.setFault ("*", "{\"delay\": 20000}");

    // The login thread, waiting for the answer's headers.
    {
        LoginWindow login;
        login.setSize (900, 670);
        login.getEmailField().setText ("demo@quillotone.test", false);
        login.getPasswordField().setText ("quillotone", false);
        login.buttonClicked (&login.getLoginButton());
        ASSERT_TRUE (waitUntil ([&] { return login.isLoginRunning(); }));
        juce::Thread::sleep (300);

        auto started = juce::Time::getMillisecondCounterHiRes();
        login.stopLogin (10000);
        EXPECT_FALSE (login.isLoginRunning());
        EXPECT_LT (millisecondsSince (started), 500.0);
    }

    // The sync thread, on the catalogue request and then on a thumbnail:
    // closing the window (deleting the main component) does not wait for them.
    for (auto stalledPath : { pathOf (ServiceTexts::catalogueURL()), juce::String ("/thumbnails/big-room-verb.png") })
    {
        SCOPED_TRACE (stalledPath);
        server.clearFaults();
        server.setFault (stalledPath, "{\"stall\": 20000}");

        auto main = std::make_unique<MainComponent>();
        main->getLoginWindow().getEmailField().setText ("demo@quillotone.test", false);
        main->getLoginWindow().getPasswordField().setText ("quillotone", false);
        main->getLoginWindow().buttonClicked (&main->getLoginWindow().getLoginButton());
        ASSERT_TRUE (waitUntil ([&] { return main->isSyncRunning(); }, 10000));
        juce::Thread::sleep (500);

        auto started = juce::Time::getMillisecondCounterHiRes();
        main.reset();
        EXPECT_LT (millisecondsSince (started), 1000.0);
    }

    // A product's download worker, still connecting.
    server.clearFaults();
    server.setFault ("/installers/BigRoomVerb.zip", "{\"delay\": 20000}");
    Row row;
    ASSERT_TRUE (row.product.startInstall());
    juce::Thread::sleep (300);
    auto started = juce::Time::getMillisecondCounterHiRes();
    row.product.stopInstall();
    EXPECT_LT (millisecondsSince (started), 500.0);
    EXPECT_FALSE (row.product.isDownloadRunning());
    EXPECT_EQ (row.dialog(), nullptr);
}

TEST (NetworkFaults, MessageThreadKeepsBeatingWhileADownloadConnects)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Environment env;
    platform::HttpTransfer::setDefaultStallTimeoutMs (30000);     // still connecting when stopped
    server.setFault ("/installers/BigRoomVerb.zip", "{\"delay\": 3000}");

    Row row;
    double worst = 0, last = juce::Time::getMillisecondCounterHiRes();

    struct Beat final : juce::Timer
    {
        std::function<void()> onBeat;
        void timerCallback() override { onBeat(); }
    } beat;

    beat.onBeat = [&]
    {
        auto now = juce::Time::getMillisecondCounterHiRes();
        worst = juce::jmax (worst, now - last);
        last = now;

        // What the row's own timer does, plus what the user can do meanwhile.
        row.product.getProgressBar().getProgress();
        juce::ignoreUnused (row.product.isDownloadRunning());
    };

    ASSERT_TRUE (row.product.startInstall());
    last = juce::Time::getMillisecondCounterHiRes();
    beat.startTimer (10);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (1500);
    row.product.stopInstall();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
    beat.stopTimer();

    EXPECT_LT (worst, 100.0) << "the message thread stalled for " << worst << " ms";
}
