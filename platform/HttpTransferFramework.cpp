// Transfers through the framework's WebInputStream (WinINet on Windows). The
// stream is created before it connects and published under a lock, so abort()
// can cancel it while it is still connecting: cancelling closes its handles,
// which makes the blocked connect or read return.
#include "platform/HttpTransfer.h"

#include <mutex>

namespace platform
{

class FrameworkTransfer final : public HttpTransfer
{
public:
    explicit FrameworkTransfer (Request r) : HttpTransfer (std::move (r)) {}
    ~FrameworkTransfer() override = default;

protected:
    Result performOnce (const juce::String& address, bool post, juce::OutputStream& sink, juce::String& redirectTarget) override
    {
        juce::URL url (address);

        if (post)
            url = url.withPOSTData (request.postBody);

        juce::WebInputStream stream (url, post);

        // The framework applies the connection time-out to every receive as
        // well, which bounds a stalled answer; take the longer of the two.
        stream.withConnectionTimeout (juce::jmax (request.connectTimeoutMs, request.stallTimeoutMs))
              .withNumRedirectsToFollow (0);

        auto headers = request.extraHeaders;

        if (post && ! headers.containsIgnoreCase ("Content-Type:"))
            headers = "Content-Type: application/x-www-form-urlencoded\r\n" + headers;

        if (headers.isNotEmpty())
            stream.withExtraHeaders (headers);

        {
            const std::lock_guard<std::mutex> lock (streamLock);

            if (stopRequested())
                return { Outcome::aborted };

            activeStream = &stream;
        }

        const auto result = transfer (stream, sink, redirectTarget, address);

        {
            const std::lock_guard<std::mutex> lock (streamLock);
            activeStream = nullptr;
        }

        return result;
    }

    void wake() override
    {
        const std::lock_guard<std::mutex> lock (streamLock);

        if (activeStream != nullptr)
            activeStream->cancel();
    }

private:
    Result transfer (juce::WebInputStream& stream, juce::OutputStream& sink, juce::String& redirectTarget,
                     const juce::String& address)
    {
        const auto connected = stream.connect (nullptr);
        const auto status = stream.getStatusCode();

        if (stopRequested())
            return { Outcome::aborted, status };

        if (! connected || status <= 0)
            return { Outcome::cannotConnect, status };

        if (status >= 300 && status < 400 && status != 304)
        {
            redirectTarget = resolveLocation (address, stream.getResponseHeaders()["Location"]);
            return { Outcome::completed, status };
        }

        const auto length = stream.getTotalLength();
        setTotal (length);

        if (length > request.maxBytes)
            return { Outcome::tooLarge, status };

        juce::HeapBlock<char> buffer (65536);

        for (;;)
        {
            if (stopRequested())
                return { Outcome::aborted, status, getReceived() };

            const auto n = stream.read (buffer, 65536);

            if (n < 0)
                return { Outcome::truncated, status, getReceived() };

            if (n == 0)
                break;

            if (! addReceived (n))
                return { Outcome::tooLarge, status, getReceived() };

            if (! sink.write (buffer, (size_t) n))
                return { Outcome::writeFailed, status, getReceived() };
        }

        if (stopRequested())
            return { Outcome::aborted, status, getReceived() };

        // A read that ends early looks like the end of the answer; only the
        // announced length tells the two apart.
        if (length >= 0 && getReceived() != length)
            return { getReceived() < length ? Outcome::truncated : Outcome::tooLarge, status, getReceived() };

        return { Outcome::completed, status, getReceived() };
    }

    std::mutex streamLock;
    juce::WebInputStream* activeStream = nullptr;   // under streamLock: the worker sets it, abort() cancels it
};

std::unique_ptr<HttpTransfer> createFrameworkTransfer (HttpTransfer::Request r)
{
    return std::make_unique<FrameworkTransfer> (std::move (r));
}

} // namespace platform
