// Certificates are checked on every request: only a chain to a trusted
// authority, valid now and issued for the host asked for, gets an answer, and
// each step says so in its own words. The stand-in serves https with
// certificates generated at build time; only these tests trust its authority.
#include <gtest/gtest.h>

#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "platform/HttpTransfer.h"
#include "platform/TestAuthority.h"
#include "support/StandIn.h"
#include "support/TestHelpers.h"
#include "ui/Downloader.h"

using testing_support::ScopedHome;
using testing_support::StandIn;
using Transfer = platform::HttpTransfer;

namespace
{
    const int httpsPort = StandIn::port() + 1;

    StandIn::Options httpsServer (const juce::String& certificate)
    {
        StandIn::Options options;
        options.port = httpsPort;
        options.certificate = certificate;
        return options;
    }

    juce::String login (const juce::String& base)
    {
        const auto url = ServiceRequest::build (base + "/" + juce::URL (ServiceTexts::loginURL()).getSubPath(),
                                                "demo@quillotone.test", "quillotone", "0");
        return ServiceRequest::interpretLogin (ServiceRequest::send (url, ServiceRequest::maxLoginAnswerBytes, {})).errorText;
    }
}

TEST (Https, CertificatesAreCheckedOnEveryRequest)
{
    ScopedHome home;
    const juce::String thumbnail = "/thumbnails/big-room-verb.png";
    const auto connectionFailed = ServiceTexts::loginConnectionFailedMessage();

    struct Case { const char* certificate; bool trustTheAuthority; bool accepted; };
    const Case cases[] = {
        { "valid",        true,  true },
        { "valid",        false, false },     // an authority nobody trusts
        { "expired",      true,  false },
        { "wrong-host",   true,  false },
        { "self-signed",  true,  false },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.certificate) + (c.trustTheAuthority ? "" : ", authority not trusted"));
        StandIn server (httpsServer (c.certificate));
        REQUIRE_STANDIN (server);
        platform::trustTestAuthority (c.trustTheAuthority ? StandIn::certificates().getChildFile ("authority.pem") : juce::File());

        EXPECT_EQ (login (server.base()), c.accepted ? juce::String() : connectionFailed);

        auto file = home.home.folder.getChildFile ("thumbnail.png");
        auto result = Downloader::downloadHere (juce::URL (server.base() + thumbnail), file, 1 << 20);
        EXPECT_EQ (result.succeeded(), c.accepted);
        EXPECT_EQ (file.existsAsFile(), c.accepted);
        file.deleteFile();

        // The framework's code (Windows' backend) trusts only the system's
        // authorities here, so it can only be seen refusing.
        if (! c.accepted)
        {
            Transfer::Request request;
            request.url = server.base() + thumbnail;
            juce::MemoryBlock body;
            EXPECT_FALSE (Transfer::fetch (request, body, Transfer::Backend::framework).completed());
        }
    }
}

TEST (Https, ADownloadNeverFollowsARedirectToPlainHttp)
{
    StandIn plain;
    REQUIRE_STANDIN (plain);
    StandIn server (httpsServer ("valid"));
    REQUIRE_STANDIN (server);
    platform::trustTestAuthority (StandIn::certificates().getChildFile ("authority.pem"));

    const juce::String path = "/thumbnails/big-room-verb.png";
    server.setFault (path, R"({"status": 302, "location": ")" + plain.base() + path + "\"}");

    ScopedHome home;
    auto file = home.home.folder.getChildFile ("thumbnail.png");
    EXPECT_EQ ((int) Downloader::downloadHere (juce::URL (server.base() + path), file, 1 << 20).outcome,
               (int) Transfer::Outcome::refusedRedirect);
    EXPECT_FALSE (file.exists());
}
