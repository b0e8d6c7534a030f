#include <gtest/gtest.h>

#include "account/ScrambledText.h"
#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"

namespace
{
    // The texts that must never sit in the executable as plain bytes.
    juce::StringArray hiddenTexts()
    {
        return {
            ServiceTexts::loginURL(), ServiceTexts::catalogueURL(), "/pm/v1/login", "/pm/v1/catalogue",
            "qm_account", "qm_secret", "qm_digest", "qm_kind",
            ServiceTexts::rememberedFlagKey(), ServiceTexts::rememberedEmailKey(), ServiceTexts::rememberedPasswordKey(),
            ServiceTexts::credentialKey(),
            ServiceTexts::extractionToolPath(), ServiceTexts::extractionToolDigest(), ServiceTexts::extractionToolURL(),
            ServiceTexts::rememberCaption(), ServiceTexts::failureTitle(),
            ServiceTexts::leftLinkCaption(), ServiceTexts::leftLinkURL(), ServiceTexts::rightLinkURL(),
            ServiceTexts::invalidEmailMessage(), ServiceTexts::invalidPasswordMessage(),
            ServiceTexts::loginConnectionFailedMessage(), ServiceTexts::emptyResponseMessage(),
            ServiceTexts::syncCancelledMessage(), ServiceTexts::syncConnectionFailedMessage(),
            QUILLOTONE_WEB_SERVICE_ORIGIN, QUILLOTONE_CONTENT_ORIGIN
        };
    }

    bool containsBytes (const juce::MemoryBlock& haystack, const void* needle, size_t size)
    {
        auto* begin = static_cast<const char*> (haystack.getData());
        auto* end = begin + haystack.getSize();
        auto* n = static_cast<const char*> (needle);
        return std::search (begin, end, n, n + size) != end;
    }
}

TEST (ScrambledText, RoundTripsAndHidesTheLiteral)
{
    static constexpr scrambled::Text<sizeof ("hello world")> encoded { "hello world" };
    EXPECT_EQ (encoded.decode(), "hello world");
    EXPECT_NE (std::string (reinterpret_cast<const char*> (encoded.bytes.data()), 11), "hello world");

    EXPECT_EQ (QUILLOTONE_SCRAMBLED (""), "");
    EXPECT_EQ (QUILLOTONE_SCRAMBLED ("caf\xc3\xa9"), juce::String::fromUTF8 ("caf\xc3\xa9"));
    EXPECT_EQ (ServiceTexts::errorMarker(), "error");
    EXPECT_EQ (ServiceTexts::parameterNames().size(), 4);
    EXPECT_TRUE (ServiceTexts::loginURL().startsWith (QUILLOTONE_WEB_SERVICE_ORIGIN));
    EXPECT_EQ (ServiceTexts::credentialKey().length(), 64);
    EXPECT_TRUE (ServiceTexts::credentialKey().containsOnly ("0123456789abcdef"));
}

TEST (ScrambledText, NoneOfTheTextsIsPlainInTheExecutable)
{
    juce::File app (QUILLOTONE_APP_EXECUTABLE);
    ASSERT_TRUE (app.existsAsFile()) << app.getFullPathName();

    juce::MemoryBlock bytes;
    ASSERT_TRUE (app.loadFileAsData (bytes));

    // The check itself works: a text we know is plain is found.
    const char known[] = "Quillotone Plugin Manager";
    ASSERT_TRUE (containsBytes (bytes, known, sizeof (known) - 1));

    // And the scrambled form is there, so the texts are linked in at all.
    static constexpr scrambled::Text<sizeof ("/pm/v1/catalogue")> encoded { "/pm/v1/catalogue" };
    ASSERT_TRUE (containsBytes (bytes, encoded.bytes.data(), encoded.bytes.size()));

    for (auto& text : hiddenTexts())
    {
        auto utf8 = text.toStdString();
        EXPECT_FALSE (containsBytes (bytes, utf8.data(), utf8.size())) << "plain in the executable: " << utf8;

        auto* wide = text.toUTF16().getAddress();
        EXPECT_FALSE (containsBytes (bytes, wide, (size_t) text.length() * 2)) << "plain (UTF-16) in the executable: " << utf8;
    }
}

TEST (ServiceRequest, Rot13AndDigest)
{
    EXPECT_EQ (ServiceRequest::rot13 ("Hello, World 09@x.yz"), "Uryyb, Jbeyq 09@k.lm");
    EXPECT_EQ (ServiceRequest::rot13 (ServiceRequest::rot13 ("round Trip")), "round Trip");
    EXPECT_EQ (ServiceRequest::rot13 (juce::String::fromUTF8 ("\xc3\xa9t\xc3\xa9")), juce::String::fromUTF8 ("\xc3\xa9g\xc3\xa9"));
    EXPECT_EQ (ServiceRequest::md5Hex (""), "d41d8cd98f00b204e9800998ecf8427e");

    auto url = ServiceRequest::build ("http://127.0.0.1:1/x", "Me@Example.COM", "Pa ss", "1");
    auto names = url.getParameterNames();
    auto values = url.getParameterValues();
    ASSERT_EQ (names, ServiceTexts::parameterNames());
    EXPECT_EQ (values[0], "zr@rknzcyr.pbz");
    EXPECT_EQ (values[1], "Cn ff");
    EXPECT_EQ (values[2], ServiceRequest::md5Hex ("me@example.com"));
    EXPECT_EQ (values[3], "1");
}

TEST (ServiceRequest, LoginAnswersAreReadByTheirText)
{
    using Outcome = platform::HttpTransfer::Outcome;

    struct Case { Outcome outcome; const char* body; juce::String error, result; bool unreachable = false; };
    const juce::String longMessage = "ERROR: " + juce::String::repeatedString ("x", 5000);

    const Case cases[] = {
        { Outcome::cannotConnect,   "",                      ServiceTexts::loginConnectionFailedMessage(), "", true },
        { Outcome::refusedRedirect, "",                      ServiceTexts::loginConnectionFailedMessage(), "" },
        { Outcome::truncated,       "OK",                    ServiceTexts::loginConnectionFailedMessage(), "" },
        { Outcome::tooLarge,        "",                      "The server returned an invalid response.",   "" },
        { Outcome::completed,       "",                      ServiceTexts::emptyResponseMessage(),         "" },
        { Outcome::completed,       "\r\n\r\n",            ServiceTexts::emptyResponseMessage(),         "" },
        { Outcome::completed,       "Your ERROR is here\r\n", "Your ERROR is here",                         "" },
        { Outcome::completed,       "eRrOr",                 "eRrOr",                                      "" },
        { Outcome::completed,       "OK\r\nName|token\n",   "",                                           "OKName|token" },
    };

    for (auto& c : cases)
    {
        auto outcome = ServiceRequest::interpretLogin ({ c.outcome, c.body });
        EXPECT_EQ (outcome.errorText, c.error) << c.body;
        EXPECT_EQ (outcome.result, c.result) << c.body;
        EXPECT_EQ (outcome.serverUnreachable, c.unreachable) << c.body;
    }

    // A server's text is shown, but never a page of it.
    auto shown = ServiceRequest::interpretLogin ({ Outcome::completed, longMessage }).errorText;
    EXPECT_TRUE (shown.startsWith ("ERROR: xxx"));
    EXPECT_LE (shown.length(), 310);
}
