#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <initializer_list>
#include <memory>

/**
    Where every icon is made: from the resources compiled into the program, or
    from SVG path data for the line icons drawn in code.
*/
namespace Icons
{
    /** An icon from an embedded SVG or image resource; null when it does not decode. */
    std::unique_ptr<juce::Drawable> fromResource (const char* data, int size);

    /** A 24 by 24 line icon from SVG path data: no fill, a black stroke of
        width 2 with round caps and joins. Null when the data does not parse.
    */
    std::unique_ptr<juce::Drawable> fromStrokePaths (std::initializer_list<const char*> paths);
}
