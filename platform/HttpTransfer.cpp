#include "platform/HttpTransfer.h"

namespace platform
{

std::unique_ptr<HttpTransfer> createFrameworkTransfer (HttpTransfer::Request);
#if ! JUCE_WINDOWS
std::unique_ptr<HttpTransfer> createCurlTransfer (HttpTransfer::Request);
#endif

//==============================================================================
/** Aborts the transfer when the worker that runs it is asked to stop. */
struct HttpTransfer::StopListener final : private juce::Thread::Listener
{
    explicit StopListener (HttpTransfer& t) : transfer (t), thread (juce::Thread::getCurrentThread())
    {
        if (thread != nullptr)
            thread->addListener (this);
    }

    ~StopListener() override
    {
        if (thread != nullptr)
            thread->removeListener (this);
    }

    void exitSignalSent() override      { transfer.abort(); }

    HttpTransfer& transfer;
    juce::Thread* thread;
};

//==============================================================================
namespace
{
    std::atomic<int> defaultStallTimeout { 30000 };
}

int HttpTransfer::getDefaultStallTimeoutMs() noexcept        { return defaultStallTimeout.load(); }
void HttpTransfer::setDefaultStallTimeoutMs (int ms) noexcept { defaultStallTimeout = ms; }

//==============================================================================
HttpTransfer::HttpTransfer (Request r) : request (std::move (r)) {}
HttpTransfer::~HttpTransfer() = default;

std::unique_ptr<HttpTransfer> HttpTransfer::create (Request r, Backend backend)
{
   #if JUCE_WINDOWS
    juce::ignoreUnused (backend);
    return createFrameworkTransfer (std::move (r));
   #else
    // The framework's Linux code sleeps 100 ms whenever libcurl has no socket
    // yet, so every request would cost at least that: talk to libcurl directly.
    return backend == Backend::framework ? createFrameworkTransfer (std::move (r))
                                         : createCurlTransfer (std::move (r));
   #endif
}

void HttpTransfer::abort()
{
    aborted = true;
    wake();
}

bool HttpTransfer::stopRequested() const
{
    if (aborted.load())
        return true;

    if (auto* thread = juce::Thread::getCurrentThread(); thread != nullptr && thread->threadShouldExit())
        return true;

    return request.shouldStop != nullptr && request.shouldStop();
}

bool HttpTransfer::answerArrived (int status, const juce::StringPairArray& headers)
{
    if (announced)
        return true;

    announced = true;
    return request.onAnswer == nullptr || request.onAnswer (status, headers);
}

bool HttpTransfer::addReceived (juce::int64 n)
{
    return (received += n) <= request.maxBytes;
}

HttpTransfer::Result HttpTransfer::perform (juce::OutputStream& sink)
{
    const StopListener listener (*this);

    if (! isWebURL (request.url))
        return { Outcome::invalidURL };

    auto url = request.url;
    auto post = request.post;

    for (int hop = 0;; ++hop)
    {
        if (stopRequested())
            return { Outcome::aborted };

        resetCounts();
        juce::String location;
        auto result = performOnce (url, post, sink, location);

        if (result.outcome == Outcome::completed && stopRequested())
            return { Outcome::aborted };

        const auto isRedirect = result.completed() && result.statusCode >= 300 && result.statusCode < 400
                                 && result.statusCode != 304 && location.isNotEmpty();

        if (! isRedirect || request.redirects == Redirects::none)
            return result;

        if (hop >= request.maxRedirects || ! redirectAllowed (request.redirects, url, location))
            return { Outcome::refusedRedirect, result.statusCode };

        // Browsers turn a redirected form post into a plain request except
        // for 307 and 308, which repeat it as it was.
        if (result.statusCode != 307 && result.statusCode != 308)
            post = false;

        url = location;
    }
}

HttpTransfer::Result HttpTransfer::fetch (Request r, juce::MemoryBlock& body, Backend backend)
{
    body.reset();
    juce::MemoryOutputStream sink (body, false);
    auto transfer = create (std::move (r), backend);
    auto result = transfer->perform (sink);
    sink.flush();
    return result;
}

//==============================================================================
bool HttpTransfer::isWebURL (const juce::String& url)
{
    return originOf (url).isNotEmpty();
}

juce::String HttpTransfer::originOf (const juce::String& url)
{
    const auto scheme = url.upToFirstOccurrenceOf ("://", false, false).toLowerCase();

    if ((scheme != "http" && scheme != "https") || ! url.contains ("://"))
        return {};

    auto authority = url.fromFirstOccurrenceOf ("://", false, false)
                        .upToFirstOccurrenceOf ("/", false, false)
                        .upToFirstOccurrenceOf ("?", false, false)
                        .upToFirstOccurrenceOf ("#", false, false);

    // Credentials in the address would only leak somewhere; they are not ours.
    if (authority.isEmpty() || authority.containsAnyOf ("@\\ \t\r\n"))
        return {};

    auto host = authority;
    juce::String port;

    if (authority.startsWithChar ('['))
    {
        host = authority.upToFirstOccurrenceOf ("]", true, false);
        port = authority.fromFirstOccurrenceOf ("]", false, false).fromFirstOccurrenceOf (":", false, false);
    }
    else if (authority.containsChar (':'))
    {
        host = authority.upToFirstOccurrenceOf (":", false, false);
        port = authority.fromFirstOccurrenceOf (":", false, false);
    }

    if (host.isEmpty() || (port.isNotEmpty() && ! port.containsOnly ("0123456789")) || port.length() > 5)
        return {};

    if (port.isEmpty())
        port = scheme == "https" ? "443" : "80";

    return scheme + "://" + host.toLowerCase() + ":" + juce::String (port.getIntValue());
}

juce::String HttpTransfer::resolveLocation (const juce::String& base, const juce::String& location)
{
    const auto trimmed = location.trim();

    if (trimmed.isEmpty())
        return {};

    if (trimmed.containsIgnoreCase ("://"))
        return trimmed;

    const auto scheme = base.upToFirstOccurrenceOf ("://", true, false);

    if (trimmed.startsWith ("//"))
        return scheme.dropLastCharacters (2) + trimmed;

    const auto rest = base.fromFirstOccurrenceOf ("://", false, false);
    const auto authority = rest.upToFirstOccurrenceOf ("/", false, false).upToFirstOccurrenceOf ("?", false, false);
    const auto root = scheme + authority;

    if (trimmed.startsWithChar ('/'))
        return root + trimmed;

    auto path = rest.substring (authority.length()).upToFirstOccurrenceOf ("?", false, false)
                    .upToFirstOccurrenceOf ("#", false, false);
    path = path.upToLastOccurrenceOf ("/", true, false);

    return root + (path.isEmpty() ? "/" : path) + trimmed;
}

bool HttpTransfer::redirectAllowed (Redirects policy, const juce::String& from, const juce::String& to)
{
    const auto fromOrigin = originOf (from), toOrigin = originOf (to);

    if (fromOrigin.isEmpty() || toOrigin.isEmpty())
        return false;

    switch (policy)
    {
        case Redirects::none:        return false;
        case Redirects::sameOrigin:  return fromOrigin == toOrigin;
        case Redirects::noDowngrade: return ! (fromOrigin.startsWith ("https:") && toOrigin.startsWith ("http:"));
    }

    return false;
}

} // namespace platform
