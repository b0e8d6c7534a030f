#include "ui/Downloader.h"

namespace
{
    // How often a waiting worker looks at its own stop request.
    constexpr int stopCheckIntervalMs = 50;

    // A cancelled transfer is aborted at once, so winding down takes
    // milliseconds; this only bounds a broken platform.
    constexpr int windDownLimitMs = 10000;
}

//==============================================================================
struct Downloader::Shared
{
    juce::CriticalSection lock;
    juce::URL url;                                      // under lock
    juce::int64 maxBytes = defaultMaxBytes;             // under lock
    std::function<void()> onFinish;                     // under lock
    juce::uint64 generation = 0;                        // under lock: the number of the task that may report
    platform::HttpTransfer::Result lastResult;          // under lock
    std::atomic<bool> taskFinished { true }, taskSucceeded { false };
    juce::WaitableEvent finished { true };              // signalled while no task runs
};

//==============================================================================
class Downloader::Task final : public juce::Thread
{
public:
    Task (std::shared_ptr<Shared> s, juce::uint64 number, platform::HttpTransfer::Request request, const juce::File& target)
        : juce::Thread ("QuillotoneDownload"),
          shared (std::move (s)), generation (number), destination (target),
          transfer (platform::HttpTransfer::create (std::move (request)))
    {
    }

    // Only tasks whose thread has ended are destroyed; never kill one.
    ~Task() override
    {
        transfer->abort();
        waitForThreadToExit (-1);
    }

    void abort()                                    { transfer->abort(); }
    juce::int64 received() const noexcept           { return transfer->getReceived(); }
    juce::int64 total() const noexcept              { return transfer->getTotal(); }

    void run() override
    {
        {
            const juce::ScopedLock sl (shared->lock);

            if (! isCurrent())
                return;

            destination.deleteFile();
        }

        auto written = writeToTemporaryFile (*transfer, destination);
        const auto& result = written.result;
        const auto& temporary = written.temporary;

        const juce::ScopedLock sl (shared->lock);

        auto succeeded = isCurrent() && written.complete && temporary.moveFileTo (destination);

        if (! succeeded)
            temporary.deleteFile();

        if (! isCurrent())
            return;

        shared->lastResult = result;
        shared->taskSucceeded = succeeded;
        shared->taskFinished = true;
        shared->finished.signal();

        if (shared->onFinish != nullptr)
            shared->onFinish();
    }

private:
    bool isCurrent() const      { return shared->generation == generation; }

    std::shared_ptr<Shared> shared;
    const juce::uint64 generation;
    const juce::File destination;
    std::unique_ptr<platform::HttpTransfer> transfer;
};

//==============================================================================
Downloader::WrittenFile Downloader::writeToTemporaryFile (platform::HttpTransfer& transfer, const juce::File& destination)
{
    // A unique name, so a cancelled task still winding down never shares its
    // file with the task that replaced it.
    WrittenFile written;
    written.temporary = destination.getSiblingFile (destination.getFileName() + ".part-"
                                                    + juce::String::toHexString (juce::Random().nextInt64()));
    written.result = { platform::HttpTransfer::Outcome::writeFailed };

    if (auto out = written.temporary.createOutputStream(); out != nullptr && out->openedOk())
    {
        written.result = transfer.perform (*out);

        // Closing writes what is buffered; the framework's flush() would also
        // force every small file to the disk, which a cache does not need and
        // which costs milliseconds each. The size tells whether every byte
        // reached the file.
        out.reset();
        written.complete = written.result.succeeded() && written.temporary.getSize() == written.result.bytes;
    }

    if (! written.complete)
        written.temporary.deleteFile();

    return written;
}

platform::HttpTransfer::Result Downloader::downloadHere (const juce::URL& url, const juce::File& destination,
                                                        juce::int64 maxBytes, std::function<bool()> shouldStop)
{
    auto request = requestFor (url, maxBytes);
    request.shouldStop = std::move (shouldStop);

    if (! platform::HttpTransfer::isWebURL (request.url))
        return { platform::HttpTransfer::Outcome::invalidURL };

    destination.deleteFile();
    auto transfer = platform::HttpTransfer::create (std::move (request));
    auto written = writeToTemporaryFile (*transfer, destination);

    if (written.complete && ! written.temporary.moveFileTo (destination))
    {
        written.temporary.deleteFile();
        written.result.outcome = platform::HttpTransfer::Outcome::writeFailed;
    }

    return written.result;
}

platform::HttpTransfer::Request Downloader::requestFor (const juce::URL& url, juce::int64 maxBytes)
{
    platform::HttpTransfer::Request request;
    request.url = url.toString (true);
    request.post = false;
    request.connectTimeoutMs = 15000;
    request.redirects = platform::HttpTransfer::Redirects::noDowngrade;
    request.maxBytes = maxBytes;
    return request;
}

//==============================================================================
Downloader::Downloader() : shared (std::make_shared<Shared>()) {}

Downloader::~Downloader()
{
    {
        const juce::ScopedLock sl (shared->lock);
        ++shared->generation;
        shared->onFinish = nullptr;
        retire();
    }

    // Aborted transfers end by themselves; one that does not is left to end
    // on its own rather than destroyed while it runs.
    for (int i = retired.size(); --i >= 0;)
        if (! retired.getUnchecked (i)->waitForThreadToExit (windDownLimitMs))
            retired.removeObject (retired.getUnchecked (i), false);
}

void Downloader::setURL (const juce::URL& newURL)
{
    const juce::ScopedLock sl (shared->lock);
    shared->url = newURL;
}

void Downloader::setMaxBytes (juce::int64 limit)
{
    const juce::ScopedLock sl (shared->lock);
    shared->maxBytes = limit;
}

void Downloader::setOnFinish (std::function<void()> callback)
{
    const juce::ScopedLock sl (shared->lock);
    shared->onFinish = std::move (callback);
}

void Downloader::retire()
{
    if (task != nullptr)
    {
        task->abort();
        retired.add (task.release());
    }

    for (int i = retired.size(); --i >= 0;)
        if (! retired.getUnchecked (i)->isThreadRunning())
            retired.remove (i);
}

void Downloader::downloadToFile (const juce::File& destination)
{
    const juce::ScopedLock sl (shared->lock);

    // The previous task goes first, so its late end cannot overwrite the new flags.
    ++shared->generation;
    retire();

    shared->finished.reset();
    shared->taskFinished = false;
    shared->taskSucceeded = false;
    shared->lastResult = {};

    auto request = requestFor (shared->url, shared->maxBytes);

    if (! platform::HttpTransfer::isWebURL (request.url))
    {
        shared->lastResult = { platform::HttpTransfer::Outcome::invalidURL };
        shared->taskFinished = true;
        shared->finished.signal();
        return;
    }

    task = std::make_unique<Task> (shared, shared->generation, std::move (request), destination);

    if (! task->startThread())
    {
        task.reset();
        shared->taskFinished = true;
        shared->finished.signal();
    }
}

bool Downloader::isTaskFinished() const noexcept    { return shared->taskFinished.load(); }
bool Downloader::wasSuccessful() const noexcept     { return shared->taskFinished.load() && shared->taskSucceeded.load(); }

bool Downloader::wasStarted() const
{
    const juce::ScopedLock sl (shared->lock);
    return task != nullptr;
}

platform::HttpTransfer::Result Downloader::getLastResult() const
{
    const juce::ScopedLock sl (shared->lock);
    return shared->lastResult;
}

bool Downloader::waitUntilFinished (int timeoutMs)
{
    // The wait looks at the worker's stop request every few milliseconds, so
    // whoever stops the worker (often the message thread) never waits long.
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);
    auto* thread = juce::Thread::getCurrentThread();

    while (! isTaskFinished())
    {
        if (thread != nullptr && thread->threadShouldExit())
            return false;

        const auto now = juce::Time::getMillisecondCounter();

        if (now >= end)
            return false;

        shared->finished.wait ((double) juce::jmin ((juce::uint32) stopCheckIntervalMs, end - now));
    }

    return true;
}

void Downloader::cancel()
{
    const juce::ScopedLock sl (shared->lock);
    ++shared->generation;
    retire();
    shared->taskFinished = true;
    shared->taskSucceeded = false;
    shared->lastResult = { platform::HttpTransfer::Outcome::aborted };
    shared->finished.signal();
}

juce::int64 Downloader::getTotalLength() const
{
    const juce::ScopedLock sl (shared->lock);

    if (task != nullptr && task->total() > 0)
        return task->total();

    return 1;
}

juce::int64 Downloader::getLengthDownloaded() const
{
    const juce::ScopedLock sl (shared->lock);
    return task != nullptr ? task->received() : 0;
}
