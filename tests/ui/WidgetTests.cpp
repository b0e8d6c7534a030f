#include <gtest/gtest.h>

#include "ui/Utilities.h"

namespace
{
    juce::MouseEvent mouseEventFor (juce::Component& component)
    {
        auto now = juce::Time::getCurrentTime();
        return { juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                 &component, &component, now, {}, now, 1, false };
    }
}

TEST (LoadingProgress, ValuesAreClampedAndOneHidesTheBar)
{
    LoadingProgress bar;
    bar.setSize (200, 10);
    EXPECT_EQ (bar.getProgress(), 1.0);
    bool clicksOnBar = true, clicksOnChildren = true;
    bar.getInterceptsMouseClicks (clicksOnBar, clicksOnChildren);
    EXPECT_FALSE (clicksOnBar);

    bar.setProgress (1.5);
    EXPECT_EQ (bar.getProgress(), 1.0);

    bar.setProgress (-0.2);
    EXPECT_EQ (bar.getProgress(), 0.0);

    bar.setProgress (0.25);
    EXPECT_EQ (bar.getProgress(), 0.25);

    // At 0.25 the fill covers a quarter of the inner width and nothing beyond.
    auto image = bar.createComponentSnapshot (bar.getLocalBounds());
    EXPECT_EQ (image.getPixelAt (40, 5).getRed(), 0xd3);
    EXPECT_EQ (image.getPixelAt (150, 5).getAlpha(), 0);

    bar.setProgress (1.0);
    auto hidden = bar.createComponentSnapshot (bar.getLocalBounds());
    EXPECT_EQ (hidden.getPixelAt (40, 5).getAlpha(), 0);
    EXPECT_EQ (hidden.getPixelAt (1, 5).getAlpha(), 0);
}

TEST (ClickLabel, HoverSwapsColoursAndClickCalls)
{
    ClickLabel label;
    label.setColor (juce::Colours::white);
    label.setOnColor (juce::Colours::orange);
    label.setSize (120, 30);

    int clicks = 0;
    label.onClick = [&] { ++clicks; };

    auto event = mouseEventFor (label);

    label.mouseEnter (event);
    EXPECT_TRUE (label.isEntered());
    EXPECT_EQ (label.getCurrentColour(), juce::Colours::orange);
    label.mouseExit (event);
    EXPECT_EQ (label.getCurrentColour(), juce::Colours::white);

    label.mouseDown (event);
    EXPECT_EQ (clicks, 1);
}

TEST (LabelLink, EmptyAddressOnlyUnderlines)
{
    LabelLink link;
    link.setSize (100, 20);
    link.label.setText ("Docs", juce::dontSendNotification);
    bool clicksOnLabel = true, clicksOnChildren = true;
    link.label.getInterceptsMouseClicks (clicksOnLabel, clicksOnChildren);
    EXPECT_FALSE (clicksOnLabel);

    auto event = mouseEventFor (link);

    auto before = link.createComponentSnapshot (link.getLocalBounds());
    link.mouseDown (event);
    EXPECT_TRUE (link.isHovered());

    // The dashed underline sits 3.5 px above the bottom edge.
    auto after = link.createComponentSnapshot (link.getLocalBounds());
    EXPECT_EQ (before.getPixelAt (6, 16).getAlpha(), 0);
    EXPECT_GT (after.getPixelAt (6, 16).getAlpha(), 0);

    link.mouseExit (event);
    EXPECT_FALSE (link.isHovered());
}
