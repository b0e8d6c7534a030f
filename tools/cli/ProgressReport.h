#pragma once

#include <juce_core/juce_core.h>

/**
    Progress on standard error: one line per step, and while a step runs a
    bar that redraws itself in place when standard error is a terminal (a
    pipe or a log file gets the step lines only).

    Used by the command's worker thread alone.
*/
class ProgressReport final
{
public:
    explicit ProgressReport (bool drawBar);

    /** Ends any bar and writes the line. */
    void step (const juce::String& line);

    /** The running step's fraction, 0 to 1; drawn only on a terminal, and
        only when it moved by a whole percent.
    */
    void progress (double fraction);

private:
    void endBar();

    const bool drawBar;
    int shownPercent = -1;
};
