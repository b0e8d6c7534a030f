#pragma once

#include <juce_core/juce_core.h>

#include <sys/resource.h>

/** What every benchmark measures with. */
namespace bench
{
    inline double seconds()
    {
        return juce::Time::getMillisecondCounterHiRes() / 1000.0;
    }

    /** The process's peak resident memory so far, in KiB. */
    inline long peakMemoryKiB()
    {
        rusage usage {};
        getrusage (RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    }

    /** Runs a program to its end (or the time limit) and returns what it printed. */
    inline juce::String run (const juce::StringArray& command, int timeoutMs = 600000)
    {
        juce::ChildProcess process;

        if (! process.start (command))
            return {};

        auto output = process.readAllProcessOutput();
        process.waitForProcessToFinish (timeoutMs);
        return output;
    }
}
