// Transfers through libcurl's multi interface: the worker waits in
// curl_multi_poll, which abort() interrupts with curl_multi_wakeup, so a stop
// takes effect at once and no wait ever sleeps longer than it must.
//
// Each thread keeps one multi handle, and with it the connections it opened,
// so its next request to the same origin reuses a kept connection instead of
// paying a TCP and a TLS set-up again (libcurl does not support sharing
// connections between threads that transfer at once). Names and TLS sessions
// are shared by all threads.
#include "platform/HttpTransfer.h"

#include <curl/curl.h>

#include <csignal>

#include <mutex>

namespace platform
{

namespace
{
    /** The caches all threads share, with the locks libcurl asks for. */
    struct SharedCaches
    {
        SharedCaches() : share (curl_share_init())
        {
            if (share == nullptr)
                return;

            curl_share_setopt (share, CURLSHOPT_LOCKFUNC, &SharedCaches::lock);
            curl_share_setopt (share, CURLSHOPT_UNLOCKFUNC, &SharedCaches::unlock);
            curl_share_setopt (share, CURLSHOPT_USERDATA, this);
            curl_share_setopt (share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
            curl_share_setopt (share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        }

        // Kept for the life of the process: transfers may still run while
        // statics are destroyed.
        static SharedCaches& get()
        {
            static auto* caches = new SharedCaches();
            return *caches;
        }

        static void lock (CURL*, curl_lock_data data, curl_lock_access, void* user)
        {
            static_cast<SharedCaches*> (user)->locks[(size_t) data % numLocks].lock();
        }

        static void unlock (CURL*, curl_lock_data data, void* user)
        {
            static_cast<SharedCaches*> (user)->locks[(size_t) data % numLocks].unlock();
        }

        static constexpr size_t numLocks = CURL_LOCK_DATA_LAST;
        CURLSH* share;
        std::mutex locks[numLocks];
    };

    /** This thread's multi handle: its connection cache outlives each transfer. */
    struct ThreadConnections
    {
        ThreadConnections() : multi (curl_multi_init()) {}
        ~ThreadConnections()        { if (multi != nullptr) curl_multi_cleanup (multi); }

        static CURLM* get()
        {
            thread_local ThreadConnections connections;
            return connections.multi;
        }

        CURLM* multi;
    };

    std::mutex authorityLock;
    juce::String testAuthority;     // under authorityLock; empty: the system's authorities

    void initialiseCurlOnce()
    {
        static const bool initialised = []
        {
            // With CURLOPT_NOSIGNAL (needed with threads) libcurl leaves
            // SIGPIPE to us, and a server that hangs up must not end the app.
            std::signal (SIGPIPE, SIG_IGN);
            return curl_global_init (CURL_GLOBAL_DEFAULT) == CURLE_OK;
        }();

        juce::ignoreUnused (initialised);
    }

    constexpr int pollIntervalMs = 50;
}

class CurlTransfer final : public HttpTransfer
{
public:
    explicit CurlTransfer (Request r) : HttpTransfer (std::move (r))
    {
        initialiseCurlOnce();
    }

    ~CurlTransfer() override = default;

protected:
    Result performOnce (const juce::String& url, bool post, juce::OutputStream& sink, juce::String& redirectTarget) override
    {
        Session session;

        if (session.easy == nullptr || session.multi == nullptr)
            return { Outcome::cannotConnect };

        auto* easy = session.easy;
        Context context { *this, sink, easy };

        curl_easy_setopt (easy, CURLOPT_URL, url.toRawUTF8());
        curl_easy_setopt (easy, CURLOPT_NOSIGNAL, 1L);

        if (auto* share = SharedCaches::get().share)
            curl_easy_setopt (easy, CURLOPT_SHARE, share);

        // Certificates are always checked: the chain and the host name.
        curl_easy_setopt (easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt (easy, CURLOPT_SSL_VERIFYHOST, 2L);

        {
            const std::lock_guard<std::mutex> lock (authorityLock);

            if (testAuthority.isNotEmpty())
                curl_easy_setopt (easy, CURLOPT_CAINFO, testAuthority.toRawUTF8());
        }

       #if LIBCURL_VERSION_NUM >= 0x075700
        // Otherwise a stop during a name lookup waits for the lookup to end.
        curl_easy_setopt (easy, CURLOPT_QUICK_EXIT, 1L);
       #endif
        curl_easy_setopt (easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt (easy, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt (easy, CURLOPT_CONNECTTIMEOUT_MS, (long) juce::jmax (1, request.connectTimeoutMs));

        // libcurl's own low-speed check averages over seconds, so a body that
        // stops half-way looks alive for a while; silence is timed here instead,
        // from the moment the connection stands.
        curl_easy_setopt (easy, CURLOPT_PREREQFUNCTION, &Context::connected);
        curl_easy_setopt (easy, CURLOPT_PREREQDATA, &context);
        curl_easy_setopt (easy, CURLOPT_HEADERFUNCTION, &Context::header);
        curl_easy_setopt (easy, CURLOPT_HEADERDATA, &context);

        curl_easy_setopt (easy, CURLOPT_USERAGENT, "Quillotone Plugin Manager/" JUCE_APPLICATION_VERSION_STRING);
        curl_easy_setopt (easy, CURLOPT_WRITEFUNCTION, &Context::write);
        curl_easy_setopt (easy, CURLOPT_WRITEDATA, &context);

        if (request.maxBytes > 0)
            curl_easy_setopt (easy, CURLOPT_MAXFILESIZE_LARGE, (curl_off_t) request.maxBytes);

        juce::StringArray headerLines;
        headerLines.addTokens (request.extraHeaders, "\r\n", {});
        headerLines.removeEmptyStrings();

        for (auto& line : headerLines)
            session.headers = curl_slist_append (session.headers, line.trim().toRawUTF8());

        if (session.headers != nullptr)
            curl_easy_setopt (easy, CURLOPT_HTTPHEADER, session.headers);

        if (post)
        {
            curl_easy_setopt (easy, CURLOPT_POST, 1L);
            curl_easy_setopt (easy, CURLOPT_POSTFIELDSIZE_LARGE, (curl_off_t) request.postBody.getSize());
            curl_easy_setopt (easy, CURLOPT_POSTFIELDS, request.postBody.getData());
        }

        curl_multi_add_handle (session.multi, easy);

        {
            const std::lock_guard<std::mutex> lock (multiLock);
            activeMulti = session.multi;
        }

        auto code = run (session.multi, easy, context);

        {
            const std::lock_guard<std::mutex> lock (multiLock);
            activeMulti = nullptr;
        }

        curl_multi_remove_handle (session.multi, easy);

        long status = 0;
        curl_easy_getinfo (easy, CURLINFO_RESPONSE_CODE, &status);

        if (stopRequested())
            return { Outcome::aborted, (int) status, getReceived() };

        if (context.writeFailed)
            return { Outcome::writeFailed, (int) status, getReceived() };

        if (context.stalled)
            return { status > 0 ? Outcome::stalled : Outcome::cannotConnect, (int) status, getReceived() };

        if (context.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
            return { Outcome::tooLarge, (int) status, getReceived() };

        switch (code)
        {
            case CURLE_OK:
                break;

            case CURLE_PARTIAL_FILE:
                return { Outcome::truncated, (int) status, getReceived() };

            case CURLE_OPERATION_TIMEDOUT:
                return { status > 0 ? Outcome::stalled : Outcome::cannotConnect, (int) status, getReceived() };

            case CURLE_UNSUPPORTED_PROTOCOL:
            case CURLE_URL_MALFORMAT:
                return { Outcome::invalidURL };

            case CURLE_RECV_ERROR:
            case CURLE_GOT_NOTHING:
                return { status > 0 ? Outcome::truncated : Outcome::cannotConnect, (int) status, getReceived() };

            default:
                return { Outcome::cannotConnect, (int) status, getReceived() };
        }

        if (status >= 300 && status < 400)
        {
            char* target = nullptr;

            if (curl_easy_getinfo (easy, CURLINFO_REDIRECT_URL, &target) == CURLE_OK && target != nullptr)
                redirectTarget = juce::String::fromUTF8 (target);
        }

        // An answer without a body still has its say.
        if (redirectTarget.isEmpty() && ! answerArrived ((int) status, context.headers))
            return { Outcome::writeFailed, (int) status, getReceived() };

        return { Outcome::completed, (int) status, getReceived() };
    }

    void wake() override
    {
        const std::lock_guard<std::mutex> lock (multiLock);

        if (activeMulti != nullptr)
            curl_multi_wakeup (activeMulti);
    }

private:
    /** The handles of one request, released whatever way it ends. */
    struct Session
    {
        Session() : easy (curl_easy_init()), multi (ThreadConnections::get()) {}

        ~Session()
        {
            if (easy != nullptr)    curl_easy_cleanup (easy);
            if (headers != nullptr) curl_slist_free_all (headers);
        }

        CURL* easy;
        CURLM* multi;
        curl_slist* headers = nullptr;

        JUCE_DECLARE_NON_COPYABLE (Session)
    };

    /** What the write callback needs: written on the worker only. */
    struct Context
    {
        CurlTransfer& owner;
        juce::OutputStream& sink;
        CURL* easy;
        bool started = false, discard = false, tooLarge = false, writeFailed = false, stalled = false;
        juce::StringPairArray headers;
        double lastActivity = 0;     // 0 until connected

        static double now()     { return juce::Time::getMillisecondCounterHiRes(); }

        static int connected (void* user, char*, char*, int, int)
        {
            static_cast<Context*> (user)->lastActivity = now();
            return CURL_PREREQFUNC_OK;
        }

        static size_t header (char* data, size_t size, size_t count, void* user)
        {
            auto& c = *static_cast<Context*> (user);
            c.lastActivity = now();
            const auto line = juce::String::fromUTF8 (data, (int) (size * count)).trim();

            // Each answer (a redirect, a 100 Continue, the resource) starts
            // with its status line and brings its own headers.
            if (line.startsWithIgnoreCase ("HTTP/"))
                c.headers.clear();
            else if (line.containsChar (':'))
                c.headers.set (line.upToFirstOccurrenceOf (":", false, false).trim(),
                               line.fromFirstOccurrenceOf (":", false, false).trim());

            return size * count;
        }

        static size_t write (char* data, size_t size, size_t count, void* user)
        {
            auto& c = *static_cast<Context*> (user);
            const auto bytes = size * count;
            c.lastActivity = now();

            if (! c.started)
            {
                c.started = true;
                long status = 0;
                curl_easy_getinfo (c.easy, CURLINFO_RESPONSE_CODE, &status);

                // The body of a redirect is not the resource.
                c.discard = status >= 300 && status < 400 && status != 304;

                curl_off_t length = -1;

                if (curl_easy_getinfo (c.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
                    c.owner.setTotal ((juce::int64) length);

                if (! c.discard && ! c.owner.answerArrived ((int) status, c.headers))
                {
                    c.writeFailed = true;
                    return 0;
                }
            }

            if (c.discard)
                return bytes;

            if (! c.owner.addReceived ((juce::int64) bytes))
            {
                c.tooLarge = true;
                return 0;
            }

            if (! c.sink.write (data, bytes))
            {
                c.writeFailed = true;
                return 0;
            }

            return bytes;
        }
    };

    CURLcode run (CURLM* multi, CURL* easy, Context& context)
    {
        for (;;)
        {
            int running = 0;

            if (curl_multi_perform (multi, &running) != CURLM_OK)
                return CURLE_RECV_ERROR;

            if (running == 0)
                break;

            if (stopRequested())
                return CURLE_ABORTED_BY_CALLBACK;

            if (context.lastActivity > 0 && Context::now() - context.lastActivity > request.stallTimeoutMs)
            {
                context.stalled = true;
                return CURLE_OPERATION_TIMEDOUT;
            }

            curl_multi_poll (multi, nullptr, 0, pollIntervalMs, nullptr);
        }

        int left = 0;

        while (auto* message = curl_multi_info_read (multi, &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                return message->data.result;

        return CURLE_RECV_ERROR;
    }

    std::mutex multiLock;
    CURLM* activeMulti = nullptr;       // under multiLock: the worker sets it, abort() wakes it
};

void trustTestAuthority (const juce::File& pemFile)
{
    const std::lock_guard<std::mutex> lock (authorityLock);
    testAuthority = pemFile == juce::File() ? juce::String() : pemFile.getFullPathName();
}

std::unique_ptr<HttpTransfer> createCurlTransfer (HttpTransfer::Request r)
{
    return std::make_unique<CurlTransfer> (std::move (r));
}

} // namespace platform
