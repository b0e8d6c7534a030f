// Both transfer backends against the same answers: libcurl (Linux, macOS)
// and the framework's code, which is what Windows runs.
#include <gtest/gtest.h>

#include "platform/HttpTransfer.h"
#include "support/StandIn.h"

using testing_support::StandIn;
using Transfer = platform::HttpTransfer;
using Outcome = Transfer::Outcome;

namespace
{
    const char* backendName (Transfer::Backend b)  { return b == Transfer::Backend::native ? "native" : "framework"; }
}

TEST (HttpTransfer, BothBackendsReadEveryAnswerAlike)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Transfer::setDefaultStallTimeoutMs (1000);

    const auto path = juce::String ("/thumbnails/big-room-verb.png");
    const auto size = StandIn::contentFolder().getChildFile ("thumbnails/big-room-verb.png").getSize();
    const auto other = "http://localhost:" + juce::String (StandIn::port()) + path;

    struct Case { const char* fault; Outcome outcome; int status; bool frameworkToo; };
    const Case cases[] = {
        { "{}",                                                   Outcome::completed,       200, true },
        { R"({"status": 404})",                                   Outcome::completed,       404, true },
        { R"({"truncate": true})",                                Outcome::truncated,       0,   true },
        { R"({"pad": 100000})",                                   Outcome::tooLarge,        0,   true },
        { R"({"claim": 100000000})",                              Outcome::tooLarge,        0,   true },
        { R"({"refuse": true})",                                  Outcome::cannotConnect,   0,   true },
        { R"({"status": 302, "location": "/thumbnails/big-room-verb.png", "count": 1})", Outcome::completed, 200, true },
        { R"({"stall": 2500})",                                   Outcome::stalled,         0,   false },
    };

    for (auto backend : { Transfer::Backend::native, Transfer::Backend::framework })
    {
        for (auto& c : cases)
        {
            if (backend == Transfer::Backend::framework && ! c.frameworkToo)
                continue;

            SCOPED_TRACE (juce::String (backendName (backend)) + " " + c.fault);
            server.setFault (path, c.fault);

            Transfer::Request request;
            request.url = StandIn::origin() + path;
            request.maxBytes = size + 50000;
            juce::MemoryBlock body;
            auto result = Transfer::fetch (request, body, backend);

            EXPECT_EQ ((int) result.outcome, (int) c.outcome);

            if (c.status != 0)
                EXPECT_EQ (result.statusCode, c.status);

            if (c.outcome == Outcome::completed && c.status == 200)
                EXPECT_EQ ((juce::int64) body.getSize(), size);

            server.clearFaults();
        }

        // Another origin is refused by the service requests' policy.
        server.setFault (path, R"({"status": 307, "count": 1, "location": ")" + other + "\"}");
        Transfer::Request request;
        request.url = StandIn::origin() + path;
        juce::MemoryBlock body;
        EXPECT_EQ ((int) Transfer::fetch (request, body, backend).outcome, (int) Outcome::refusedRedirect) << backendName (backend);
        server.clearFaults();
    }

    Transfer::setDefaultStallTimeoutMs (30000);
}

TEST (HttpTransfer, AbortEndsAWaitingTransferAtOnce)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    server.setFault ("*", R"({"delay": 10000})");

    for (auto backend : { Transfer::Backend::native, Transfer::Backend::framework })
    {
        Transfer::Request request;
        request.url = StandIn::origin() + "/thumbnails/big-room-verb.png";
        auto transfer = Transfer::create (request, backend);

        juce::MemoryBlock body;
        juce::MemoryOutputStream sink (body, false);
        std::atomic<double> returned { 0 };

        std::thread worker ([&] { transfer->perform (sink); returned = juce::Time::getMillisecondCounterHiRes(); });
        juce::Thread::sleep (300);
        auto aborted = juce::Time::getMillisecondCounterHiRes();
        transfer->abort();
        worker.join();

        EXPECT_LT (returned - aborted, 250.0) << backendName (backend);
        EXPECT_TRUE (transfer->wasAborted());
    }
}
