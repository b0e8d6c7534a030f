#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/**
    The product thumbnail's check: reading a downloaded picture's header
    before anything decodes it. Apart from the drawing (ThumbnailImage.h) so
    that code without graphics, the sync among it, can use it.

    Image decoders allocate what a file's header claims, so a tiny file can ask
    for gigabytes; the header is read first and absurd sizes are refused. A
    thumbnail is shown at 140 by 140 pixels, so the limits are generous.
*/
namespace ThumbnailImage
{
    struct Dimensions
    {
        int width = 0, height = 0;
    };

    constexpr int maxSide = 2048;
    constexpr juce::int64 maxFileBytes = 8 * 1024 * 1024;

    /** The dimensions a PNG, JPEG or GIF header announces, reading only the
        header; nothing for other formats or a damaged header.
    */
    std::optional<Dimensions> readDimensions (const juce::File&);

    /** True for a PNG, JPEG or GIF file small enough to decode safely. */
    bool isAcceptable (const juce::File&);
}
