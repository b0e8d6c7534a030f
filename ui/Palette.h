#pragma once

#include <juce_graphics/juce_graphics.h>

/**
    The colours that more than one screen uses, by what they are for. Colours
    that one widget alone uses stay with it.
*/
namespace Palette
{
    /** Behind the pages, the lists and the login panel. */
    inline const juce::Colour background { 0xfff0f0f1 };

    /** Text of labels, fields and buttons. */
    inline const juce::Colour text { 0xff202020 };

    /** Placeholders, empty-list notes and a row's status text. */
    inline const juce::Colour mutedText { 0xff808080 };

    /** The account e-mail and the version in the footer: mutedText darkened by 0.15. */
    inline const juce::Colour footerText { 0xff6f6f6f };

    /** The side panel, a progress bar's fill, a hovered row's outline, a badge of a missing format. */
    inline const juce::Colour lightGrey { 0xffd3d3d3 };

    /** An update notice. */
    inline const juce::Colour orange { 0xffffa500 };

    /** A badge of an installed format, "Freebie". */
    inline const juce::Colour green { 0xff008000 };

    /** The side-menu entry last clicked: orange darkened by 0.05. */
    inline const juce::Colour menuHighlight { 0xfff29d00 };

    /** The frames around the search, sort and login fields. */
    inline const juce::Colour fieldFrameOutline { 0x8c000000 };
    inline const juce::Colour fieldFrameEdge { 0x59cacaca };
    inline const juce::Colour fieldFrameFill { 0x8cffffff };
}
