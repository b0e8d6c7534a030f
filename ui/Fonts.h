#pragma once

#include <juce_graphics/juce_graphics.h>

/**
    The two embedded Open Sans typefaces, created once per process on first use
    and shared by every look-and-feel object, dialog and widget.
*/
namespace Fonts
{
    juce::Typeface::Ptr regularTypeface();
    juce::Typeface::Ptr boldTypeface();

    /** Open Sans Regular or Bold at a height in the framework's sense (ascent + descent). */
    juce::Font regular (float height);
    juce::Font bold (float height);

    /** How many typefaces have been built from the embedded data so far (for tests). */
    int typefacesCreated();
}
