#include "products/ThumbnailImage.h"

namespace ThumbnailImage
{

juce::Image render (const juce::File& file, int side)
{
    juce::Image square (juce::Image::ARGB, juce::jmax (1, side), juce::jmax (1, side), true);

    if (! isAcceptable (file))
        return square;

    juce::Graphics g (square);
    juce::Path clip;
    clip.addRoundedRectangle (2.0f, 2.0f, (float) (side - 4), (float) (side - 4), 7.0f);
    g.reduceClipRegion (clip);

    if (auto picture = juce::ImageFileFormat::loadFrom (file); picture.isValid())
        g.drawImage (picture, square.getBounds().toFloat(), juce::RectanglePlacement::stretchToFit);

    return square;
}

} // namespace ThumbnailImage
