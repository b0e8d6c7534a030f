#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <functional>
#include <memory>

namespace platform
{
//==============================================================================
/**
    One HTTP request, run on a worker thread, that any thread can abort at once.

    Every wait inside is bounded: the connection by its time-out, the answer by
    the stall time-out (no byte for that long ends the transfer). A stop request
    of the worker thread that runs it (Thread::signalThreadShouldExit, which
    stopThread sends) aborts it, as does abort() from any thread, so a worker
    never has to be killed.

    Linux and macOS transfer with libcurl directly; Windows with the framework's
    own network code. Tests can pick either backend where both exist.
*/
class HttpTransfer
{
public:
    /** Which redirects are followed. The login and catalogue carry the
        password, so they stay on their origin.
    */
    enum class Redirects
    {
        none,           ///< a 3xx answer is the answer
        sameOrigin,     ///< only to the same scheme, host and port
        noDowngrade     ///< anywhere over http(s), but never from https to http
    };

    struct Request
    {
        juce::String url;
        bool post = false;
        juce::MemoryBlock postBody;                 ///< sent as a form when post is set
        juce::String extraHeaders;                  ///< "Name: value" lines, "\r\n" separated
        int connectTimeoutMs = 8000;
        int stallTimeoutMs = getDefaultStallTimeoutMs();
        int maxRedirects = 5;
        Redirects redirects = Redirects::sameOrigin;
        juce::int64 maxBytes = 1 << 20;             ///< a longer answer fails as tooLarge

        /** Polled while the transfer runs; true aborts it. Optional. */
        std::function<bool()> shouldStop;

        /** Called on the worker with the status and headers of the answer
            that is the resource (not a redirect), before the first byte of its
            body reaches the sink, or once it has completed when it has none.
            False aborts the transfer as writeFailed. Optional.
        */
        std::function<bool (int status, const juce::StringPairArray& headers)> onAnswer;
    };

    enum class Outcome
    {
        completed,          ///< an answer arrived whole (any status code)
        invalidURL,         ///< not an http or https address
        cannotConnect,      ///< no answer: refused, unreachable, timed out
        refusedRedirect,    ///< a redirect the policy does not allow, or too many
        stalled,            ///< the answer stopped arriving
        truncated,          ///< fewer bytes than announced
        tooLarge,           ///< more bytes than allowed
        writeFailed,        ///< the destination refused the bytes
        aborted             ///< stopped on request
    };

    struct Result
    {
        Outcome outcome = Outcome::cannotConnect;
        int statusCode = 0;
        juce::int64 bytes = 0;

        bool completed() const noexcept             { return outcome == Outcome::completed; }

        /** Completed with a status below 400: the body is the resource. */
        bool succeeded() const noexcept             { return completed() && statusCode > 0 && statusCode < 400; }
    };

    enum class Backend { native, framework };

    /** A transfer with the platform's usual backend (native), or the
        framework's network code where tests want to compare the two.
    */
    static std::unique_ptr<HttpTransfer> create (Request, Backend = Backend::native);

    virtual ~HttpTransfer();

    /** Runs the request on the calling thread and writes the answer's body to
        the sink. Returns when it has completed, failed or been aborted.
    */
    Result perform (juce::OutputStream& sink);

    /** Runs a request and keeps its body in memory (small answers only: the
        request's maxBytes bounds it).
    */
    static Result fetch (Request, juce::MemoryBlock& body, Backend = Backend::native);

    /** Ends a running or future perform() as aborted. Any thread; never waits. */
    void abort();

    bool wasAborted() const noexcept                { return aborted.load(); }

    /** Bytes of the answer's body so far, and its announced length (-1 unknown).
        Any thread.
    */
    juce::int64 getReceived() const noexcept        { return received.load(); }
    juce::int64 getTotal() const noexcept           { return total.load(); }

    //==============================================================================
    /** True for absolute http and https addresses. */
    static bool isWebURL (const juce::String&);

    /** "scheme://host:port" in lower case with the scheme's default port made
        explicit, or empty for an address that is not http(s).
    */
    static juce::String originOf (const juce::String& url);

    /** The absolute address a Location header names, resolved against the
        address that answered.
    */
    static juce::String resolveLocation (const juce::String& base, const juce::String& location);

    /** True when the policy lets a request go from one address to the other. */
    static bool redirectAllowed (Redirects, const juce::String& from, const juce::String& to);

    /** A stalled answer fails after this long without a byte (30 s), unless
        the request says otherwise. Tests shorten it to see stalls fail.
    */
    static int getDefaultStallTimeoutMs() noexcept;
    static void setDefaultStallTimeoutMs (int) noexcept;

protected:
    explicit HttpTransfer (Request);

    /** One request without following redirects; the location of a 3xx answer
        goes to redirectTarget (absolute). The body of a 3xx answer is dropped.
    */
    virtual Result performOnce (const juce::String& url, bool post, juce::OutputStream& sink,
                                juce::String& redirectTarget) = 0;

    /** Makes a blocked performOnce() look at the abort flag now. */
    virtual void wake() = 0;

    bool stopRequested() const;

    /** Calls the request's onAnswer once per answer; false when it refused it. */
    bool answerArrived (int status, const juce::StringPairArray& headers);
    bool answerAnnounced() const noexcept            { return announced; }

    /** Counts body bytes; false when the answer outgrows maxBytes. */
    bool addReceived (juce::int64 n);
    void setTotal (juce::int64 n) noexcept          { total = n; }
    void resetCounts() noexcept                     { received = 0; total = -1; announced = false; }

    const Request request;

private:
    struct StopListener;

    std::atomic<bool> aborted { false };
    std::atomic<juce::int64> received { 0 }, total { -1 };
    bool announced = false;                 // worker only: onAnswer ran for this answer

    JUCE_DECLARE_NON_COPYABLE (HttpTransfer)
};

} // namespace platform
