#pragma once

#include <juce_graphics/juce_graphics.h>

#include "products/ThumbnailCheck.h"

/**
    The product thumbnail drawn for the card, from a file that passed the
    check of ThumbnailCheck.h.
*/
namespace ThumbnailImage
{
    /** The card's thumbnail: a side by side transparent square with the
        picture stretched into it, clipped to rounded corners. Only the
        square when the file is refused or does not decode.
    */
    juce::Image render (const juce::File&, int side);
}
