// Transfers through the framework's WebInputStream (WinINet on Windows).
//
// WinINet's own time-outs and the cancelling of a blocked call from another
// thread cannot be relied on (under Wine neither bounds a silent server), so
// the blocking calls run on a reader thread of their own that hands the body
// over in chunks. The worker only ever waits on that hand-over, with its own
// time limits and its stop checks; on a stop or a time-out it leaves at once,
// and the reader, which owns everything it touches, ends whenever the system
// lets its call return.
#include "platform/HttpTransfer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace platform
{

namespace
{
    constexpr int chunkSize = 65536;
    constexpr size_t maxQueuedBytes = 4 * 1024 * 1024;
    constexpr int checkIntervalMs = 50;

    /** What the reader thread and the worker share; whoever leaves last frees it. */
    struct Pipe
    {
        std::mutex lock;
        std::condition_variable changed;

        // Written by the reader under the lock.
        bool answered = false, connectedOk = false, finished = false;
        int status = 0;
        juce::int64 total = -1;
        juce::String location;
        juce::StringPairArray headers;
        std::deque<juce::MemoryBlock> chunks;
        size_t queuedBytes = 0;

        // Written by the worker under the lock.
        bool abandoned = false;

        // The reader's stream while it exists, so an abandoning worker can
        // still ask it to give up; under the lock.
        juce::WebInputStream* stream = nullptr;
    };

    /** The length the answer announces, -1 when it announces none. The
        framework asks WinINet for it as a 32-bit number, which fails for
        anything past 4 GiB (an installer archive can be larger), so the
        header is read as it came.
    */
    juce::int64 announcedLength (const juce::StringPairArray& headers)
    {
        const auto text = headers["Content-Length"].trim();

        if (text.isEmpty() || text.length() > 18 || ! text.containsOnly ("0123456789"))
            return -1;

        return text.getLargeIntValue();
    }

    void read (std::shared_ptr<Pipe> pipe, juce::URL url, bool post, juce::String headers, int timeoutMs, juce::int64 maxBytes)
    {
        juce::WebInputStream stream (url, post);
        stream.withConnectionTimeout (timeoutMs).withNumRedirectsToFollow (0);

        if (headers.isNotEmpty())
            stream.withExtraHeaders (headers);

        {
            const std::lock_guard<std::mutex> l (pipe->lock);

            if (pipe->abandoned)
                return;

            pipe->stream = &stream;
        }

        const auto connected = stream.connect (nullptr);
        const auto status = stream.getStatusCode();
        const auto isRedirect = status >= 300 && status < 400 && status != 304;

        {
            const std::lock_guard<std::mutex> l (pipe->lock);
            pipe->answered = true;
            pipe->connectedOk = connected && status > 0;
            pipe->status = status;
            pipe->headers = connected ? stream.getResponseHeaders() : juce::StringPairArray();
            pipe->total = connected ? announcedLength (pipe->headers) : -1;
            pipe->location = isRedirect ? pipe->headers["Location"] : juce::String();
            pipe->finished = ! pipe->connectedOk || isRedirect || pipe->total > maxBytes;
        }

        pipe->changed.notify_all();

        juce::int64 read = 0;

        for (;;)
        {
            {
                std::unique_lock<std::mutex> l (pipe->lock);
                pipe->changed.wait (l, [&] { return pipe->abandoned || pipe->finished || pipe->queuedBytes < maxQueuedBytes; });

                if (pipe->abandoned || pipe->finished)
                    break;
            }

            juce::MemoryBlock chunk ((size_t) chunkSize);
            const auto n = stream.read (chunk.getData(), chunkSize);

            {
                const std::lock_guard<std::mutex> l (pipe->lock);

                if (n > 0)
                {
                    chunk.setSize ((size_t) n);
                    pipe->queuedBytes += (size_t) n;
                    pipe->chunks.push_back (std::move (chunk));
                    read += n;
                }

                // One byte past the limit is enough to know it is too long.
                if (n <= 0 || read > maxBytes)
                    pipe->finished = true;
            }

            pipe->changed.notify_all();
        }

        const std::lock_guard<std::mutex> l (pipe->lock);
        pipe->stream = nullptr;
    }
}

class FrameworkTransfer final : public HttpTransfer
{
public:
    explicit FrameworkTransfer (Request r) : HttpTransfer (std::move (r)) {}

    ~FrameworkTransfer() override
    {
        abandon();
    }

protected:
    Result performOnce (const juce::String& address, bool post, juce::OutputStream& sink, juce::String& redirectTarget) override
    {
        juce::URL url (address);

        if (post)
            url = url.withPOSTData (request.postBody);

        auto headers = request.extraHeaders;

        if (post && ! headers.containsIgnoreCase ("Content-Type:"))
            headers = "Content-Type: application/x-www-form-urlencoded\r\n" + headers;

        auto pipe = std::make_shared<Pipe>();

        {
            const std::lock_guard<std::mutex> l (current);
            active = pipe;
        }

        // The framework applies the connection time-out to every receive as
        // well; the waits below enforce both limits whatever it does.
        std::thread (read, pipe, url, post, headers, juce::jmax (request.connectTimeoutMs, request.stallTimeoutMs),
                     request.maxBytes).detach();

        auto result = receive (*pipe, sink, address, redirectTarget);
        abandon();
        return result;
    }

    void wake() override
    {
        std::shared_ptr<Pipe> pipe;

        {
            const std::lock_guard<std::mutex> l (current);
            pipe = active;
        }

        if (pipe != nullptr)
            pipe->changed.notify_all();
    }

private:
    Result receive (Pipe& pipe, juce::OutputStream& sink, const juce::String& address, juce::String& redirectTarget)
    {
        const auto now = [] { return juce::Time::getMillisecondCounterHiRes(); };

        // The answer's headers: within the connection time-out plus the
        // stall time-out for a server that accepts and then says nothing.
        const auto answerDeadline = now() + request.connectTimeoutMs + request.stallTimeoutMs;
        std::unique_lock<std::mutex> l (pipe.lock);

        while (! pipe.answered)
        {
            if (stopRequested())
                return { Outcome::aborted };

            if (now() > answerDeadline)
                return { Outcome::cannotConnect };

            pipe.changed.wait_for (l, std::chrono::milliseconds (checkIntervalMs));
        }

        const auto status = pipe.status;

        if (! pipe.connectedOk)
            return { Outcome::cannotConnect, status };

        if (pipe.location.isNotEmpty())
        {
            redirectTarget = resolveLocation (address, pipe.location);
            return { Outcome::completed, status };
        }

        const auto length = pipe.total;
        setTotal (length);

        if (length > request.maxBytes)
            return { Outcome::tooLarge, status };

        {
            const auto headers = pipe.headers;
            l.unlock();
            const auto accepted = answerArrived (status, headers);
            l.lock();

            if (! accepted)
                return { Outcome::writeFailed, status };
        }

        auto lastData = now();

        for (;;)
        {
            while (! pipe.chunks.empty())
            {
                auto chunk = std::move (pipe.chunks.front());
                pipe.chunks.pop_front();
                pipe.queuedBytes -= chunk.getSize();
                pipe.changed.notify_all();
                lastData = now();

                if (! addReceived ((juce::int64) chunk.getSize()))
                    return { Outcome::tooLarge, status, getReceived() };

                l.unlock();
                const auto written = sink.write (chunk.getData(), chunk.getSize());
                l.lock();

                if (! written)
                    return { Outcome::writeFailed, status, getReceived() };
            }

            if (pipe.finished)
                break;

            if (stopRequested())
                return { Outcome::aborted, status, getReceived() };

            if (now() - lastData > request.stallTimeoutMs)
                return { Outcome::stalled, status, getReceived() };

            pipe.changed.wait_for (l, std::chrono::milliseconds (checkIntervalMs));
        }

        l.unlock();

        if (stopRequested())
            return { Outcome::aborted, status, getReceived() };

        // A read that ends early looks like the end of the answer; only the
        // announced length tells the two apart.
        if (length >= 0 && getReceived() != length)
            return { getReceived() < length ? Outcome::truncated : Outcome::tooLarge, status, getReceived() };

        return { Outcome::completed, status, getReceived() };
    }

    /** Lets the reader go: it stops at its next chance and frees what it holds. */
    void abandon()
    {
        std::shared_ptr<Pipe> pipe;

        {
            const std::lock_guard<std::mutex> l (current);
            pipe = std::move (active);
        }

        if (pipe == nullptr)
            return;

        {
            const std::lock_guard<std::mutex> l (pipe->lock);
            pipe->abandoned = true;

            if (pipe->stream != nullptr && ! pipe->finished)
                pipe->stream->cancel();
        }

        pipe->changed.notify_all();
    }

    std::mutex current;
    std::shared_ptr<Pipe> active;       // under current: the pipe of the running request
};

std::unique_ptr<HttpTransfer> createFrameworkTransfer (HttpTransfer::Request r)
{
    return std::make_unique<FrameworkTransfer> (std::move (r));
}

} // namespace platform
