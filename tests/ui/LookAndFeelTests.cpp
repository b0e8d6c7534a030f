#include <gtest/gtest.h>

#include "ui/Fonts.h"
#include "ui/VortelLookAndFeel.h"

using namespace QuillotoneVortel;

namespace
{
    const juce::Colour face { 0x26bbbab6 };
}

TEST (VortelLookAndFeel, DisabledButtonsFadeTheirFaceAndText)
{
    auto enabled = Rules::buttonFillColour (face, true, false, false, false);
    auto disabled = Rules::buttonFillColour (face, false, false, false, false);
    EXPECT_NEAR (enabled.getFloatAlpha(), face.getFloatAlpha() * 0.9f, 0.005f);
    EXPECT_NEAR (disabled.getFloatAlpha(), face.getFloatAlpha() * 0.5f, 0.005f);

    // Hover does nothing to a disabled button.
    EXPECT_EQ (Rules::buttonFillColour (face, false, true, false, false), disabled);

    auto text = juce::Colour (0xff202020);
    EXPECT_EQ (Rules::buttonTextColour (text, true), text);
    EXPECT_NEAR (Rules::buttonTextColour (text, false).getFloatAlpha(), 0.45f, 0.005f);

    // Through a real button: a disabled parent disables the child's look too.
    VortelLookAndFeel lf;
    applyManagerPalette (lf);
    juce::Component parent;
    juce::TextButton button ("OK");
    parent.addAndMakeVisible (button);
    parent.setLookAndFeel (&lf);
    parent.setSize (100, 40);
    button.setBounds (0, 0, 100, 40);

    auto snapshotAlpha = [&] { return button.createComponentSnapshot ({ 50, 3, 1, 1 }).getPixelAt (0, 0).getAlpha(); };
    auto enabledAlpha = snapshotAlpha();
    parent.setEnabled (false);
    auto disabledAlpha = snapshotAlpha();
    EXPECT_GT (enabledAlpha, disabledAlpha);
    EXPECT_NEAR ((float) disabledAlpha / (float) enabledAlpha, 0.5f / 0.9f, 0.1f);
    parent.setLookAndFeel (nullptr);
}

TEST (VortelLookAndFeel, HighlightAndPressInBothStyles)
{
    for (auto dark : { true, false })
    {
        auto hover = Rules::buttonFillColour (face, true, true, false, dark);
        EXPECT_EQ (hover.getRed(), 0xff);
        EXPECT_EQ (hover.getGreen(), 0xa5);
        EXPECT_EQ (hover.getBlue(), 0x00);
        EXPECT_EQ (hover.getAlpha(), dark ? 0x24 : 0x1f);
    }

    // Pressed: dark style lightens each channel, light style darkens it; alpha stays.
    auto c = juce::Colour (0x80646e78);
    auto lighter = Rules::buttonFillColour (c.withAlpha (1.0f), true, false, true, true);
    auto darker = Rules::buttonFillColour (c.withAlpha (1.0f), true, false, true, false);
    auto base = c.withAlpha (0.9f);
    EXPECT_EQ (lighter.getRed(), (int) (255.0f - (255.0f - base.getRed()) / 1.1f));
    EXPECT_EQ (darker.getRed(), (int) (base.getRed() / 1.1f));
    EXPECT_GT (lighter.getGreen(), base.getGreen());
    EXPECT_LT (darker.getBlue(), base.getBlue());
    EXPECT_EQ (lighter.getAlpha(), base.getAlpha());
    EXPECT_EQ (darker.getAlpha(), base.getAlpha());

    // Hover and press together: the orange face, pressed.
    auto both = Rules::buttonFillColour (face, true, true, true, false);
    EXPECT_EQ (both.getGreen(), (int) (0xa5 / 1.1f));

    auto outline = Rules::buttonOutlineColour (juce::Colours::black, true, false, false);
    EXPECT_EQ (outline, juce::Colours::black);
    auto hoverOutline = Rules::buttonOutlineColour (juce::Colours::black, true, true, false);
    EXPECT_EQ (hoverOutline.getRed(), (int) (255 * 0.893f));
    EXPECT_EQ (hoverOutline.getAlpha(), 0x7a);
    auto pressedOutline = Rules::buttonOutlineColour (juce::Colour (0xff808080), true, false, true);
    EXPECT_EQ (pressedOutline.getRed(), (int) (0x80 * 0.833f));

    EXPECT_EQ (Rules::menuHighlightColour (juce::Colour (0xffbbbab6), 0.2f, 0.95f, false).getRed(), (int) (0xbb / 1.2f));
    EXPECT_NEAR (Rules::menuHighlightColour (juce::Colour (0xffbbbab6), 0.2f, 0.95f, false).getFloatAlpha(), 0.95f, 0.005f);
    EXPECT_GT (Rules::menuHighlightColour (juce::Colour (0xffbbbab6), 0.2f, 1.0f, true).getRed(), 0xbb);
}

TEST (VortelLookAndFeel, ConnectedEdgesGetSquareCorners)
{
    auto shape = [] (int flags) { return Rules::buttonShape (100.0f, 30.0f, flags); };

    // A point just inside the bounds at a corner is inside only when the corner is square.
    auto topLeft = juce::Point<float> (1.0f, 1.0f), topRight = juce::Point<float> (98.5f, 1.0f);
    auto bottomLeft = juce::Point<float> (1.0f, 28.5f), bottomRight = juce::Point<float> (98.5f, 28.5f);

    auto plain = shape (0);
    for (auto p : { topLeft, topRight, bottomLeft, bottomRight })
        EXPECT_FALSE (plain.contains (p));

    auto segment = shape (juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight);
    for (auto p : { topLeft, topRight, bottomLeft, bottomRight })
        EXPECT_TRUE (segment.contains (p));

    auto top = shape (juce::Button::ConnectedOnTop);
    EXPECT_TRUE (top.contains (topLeft));
    EXPECT_TRUE (top.contains (topRight));
    EXPECT_FALSE (top.contains (bottomLeft));

    EXPECT_TRUE (Rules::buttonShape (1.0f, 30.0f, 0).isEmpty());
    EXPECT_TRUE (Rules::buttonShape (50.0f, 0.5f, 0).isEmpty());
}

TEST (VortelLookAndFeel, TooltipOpensAwayFromTheNearestCorner)
{
    const juce::Rectangle<int> parent (0, 0, 900, 700);

    EXPECT_EQ (Rules::placeTooltip ({ 100, 100 }, parent, 80, 20), juce::Rectangle<int> (124, 106, 80, 20));
    EXPECT_EQ (Rules::placeTooltip ({ 800, 100 }, parent, 80, 20), juce::Rectangle<int> (708, 106, 80, 20));
    EXPECT_EQ (Rules::placeTooltip ({ 100, 600 }, parent, 80, 20), juce::Rectangle<int> (124, 574, 80, 20));
    // Lower right quarter: above and to the left.
    EXPECT_EQ (Rules::placeTooltip ({ 800, 600 }, parent, 80, 20), juce::Rectangle<int> (708, 574, 80, 20));

    // Kept inside the parent area.
    EXPECT_EQ (Rules::placeTooltip ({ 440, 340 }, parent, 600, 20), juce::Rectangle<int> (300, 346, 600, 20));

    VortelLookAndFeel lf;
    auto bounds = lf.getTooltipBounds ("Install every format", { 100, 100 }, parent);
    EXPECT_EQ (bounds.getPosition(), juce::Point<int> (124, 106));
    EXPECT_GT (bounds.getWidth(), 18 + 50);
    EXPECT_LT (bounds.getWidth(), 18 + 400 + 1);
    EXPECT_GT (bounds.getHeight(), 9 + 10);

    auto longTip = lf.getTooltipBounds (juce::String::repeatedString ("wrap ", 200), { 100, 100 }, parent);
    EXPECT_LE (longTip.getWidth(), 400 + 18);
}

TEST (VortelLookAndFeel, FontsAreCreatedOnceForAllInstances)
{
    VortelLookAndFeel first;
    VortelLookAndFeel second;
    EXPECT_EQ (Fonts::typefacesCreated(), 2);

    juce::Font boldFont (14.0f, juce::Font::bold), plainFont (14.0f);
    EXPECT_EQ (first.getTypefaceForFont (boldFont), second.getTypefaceForFont (boldFont));
    EXPECT_EQ (first.getTypefaceForFont (boldFont), Fonts::boldTypeface());
    EXPECT_EQ (first.getTypefaceForFont (plainFont), Fonts::regularTypeface());
}

TEST (VortelLookAndFeel, WidgetMetrics)
{
    VortelLookAndFeel lf;

    juce::ScrollBar bar (true);
    bar.setSize (8, 200);
    EXPECT_EQ (lf.getMinimumScrollbarThumbSize (bar), 16);

    juce::ComboBox box, spring ("SpringType");
    box.setSize (152, 23);
    EXPECT_FLOAT_EQ (lf.getComboBoxFont (box).getHeight(), 14.0f);
    EXPECT_FLOAT_EQ (lf.getComboBoxFont (spring).getHeight(), 16.0f);
    juce::Label text;
    lf.positionComboBoxText (box, text);
    EXPECT_EQ (text.getBounds(), juce::Rectangle<int> (1, 1, 128, 21));

    juce::Label name ("pluginName"), other ("other");
    other.setFont (juce::Font (11.0f));
    EXPECT_FLOAT_EQ (lf.getLabelFont (name).getHeight(), 27.0f);
    EXPECT_TRUE (lf.getLabelFont (name).isBold());
    EXPECT_FLOAT_EQ (lf.getLabelFont (other).getHeight(), 11.0f);

    // Menus open inside the window: the target's parent hosts them.
    juce::Component window, target;
    window.addAndMakeVisible (target);
    EXPECT_EQ (lf.getParentComponentForMenuOptions (juce::PopupMenu::Options().withTargetComponent (&target)), &window);
    EXPECT_EQ (lf.getParentComponentForMenuOptions (juce::PopupMenu::Options()), nullptr);
    EXPECT_EQ (lf.getPopupMenuBorderSize(), 2);
}
