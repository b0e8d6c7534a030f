#pragma once

#include <juce_core/juce_core.h>

#include "platform/HttpTransfer.h"

#include <functional>

/**
    The request shape shared by the login and the catalogue: a form-encoded POST
    with four parameters, and the rules for reading the plain-text answer.
*/
namespace ServiceRequest
{
    /** Each ASCII letter moved 13 places within its case; everything else kept. */
    juce::String rot13 (const juce::String& text);

    /** MD5 of the UTF-8 bytes as 32 lower-case hex digits. */
    juce::String md5Hex (const juce::String& text);

    /** The endpoint with the four parameters in their order: the lower-case
        e-mail and the password ROT13-transformed, the MD5 of the lower-case
        e-mail, and the kind ("0" login, "1" catalogue).
    */
    juce::URL build (const juce::String& endpoint, const juce::String& email,
                     const juce::String& password, const juce::String& kind);

    /** The parameters of a built request as a form body. */
    juce::String formBody (const juce::URL&);

    /** Generous bounds: a login answer is one line, a catalogue of thousands
        of products stays far below its limit.
    */
    constexpr juce::int64 maxLoginAnswerBytes = 64 * 1024;
    constexpr juce::int64 maxCatalogueAnswerBytes = 16 * 1024 * 1024;

    /** What came back: how the transfer ended, and the body's text (only
        meaningful when it completed).
    */
    struct Answer
    {
        platform::HttpTransfer::Outcome outcome = platform::HttpTransfer::Outcome::cannotConnect;
        juce::String text;

        bool completed() const noexcept     { return outcome == platform::HttpTransfer::Outcome::completed; }

        /** True once the server has started answering (the page shows
            "Connected"), even when the answer then broke off.
        */
        bool reachedServer() const noexcept;
    };

    /** Sends the request: POST, 8000 ms to connect, at most 5 redirects and
        only on the request's own origin (the body carries the password). The
        status code is not examined. A stop of the calling worker thread, or
        shouldStop, aborts it at once.
    */
    Answer send (const juce::URL& request, juce::int64 maxBytes, std::function<bool()> shouldStop = {});

    /** The text with every carriage return and line feed removed. */
    juce::String withoutLineBreaks (const juce::String& text);

    /** True when the answer carries the error marker in any letter case. */
    bool isServerMessage (const juce::String& answer);

    /** A server's text as a dialog shows it: cut to a readable length. */
    juce::String forDisplay (const juce::String& text);

    /** The text for an answer too long to be a real one. */
    juce::String invalidResponseMessage();

    /** What a login attempt came to: an error text, or the login result. */
    struct LoginOutcome
    {
        juce::String errorText;
        juce::String result;

        /** No server answered at all (refused, unreachable, timed out, or a
            certificate refused): the one failure after which the manager
            may offer to work offline.
        */
        bool serverUnreachable = false;
    };

    /** Reads a login answer. */
    LoginOutcome interpretLogin (const Answer&);
}
