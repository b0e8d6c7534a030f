// The framework's Windows network code (WinINet under Wine) against the
// stand-in that scripts/test-windows starts: the same answers as on Linux,
// and a stop that lands while it still connects.
#include <gtest/gtest.h>

#include "platform/HttpTransfer.h"
#include "ui/Downloader.h"
#include "WindowsTestSupport.h"

using Transfer = platform::HttpTransfer;
using Outcome = Transfer::Outcome;

namespace
{
    juce::String origin()   { return windows_testing::standInOrigin(); }
}

#define REQUIRE_WINDOWS_STANDIN() \
    if (! windows_testing::standInAnswers()) GTEST_SKIP() << "no stand-in started by scripts/test-windows"

TEST (WindowsNetwork, AnswersAreReadAsOnLinux)
{
    REQUIRE_WINDOWS_STANDIN();

    const juce::String path = "/thumbnails/big-room-verb.png";
    const auto other = "http://localhost:" + juce::String (juce::URL (origin()).getPort()) + path;

    struct Case { juce::String fault; Outcome outcome; int status; int timeoutMs; };
    const Case cases[] = {
        { "null",                                               Outcome::completed,       200, 8000 },
        { R"({"status": 404})",                                 Outcome::completed,       404, 8000 },
        { R"({"truncate": true})",                              Outcome::truncated,       0,   8000 },
        { R"({"pad": 100000})",                                 Outcome::tooLarge,        0,   8000 },
        { R"({"claim": 100000000})",                            Outcome::tooLarge,        0,   8000 },
        { R"({"claim": 5000000000})",                           Outcome::tooLarge,        0,   8000 },   // past 32 bits
        { R"({"refuse": true})",                                Outcome::cannotConnect,   0,   8000 },
        { R"({"status": 302, "count": 1, "location": ")" + path + "\"}", Outcome::completed, 200, 8000 },
        { R"({"status": 307, "count": 1, "location": ")" + other + "\"}", Outcome::refusedRedirect, 307, 8000 },
        { R"({"delay": 4000, "count": 1})",                     Outcome::cannotConnect,   0,   1000 },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.fault);
        windows_testing::setStandInFault (path, c.fault);

        Transfer::Request request;
        request.url = origin() + path;
        request.maxBytes = 60000;
        request.connectTimeoutMs = c.timeoutMs;
        request.stallTimeoutMs = c.timeoutMs;
        juce::MemoryBlock body;
        auto result = Transfer::fetch (request, body);

        EXPECT_EQ ((int) result.outcome, (int) c.outcome);

        if (c.status != 0)
        {
            EXPECT_EQ (result.statusCode, c.status);
        }
    }

    windows_testing::setStandInFault (path, "null");
}

TEST (WindowsNetwork, StopsLandWhileStillConnecting)
{
    REQUIRE_WINDOWS_STANDIN();

    const juce::String path = "/thumbnails/tape-halo.png";
    windows_testing::setStandInFault (path, R"({"delay": 10000})");

    Transfer::Request request;
    request.url = origin() + path;
    auto transfer = Transfer::create (request);
    std::atomic<double> returned { 0 };

    std::thread worker ([&]
    {
        juce::MemoryBlock body;
        juce::MemoryOutputStream sink (body, false);
        transfer->perform (sink);
        returned = juce::Time::getMillisecondCounterHiRes();
    });

    juce::Thread::sleep (500);
    const auto aborted = juce::Time::getMillisecondCounterHiRes();
    transfer->abort();
    worker.join();
    EXPECT_LT (returned - aborted, 500.0);

    // The Downloader on top: starting and cancelling never wait for the server.
    juce::TemporaryFile target;
    Downloader downloader;
    downloader.setURL (juce::URL (origin() + path));

    auto started = juce::Time::getMillisecondCounterHiRes();
    downloader.downloadToFile (target.getFile());
    downloader.getTotalLength();
    downloader.cancel();
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - started, 100.0);
    EXPECT_TRUE (downloader.isTaskFinished());
    EXPECT_FALSE (downloader.wasSuccessful());

    windows_testing::setStandInFault (path, "null");
}
