#include "ProgressReport.h"

#include "platform/Console.h"

using platform::Console::Stream;

ProgressReport::ProgressReport (bool shouldDrawBar) : drawBar (shouldDrawBar) {}

void ProgressReport::step (const juce::String& line)
{
    endBar();
    platform::Console::write (Stream::error, line + "\n");
}

void ProgressReport::progress (double fraction)
{
    if (! drawBar)
        return;

    const auto percent = juce::jlimit (0, 100, (int) (fraction * 100.0));

    if (percent == shownPercent)
        return;

    constexpr int width = 30;
    const auto filled = percent * width / 100;
    shownPercent = percent;
    platform::Console::write (Stream::error, "\r[" + juce::String::repeatedString ("#", filled)
                                               + juce::String::repeatedString (" ", width - filled) + "] "
                                               + juce::String (percent) + "%");
}

void ProgressReport::endBar()
{
    if (shownPercent >= 0)
        platform::Console::write (Stream::error, "\n");

    shownPercent = -1;
}
