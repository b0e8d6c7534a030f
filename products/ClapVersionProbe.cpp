#include "ClapVersionProbe.h"

#include "VersionProbe.h"
#include "platform/Platform.h"

JUCE_IMPLEMENT_SINGLETON (ClapVersionProbe)

namespace
{
    // A version is a few characters; anything longer is not an answer.
    constexpr juce::int64 maxAnswerBytes = 4096;

    // Enough for every CLAP file a machine holds; a full cache starts again.
    constexpr size_t maxCachedAnswers = 4096;
}

//==============================================================================
int ClapVersionProbe::runChildMode (const juce::StringArray& arguments)
{
    if (arguments.size() < 2 || arguments[1] != childModeFlag)
        return -1;

    if (arguments.size() != 4 || ! juce::File::isAbsolutePath (arguments[2]) || ! juce::File::isAbsolutePath (arguments[3]))
        return 2;

    platform::prepareForUntrustedCode();

    const auto version = VersionProbe::readClapVersion (juce::File (arguments[2]));

    // Written through a temporary file and renamed, so the parent never reads half an answer.
    return juce::File (arguments[3]).replaceWithText (version, false, false, nullptr) ? 0 : 1;
}

juce::String ClapVersionProbe::readInChild (const juce::File& plugin, const juce::File& executable,
                                            const std::function<bool()>& shouldStop)
{
    if (! plugin.existsAsFile())
        return {};

    const auto answer = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getChildFile ("quillotone-clap-" + juce::Uuid().toDashedString() + ".txt");

    const auto exitCode = platform::runProcess ({ executable.getFullPathName(), childModeFlag,
                                                  plugin.getFullPathName(), answer.getFullPathName() },
                                                timeoutMs, shouldStop);
    juce::String version;

    if (exitCode == 0 && answer.existsAsFile() && answer.getSize() <= maxAnswerBytes)
        version = answer.loadFileAsString().trim();

    answer.deleteFile();
    return version;
}

//==============================================================================
ClapVersionProbe::ClapVersionProbe()
    : juce::Thread ("QuillotoneClapVersionProbe")
{
}

ClapVersionProbe::~ClapVersionProbe()
{
    // A child still running is killed within a few milliseconds of this, so
    // the thread ends on its own well inside the wait.
    signalThreadShouldExit();
    wakeUp.signal();
    stopThread (4000);
    clearSingletonInstance();
}

juce::String ClapVersionProbe::keyFor (const juce::File& file)
{
    return file.getFullPathName() + "|" + juce::String (file.getSize()) + "|"
         + juce::String (file.getLastModificationTime().toMilliseconds());
}

std::optional<juce::String> ClapVersionProbe::cachedVersion (const juce::File& file) const
{
    const auto key = keyFor (file);
    const juce::ScopedLock sl (lock);

    if (const auto found = answers.find (key); found != answers.end())
        return found->second;

    return std::nullopt;
}

void ClapVersionProbe::requestVersion (const juce::File& file, std::function<void()> onAnswer)
{
    const auto key = keyFor (file);

    {
        const juce::ScopedLock sl (lock);

        if (answers.count (key) == 0)
        {
            auto& callbacks = waiting[key];

            if (callbacks.empty())
                queue.push_back ({ file, key });

            callbacks.push_back (std::move (onAnswer));
            onAnswer = nullptr;
        }
    }

    // Answered between the caller's look into the cache and now.
    if (onAnswer != nullptr)
    {
        juce::MessageManager::callAsync (std::move (onAnswer));
        return;
    }

    if (! isThreadRunning())
        startThread (juce::Thread::Priority::low);

    wakeUp.signal();
}

juce::String ClapVersionProbe::versionNow (const juce::File& file)
{
    if (auto known = cachedVersion (file))
        return *known;

    const auto key = keyFor (file);
    const auto version = readInChild (file, platform::runningExecutable());
    remember (key, version);
    return version;
}

void ClapVersionProbe::remember (const juce::String& key, const juce::String& version)
{
    const juce::ScopedLock sl (lock);

    if (answers.size() >= maxCachedAnswers)
        answers.clear();

    answers[key] = version;
}

void ClapVersionProbe::run()
{
    while (! threadShouldExit())
    {
        std::optional<Request> next;

        {
            const juce::ScopedLock sl (lock);

            if (! queue.empty())
            {
                next = std::move (queue.front());
                queue.pop_front();
            }
        }

        if (! next.has_value())
        {
            wakeUp.wait (1000);
            continue;
        }

        const auto version = readInChild (next->file, platform::runningExecutable(), [this] { return threadShouldExit(); });

        // A child cut short by the shutdown gave no answer worth keeping.
        if (threadShouldExit())
            return;

        remember (next->key, version);
        std::vector<std::function<void()>> callbacks;

        {
            const juce::ScopedLock sl (lock);
            callbacks = std::move (waiting[next->key]);
            waiting.erase (next->key);
        }

        for (auto& callback : callbacks)
            juce::MessageManager::callAsync (std::move (callback));
    }
}
