#include "account/ServiceRequest.h"

#include "account/ServiceTexts.h"

#include <juce_cryptography/juce_cryptography.h>

namespace ServiceRequest
{

juce::String rot13 (const juce::String& text)
{
    juce::String result;
    result.preallocateBytes (text.getNumBytesAsUTF8());

    for (auto c : text)
    {
        if (c >= 'a' && c <= 'z')      c = 'a' + (c - 'a' + 13) % 26;
        else if (c >= 'A' && c <= 'Z') c = 'A' + (c - 'A' + 13) % 26;

        result += juce::String::charToString (c);
    }

    return result;
}

juce::String md5Hex (const juce::String& text)
{
    return juce::MD5 (text.toUTF8()).toHexString().toLowerCase();
}

juce::URL build (const juce::String& endpoint, const juce::String& email,
                 const juce::String& password, const juce::String& kind)
{
    auto names = ServiceTexts::parameterNames();
    auto lowerEmail = email.toLowerCase();

    return juce::URL (endpoint)
        .withParameter (names[0], rot13 (lowerEmail))
        .withParameter (names[1], rot13 (password))
        .withParameter (names[2], md5Hex (lowerEmail))
        .withParameter (names[3], kind);
}

std::unique_ptr<juce::InputStream> open (const juce::URL& url)
{
    return url.createInputStream (juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inPostData)
                                      .withConnectionTimeoutMs (8000)
                                      .withNumRedirectsToFollow (5));
}

juce::String readAnswer (juce::InputStream& stream)
{
    return stream.readEntireStreamAsString().removeCharacters ("\r\n");
}

bool isServerMessage (const juce::String& answer)
{
    return answer.toLowerCase().contains (ServiceTexts::errorMarker());
}

LoginOutcome interpretLogin (juce::InputStream* stream)
{
    if (stream == nullptr)
        return { ServiceTexts::loginConnectionFailedMessage(), {} };

    auto answer = readAnswer (*stream);

    if (answer.isEmpty())
        return { ServiceTexts::emptyResponseMessage(), {} };

    if (isServerMessage (answer))
        return { answer, {} };

    return { {}, answer };
}

} // namespace ServiceRequest
