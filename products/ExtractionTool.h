#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/**
    Running the extraction tool on a product's installer program.

    The catalogue sync verified the tool when it fetched it, but the tool then
    sits in a folder that other accounts can write, and it runs with the
    manager's rights (administrator on Windows). So its digest is checked
    again right before it runs, and what runs is a private copy made from
    the very bytes that were checked.
*/
namespace ExtractionTool
{
    struct Outcome
    {
        enum Kind
        {
            exited,             ///< it ran to its end; see exitCode and output
            notVerified,        ///< the tool is missing or its digest is wrong: nothing ran
            couldNotStart,
            timedOut,           ///< terminated after the time limit
            stopped             ///< terminated on a stop request
        };

        Kind kind = couldNotStart;
        int exitCode = -1;
        juce::String output;    ///< what it printed, trimmed

        bool succeeded() const noexcept     { return kind == exited && exitCode == 0; }
    };

    /** The argument list: the tool, "-x", the installer, "-d" joined to the
        output folder (one argument), "-q", "-y".
    */
    juce::StringArray arguments (const juce::File& tool, const juce::File& installer, const juce::File& outputFolder);

    /** Lower-case hex SHA-256 of the bytes: the form the pin takes. */
    juce::String digestOf (const void* data, size_t size);

    /** Checks the tool against the expected SHA-256 digest, then runs a
        private copy of the checked bytes from a fresh folder of its own,
        polling the stop check; a run longer than the limit is terminated.
        afterCheck runs between the check and the copy (tests change the
        cached file there).
    */
    Outcome run (const juce::File& tool, const juce::String& expectedDigest, const juce::File& installer,
                 const juce::File& outputFolder, const std::function<bool()>& shouldStop, int timeoutMs = 120000,
                 const std::function<void()>& afterCheck = {});

    /** The tool is a small program; a bigger file is not it. */
    constexpr juce::int64 maxToolBytes = 64 * 1024 * 1024;

    /** Tool output beyond this is not shown. */
    constexpr juce::int64 maxOutputBytes = 64 * 1024;
}
