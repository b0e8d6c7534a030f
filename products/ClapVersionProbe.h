#pragma once

#include <juce_events/juce_events.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

/**
    Reads the versions of CLAP plugins in a child process, so that a plugin
    whose start-up code crashes or hangs costs a missing version, never the
    manager.

    The child is the program itself in probe mode: main() hands its arguments
    to runChildMode() before the framework, the application object or its
    single-instance lock exist. The child loads the library, reads its
    descriptor, writes the answer to a file named on its command line and
    exits. It gets timeoutMs; a crash, a time-out or a missing answer reads as
    no version, and the status falls back to the recorded version.

    Answers are cached for the life of the process, per file by path, size and
    modification time, so rows are probed again only when the file changed.
    One shared instance runs the probes on its own thread, one at a time; the
    message thread only looks in the cache and queues requests.
*/
class ClapVersionProbe final : private juce::Thread,
                               private juce::DeletedAtShutdown
{
public:
    /** The time a child gets. A healthy plugin answers well within a second. */
    static constexpr int timeoutMs = 5000;

    /** The argument that starts a child in probe mode: the flag, the plugin
        file, and the file that receives the answer.
    */
    static constexpr const char* childModeFlag = "--probe-clap-version";

    //==============================================================================
    /** When the arguments ask for probe mode: reads the version, writes the
        answer file and returns the exit code for main() to return. Otherwise
        returns -1 and does nothing. Call it first thing in main().
    */
    static int runChildMode (const juce::StringArray& arguments);

    /** Starts executable in probe mode for the plugin and waits for its answer,
        at most timeoutMs and less when shouldStop() says so. Empty on any
        failure. Blocks: never call it on the message thread.
    */
    static juce::String readInChild (const juce::File& plugin, const juce::File& executable,
                                     const std::function<bool()>& shouldStop = nullptr);

    //==============================================================================
    JUCE_DECLARE_SINGLETON (ClapVersionProbe, false)

    /** The cached answer for the file as it is on disk now, if there is one. */
    std::optional<juce::String> cachedVersion (const juce::File&) const;

    /** Queues a probe of the file, in a child of this program, unless one is
        queued already. onAnswer runs on the message thread once the answer is
        in the cache; it is dropped when the probe shuts down first.
    */
    void requestVersion (const juce::File&, std::function<void()> onAnswer);

    /** The answer from the cache, or from a child started now and waited for.
        For callers that need a settled answer (tests, tools); blocks up to
        timeoutMs, so never on the message thread.
    */
    juce::String versionNow (const juce::File&);

private:
    ClapVersionProbe();
    ~ClapVersionProbe() override;

    void run() override;
    void remember (const juce::String& key, const juce::String& version);

    /** Path, size and modification time: a changed file is a new key. */
    static juce::String keyFor (const juce::File&);

    struct Request
    {
        juce::File file;
        juce::String key;
    };

    // Everything below is under the lock; the message thread and the probe
    // thread both read and write it.
    juce::CriticalSection lock;
    std::map<juce::String, juce::String> answers;
    std::map<juce::String, std::vector<std::function<void()>>> waiting;
    std::deque<Request> queue;
    juce::WaitableEvent wakeUp;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ClapVersionProbe)
};
