#pragma once

#include <juce_core/juce_core.h>

#include <memory>

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

    /** Opens the answer: POST, 8000 ms to connect, at most 5 redirects. Null when
        no connection could be made; the status code is not examined.
    */
    std::unique_ptr<juce::InputStream> open (const juce::URL&);

    /** The whole answer with every carriage return and line feed removed. */
    juce::String readAnswer (juce::InputStream&);

    /** True when the answer carries the error marker in any letter case. */
    bool isServerMessage (const juce::String& answer);

    /** What a login attempt came to: an error text, or the login result. */
    struct LoginOutcome
    {
        juce::String errorText;
        juce::String result;
    };

    /** Reads a login answer (null stream: no connection). */
    LoginOutcome interpretLogin (juce::InputStream* stream);
}
