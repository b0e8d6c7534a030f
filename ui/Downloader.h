#pragma once

#include <juce_core/juce_core.h>

#include "platform/HttpTransfer.h"

#include <atomic>
#include <functional>
#include <memory>

/**
    One file download at a time, on a thread of its own, with completion state
    that other threads can poll.

    No call ever waits on the network: downloadToFile() starts a transfer
    thread and returns; cancel() aborts the transfer and returns; the progress
    getters read counters. The transfer writes to a temporary file beside the
    destination and renames it into place only when the download succeeded and
    was not cancelled, so the destination is either absent or whole.

    A Downloader can be reused: each downloadToFile() replaces the previous
    task. Any thread may call any operation.
*/
class Downloader final
{
public:
    Downloader();
    ~Downloader();

    /** Only http and https addresses are downloaded; anything else starts no task. */
    void setURL (const juce::URL& newURL);

    /** Answers longer than this fail (the default suits installer archives). */
    void setMaxBytes (juce::int64 limit);

    /** Makes later downloads resumable: an interrupted one keeps its bytes in
        a partial file beside the destination (see PartialDownload), and the
        next download to the same destination from the same address asks only
        for the rest. cancel (true) discards them.
    */
    void setResumable (bool shouldResume);

    /** Called on the transfer thread when a task that was neither cancelled nor
        replaced ends, after the flags are set. It runs under the downloader's
        lock, so once cancel() or the destructor has returned it is not running
        and will not run for that task.
    */
    void setOnFinish (std::function<void()> callback);

    /** Deletes the destination and starts downloading the address into it. */
    void downloadToFile (const juce::File& destination);

    bool isTaskFinished() const noexcept;
    bool wasSuccessful() const noexcept;
    bool wasStarted() const;

    /** How the last finished transfer ended (for messages and tests). */
    platform::HttpTransfer::Result getLastResult() const;

    /** Waits until the task has finished, the calling thread is asked to stop,
        or the time is up; true when finished. For workers, never the message
        thread.
    */
    bool waitUntilFinished (int timeoutMs);

    /** Stops the transfer and marks the task finished without success. A
        resumable download keeps its partial file for the next try unless
        discardPartial is set.
    */
    void cancel (bool discardPartial = false);

    /** The announced length, or 1 when unknown, so a progress fraction never
        divides by 0. Both counts include the bytes a resumed download already had.
    */
    juce::int64 getTotalLength() const;
    juce::int64 getLengthDownloaded() const;

    /** Installer archives can be large; this only keeps a hostile server from
        filling the disk without end.
    */
    static constexpr juce::int64 defaultMaxBytes = (juce::int64) 16 << 30;

    /** The same download run on the calling worker thread, for workers that
        would only wait anyway: no thread of its own, and a stop of the calling
        thread (or shouldStop) aborts it. The destination is deleted first and
        replaced only by a whole answer.
    */
    static platform::HttpTransfer::Result downloadHere (const juce::URL&, const juce::File& destination,
                                                        juce::int64 maxBytes, std::function<bool()> shouldStop = {});

private:
    class Task;
    struct Shared;

    struct WrittenFile
    {
        platform::HttpTransfer::Result result;
        juce::File temporary;
        bool complete = false;      // succeeded, and every byte is in the temporary file
        bool placed = false;        // a resumable download already moved it into place
    };

    /** Runs the transfer into a temporary file beside the destination; the
        caller renames it into place (or it is already gone when incomplete).
    */
    static WrittenFile writeToTemporaryFile (platform::HttpTransfer&, const juce::File& destination);
    static platform::HttpTransfer::Request requestFor (const juce::URL&, juce::int64 maxBytes);

    void retire (bool discardPartial = false);

    // The state a task reports into is shared with it, so a task that is
    // still winding down never touches a destroyed Downloader.
    std::shared_ptr<Shared> shared;
    std::unique_ptr<Task> task;             // under the shared lock
    juce::OwnedArray<Task> retired;         // under the shared lock: cancelled tasks still winding down

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Downloader)
};
