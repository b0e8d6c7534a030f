#pragma once

#include <juce_core/juce_core.h>

#include <atomic>

/**
    The few console calls of the command-line program: whether a stream is a
    terminal, a line read without echo, and Ctrl+C turned into a request.
*/
namespace platform::Console
{
    enum class Stream { input, output, error };

    /** True when the stream is an interactive terminal (not a pipe or file). */
    bool isTerminal (Stream);

    /** Reads one line from standard input without its line end. False at the
        end of the input with nothing read.
    */
    bool readLine (juce::String& line);

    /** The same; the typed
        characters are not echoed while it reads from a terminal. False at the
        end of the input with nothing read.
    */
    bool readSecretLine (juce::String& line);

    /** From now on Ctrl+C (SIGINT, or the console's Ctrl+C and Ctrl+Break on
        Windows) sets the flag instead of ending the process. The flag must
        live until the process ends.
    */
    void setInterruptFlag (std::atomic<bool>& flag);

    /** Writes UTF-8 text to the stream at once, unbuffered by the framework. */
    void write (Stream, const juce::String& text);
}
