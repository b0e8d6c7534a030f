#include "account/ServiceRequest.h"

#include "account/ServiceTexts.h"

#include <juce_cryptography/juce_cryptography.h>

namespace ServiceRequest
{

using Outcome = platform::HttpTransfer::Outcome;

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

juce::String formBody (const juce::URL& url)
{
    return url.getQueryString().fromFirstOccurrenceOf ("?", false, false);
}

bool Answer::reachedServer() const noexcept
{
    return outcome == Outcome::completed || outcome == Outcome::truncated
        || outcome == Outcome::stalled || outcome == Outcome::tooLarge;
}

Answer send (const juce::URL& url, juce::int64 maxBytes, std::function<bool()> shouldStop)
{
    platform::HttpTransfer::Request request;
    request.url = url.toString (false);
    request.post = true;
    auto body = formBody (url);
    request.postBody.append (body.toRawUTF8(), body.getNumBytesAsUTF8());
    request.connectTimeoutMs = 8000;
    request.maxRedirects = 5;
    request.redirects = platform::HttpTransfer::Redirects::sameOrigin;
    request.maxBytes = maxBytes;
    request.shouldStop = std::move (shouldStop);

    juce::MemoryBlock bytes;
    auto result = platform::HttpTransfer::fetch (std::move (request), bytes);

    Answer answer;
    answer.outcome = result.outcome;

    if (result.completed())
        answer.text = juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()), (int) bytes.getSize());

    return answer;
}

juce::String withoutLineBreaks (const juce::String& text)
{
    return text.removeCharacters ("\r\n");
}

bool isServerMessage (const juce::String& answer)
{
    return answer.toLowerCase().contains (ServiceTexts::errorMarker());
}

juce::String forDisplay (const juce::String& text)
{
    // A page of text would bury the dialog's buttons; a message never needs it.
    constexpr int maxCharacters = 300;
    return text.length() <= maxCharacters ? text : text.substring (0, maxCharacters).trimEnd() + "...";
}

juce::String invalidResponseMessage()
{
    return "The server returned an invalid response.";
}

LoginOutcome interpretLogin (const Answer& answer)
{
    if (answer.outcome == Outcome::tooLarge)
        return { invalidResponseMessage(), {} };

    if (! answer.completed())
        return { ServiceTexts::loginConnectionFailedMessage(), {}, answer.outcome == Outcome::cannotConnect };

    auto text = withoutLineBreaks (answer.text);

    if (text.isEmpty())
        return { ServiceTexts::emptyResponseMessage(), {} };

    if (isServerMessage (text))
        return { forDisplay (text), {} };

    return { {}, text };
}

} // namespace ServiceRequest
