#include "ui/Downloader.h"

#include "ui/PartialDownload.h"

#include <mutex>

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
    bool resumable = false;                             // under lock
    std::function<void()> onFinish;                     // under lock
    juce::uint64 generation = 0;                        // under lock: the number of the task that may report
    platform::HttpTransfer::Result lastResult;          // under lock
    std::atomic<bool> taskFinished { true }, taskSucceeded { false };
    juce::WaitableEvent finished { true };              // signalled while no task runs
};

//==============================================================================
namespace
{
    /** The partial files that a task is writing, so that a task replacing a
        cancelled one waits until that one has let go of the same file.
    */
    struct PartialsInUse
    {
        std::mutex lock;
        juce::StringArray paths;

        static PartialsInUse& get()
        {
            static PartialsInUse inUse;
            return inUse;
        }

        bool claim (const juce::File& file)
        {
            const std::lock_guard<std::mutex> l (lock);

            if (paths.contains (file.getFullPathName()))
                return false;

            paths.add (file.getFullPathName());
            return true;
        }

        void release (const juce::File& file)
        {
            const std::lock_guard<std::mutex> l (lock);
            paths.removeString (file.getFullPathName());
        }
    };
}

//==============================================================================
class Downloader::Task final : public juce::Thread
{
public:
    Task (std::shared_ptr<Shared> s, juce::uint64 number, platform::HttpTransfer::Request r, const juce::File& target,
          bool resume)
        : juce::Thread ("QuillotoneDownload"),
          shared (std::move (s)), generation (number), destination (target), request (std::move (r)), resumable (resume)
    {
    }

    // Only tasks whose thread has ended are destroyed; never kill one.
    ~Task() override
    {
        abort (false);
        waitForThreadToExit (-1);
    }

    /** Ends the transfer; a resumable download keeps what it has unless told
        to discard it. Any thread.
    */
    void abort (bool discardPartial)
    {
        if (discardPartial)
            keepPartial = false;

        aborting = true;
        const std::lock_guard<std::mutex> l (transferLock);

        if (transfer != nullptr)
            transfer->abort();
    }

    /** Bytes of the file so far, counting those kept from an earlier try. */
    juce::int64 received() const
    {
        const std::lock_guard<std::mutex> l (transferLock);
        return offset.load() + (transfer != nullptr ? transfer->getReceived() : 0);
    }

    juce::int64 total() const
    {
        const std::lock_guard<std::mutex> l (transferLock);
        const auto announced = transfer != nullptr ? transfer->getTotal() : -1;
        return announced >= 0 ? offset.load() + announced : -1;
    }

    void run() override
    {
        {
            const juce::ScopedLock sl (shared->lock);

            if (! isCurrent())
                return;

            destination.deleteFile();
        }

        auto written = resumable ? writeResumably() : writeToTemporaryFile (startTransfer (request), destination);
        const auto& result = written.result;
        const auto& temporary = written.temporary;

        const juce::ScopedLock sl (shared->lock);

        auto succeeded = isCurrent() && written.complete && (resumable ? written.placed : temporary.moveFileTo (destination));

        if (! succeeded && ! resumable)
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

    platform::HttpTransfer& startTransfer (platform::HttpTransfer::Request r)
    {
        auto next = platform::HttpTransfer::create (std::move (r));
        const std::lock_guard<std::mutex> l (transferLock);
        transfer = std::move (next);

        if (aborting)
            transfer->abort();

        return *transfer;
    }

    /** Waits (bounded, and never past a stop) until no other task writes the file. */
    bool claim (const juce::File& file)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) windDownLimitMs;

        while (! PartialsInUse::get().claim (file))
        {
            if (aborting || threadShouldExit() || juce::Time::getMillisecondCounter() > end)
                return false;

            juce::Thread::sleep (20);
        }

        return true;
    }

    WrittenFile writeResumably()
    {
        const PartialDownload partial (destination);
        WrittenFile written;
        written.temporary = partial.dataFile();
        written.result = { platform::HttpTransfer::Outcome::aborted };

        if (! claim (partial.dataFile()))
            return written;

        PartialDownload::Record record;
        bool tried = false;

        // A range or total that does not fit, or a finished file of the wrong
        // size, drops what was kept and starts again, once.
        for (int attempt = 0; attempt < 2 && ! aborting; ++attempt)
        {
            tried = true;
            record = partial.load (request.url);

            if (record.bytes == 0)
                partial.discard();

            auto out = std::make_unique<juce::FileOutputStream> (partial.dataFile());

            if (! out->openedOk() || ! out->setPosition (record.bytes))
            {
                written.result = { platform::HttpTransfer::Outcome::writeFailed };
                break;
            }

            const auto have = record.bytes;
            auto verdict = PartialDownload::Answer::refuse;
            auto attemptRequest = request;

            if (have > 0)
                attemptRequest.extraHeaders += PartialDownload::resumeHeaders (record);

            attemptRequest.onAnswer = [&] (int status, const juce::StringPairArray& headers)
            {
                juce::int64 total = -1;
                verdict = PartialDownload::judge (status, headers, have, record.total, total);

                if (verdict == PartialDownload::Answer::restart)
                {
                    offset = 0;

                    if (! out->setPosition (0) || out->truncate().failed())
                        return false;
                }

                if (verdict != PartialDownload::Answer::append && verdict != PartialDownload::Answer::restart)
                    return false;

                record = { request.url, headers["ETag"], headers["Last-Modified"], out->getPosition(), total };

                // Saved now, so that even a killed process leaves what it needs to resume.
                if (record.hasValidator())
                    partial.save (record);

                return true;
            };

            offset = have;
            written.result = startTransfer (std::move (attemptRequest)).perform (*out);
            out.reset();

            const auto size = partial.dataFile().getSize();
            const auto answered = verdict == PartialDownload::Answer::append || verdict == PartialDownload::Answer::restart;

            if (written.result.succeeded() && answered)
            {
                written.result.bytes = size;

                if (record.total < 0 || size == record.total)
                {
                    written.complete = true;
                    break;
                }
            }
            else if (verdict != PartialDownload::Answer::startAgain)
            {
                break;
            }

            partial.discard();
            offset = 0;

            if (written.result.succeeded())
                written.result.outcome = platform::HttpTransfer::Outcome::truncated;
        }

        if (written.complete)
        {
            const juce::ScopedLock sl (shared->lock);
            written.placed = isCurrent() && partial.dataFile().moveFileTo (destination);

            if (written.placed || ! keepPartial)
                partial.discard();
        }

        // What is kept is what the next try resumes from; without a way to
        // check that the server still has the same file it is worthless.
        if (tried && ! written.placed)
        {
            record.bytes = partial.dataFile().getSize();

            if (keepPartial && record.hasValidator() && record.bytes > 0 && record.url == request.url)
                partial.save (record);
            else
                partial.discard();
        }

        PartialsInUse::get().release (partial.dataFile());
        return written;
    }

    std::shared_ptr<Shared> shared;
    const juce::uint64 generation;
    const juce::File destination;
    const platform::HttpTransfer::Request request;
    const bool resumable;

    std::atomic<bool> aborting { false }, keepPartial { true };    // any thread writes, the task reads
    std::atomic<juce::int64> offset { 0 };                          // the task writes, progress readers read
    mutable std::mutex transferLock;
    std::unique_ptr<platform::HttpTransfer> transfer;              // under transferLock: the task's current one
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

void Downloader::setResumable (bool shouldResume)
{
    const juce::ScopedLock sl (shared->lock);
    shared->resumable = shouldResume;
}

void Downloader::setOnFinish (std::function<void()> callback)
{
    const juce::ScopedLock sl (shared->lock);
    shared->onFinish = std::move (callback);
}

void Downloader::retire (bool discardPartial)
{
    if (task != nullptr)
    {
        task->abort (discardPartial);
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

    task = std::make_unique<Task> (shared, shared->generation, std::move (request), destination, shared->resumable);

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

void Downloader::cancel (bool discardPartial)
{
    const juce::ScopedLock sl (shared->lock);
    ++shared->generation;
    retire (discardPartial);
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
