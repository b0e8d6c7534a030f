#include "ui/VortelLookAndFeel.h"

#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/Palette.h"

#include <BinaryData.h>

namespace QuillotoneVortel
{

namespace
{
    juce::uint8 channel (float value)
    {
        return (juce::uint8) juce::jlimit (0, 255, (int) value);
    }

    bool isEffectivelyEnabled (const juce::Component& component)
    {
        auto* parent = component.getParentComponent();
        return component.isEnabled() && (parent == nullptr || parent->isEnabled());
    }
}

//==============================================================================
namespace Rules
{

juce::Colour lightenChannels (juce::Colour c, float divisor)
{
    auto f = [divisor] (juce::uint8 v) { return channel (255.0f - (255.0f - (float) v) / divisor); };
    return juce::Colour (f (c.getRed()), f (c.getGreen()), f (c.getBlue()), c.getAlpha());
}

juce::Colour darkenChannels (juce::Colour c, float divisor)
{
    return scaleChannels (c, 1.0f / divisor);
}

juce::Colour scaleChannels (juce::Colour c, float factor)
{
    auto f = [factor] (juce::uint8 v) { return channel ((float) v * factor); };
    return juce::Colour (f (c.getRed()), f (c.getGreen()), f (c.getBlue()), c.getAlpha());
}

juce::Colour buttonFillColour (juce::Colour background, bool enabled, bool highlighted, bool pressed, bool darkStyle)
{
    auto colour = background.withMultipliedAlpha (enabled ? 0.9f : 0.5f);

    if (highlighted && enabled)
        colour = Palette::orange.withAlpha ((juce::uint8) (darkStyle ? 0x24 : 0x1f));

    if (pressed)
        colour = darkStyle ? lightenChannels (colour, 1.1f) : darkenChannels (colour, 1.1f);

    return colour;
}

juce::Colour buttonOutlineColour (juce::Colour textColourOff, bool enabled, bool highlighted, bool pressed)
{
    auto colour = textColourOff;

    if (highlighted && enabled)
        colour = scaleChannels (Palette::orange, 0.893f).withAlpha ((juce::uint8) 0x7a);

    if (pressed)
        colour = scaleChannels (colour, 0.833f);

    return colour;
}

juce::Colour buttonTextColour (juce::Colour textColourOn, bool enabled)
{
    return enabled ? textColourOn : textColourOn.withMultipliedAlpha (0.45f);
}

juce::Path buttonShape (float width, float height, int flags)
{
    juce::Path path;

    if (width <= 1.0f || height <= 1.0f)
        return path;

    auto left   = (flags & juce::Button::ConnectedOnLeft) != 0;
    auto right  = (flags & juce::Button::ConnectedOnRight) != 0;
    auto top    = (flags & juce::Button::ConnectedOnTop) != 0;
    auto bottom = (flags & juce::Button::ConnectedOnBottom) != 0;

    path.addRoundedRectangle (0.5f, 0.5f, width - 1.0f, height - 1.0f, 6.0f, 6.0f,
                              ! (left || top), ! (right || top), ! (left || bottom), ! (right || bottom));
    return path;
}

juce::Rectangle<int> placeTooltip (juce::Point<int> mouse, juce::Rectangle<int> parentArea, int width, int height)
{
    auto x = mouse.x < parentArea.getCentreX() ? mouse.x + 24 : mouse.x - width - 12;
    auto y = mouse.y < parentArea.getCentreY() ? mouse.y + 6 : mouse.y - height - 6;

    return juce::Rectangle<int> (x, y, width, height).constrainedWithin (parentArea);
}

juce::Colour menuHighlightColour (juce::Colour highlight, float highlightAmount, float menuOpacity, bool darkStyle)
{
    auto divisor = 1.0f + highlightAmount;
    auto colour = darkStyle ? lightenChannels (highlight, divisor) : darkenChannels (highlight, divisor);
    return colour.withAlpha (menuOpacity);
}

} // namespace Rules

//==============================================================================
VortelLookAndFeel::VortelLookAndFeel()
{
    setColour (menuOutlineColourId, juce::Colour (0x73858482));
    setColour (focusOutlineColourId, Palette::menuHighlight);

    cornerIcon = Icons::fromResource (BinaryData::corner_svg, BinaryData::corner_svgSize);

    // Build the shared faces now, so that no paint call pays for it.
    Fonts::regularTypeface();
}

int VortelLookAndFeel::getMinimumScrollbarThumbSize (juce::ScrollBar& bar)
{
    return 2 * juce::jmin (bar.getWidth(), bar.getHeight());
}

juce::Typeface::Ptr VortelLookAndFeel::getTypefaceForFont (const juce::Font& font)
{
    return font.isBold() ? Fonts::boldTypeface() : Fonts::regularTypeface();
}

//==============================================================================
void VortelLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& background,
                                              bool highlighted, bool down)
{
    auto shape = Rules::buttonShape ((float) button.getWidth(), (float) button.getHeight(), button.getConnectedEdgeFlags());

    if (shape.isEmpty())
        return;

    auto enabled = isEffectivelyEnabled (button);

    g.setColour (Rules::buttonFillColour (background, enabled, highlighted, down, darkStyle));
    g.fillPath (shape);

    g.setColour (Rules::buttonOutlineColour (findColour (juce::TextButton::textColourOffId), enabled, highlighted, down));
    g.strokePath (shape, juce::PathStrokeType (1.0f));
}

juce::Font VortelLookAndFeel::getTextButtonFont (juce::TextButton&, int)
{
    return Fonts::regular (14.0f);
}

void VortelLookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool, bool)
{
    auto font = getTextButtonFont (button, button.getHeight());
    g.setFont (font);
    g.setColour (Rules::buttonTextColour (button.findColour (juce::TextButton::textColourOnId), isEffectivelyEnabled (button)));

    auto yIndent = juce::jmin (juce::roundToInt (button.getHeight() / 2.0f), 4);
    auto xIndent = juce::jmin (juce::jmin (button.getWidth(), button.getHeight()) / 8 + 2, juce::roundToInt (font.getHeight()));

    g.drawFittedText (button.getButtonText(),
                      xIndent, yIndent, button.getWidth() - 2 * xIndent, button.getHeight() - 2 * yIndent,
                      juce::Justification::centred, 1);
}

void VortelLookAndFeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool highlighted, bool down)
{
    if (button.hasKeyboardFocus (true))
    {
        g.setColour (button.findColour (juce::TextEditor::focusedOutlineColourId));
        g.drawRect (button.getLocalBounds());
    }

    auto fontSize = juce::jmin (14.0f, (float) button.getHeight() * 0.75f);
    auto tickSize = fontSize * 1.1f;

    drawTickBox (g, button, 4.0f, ((float) button.getHeight() - tickSize) * 0.5f, tickSize, tickSize,
                 button.getToggleState(), button.isEnabled(), highlighted, down);

    g.setColour (button.findColour (juce::ToggleButton::textColourId).withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f));
    g.setFont (juce::Font (fontSize));
    g.drawFittedText (button.getButtonText(),
                      juce::Rectangle<int> ((int) (tickSize + 5.0f), 0, (int) ((float) button.getWidth() - tickSize - 7.0f), button.getHeight()),
                      juce::Justification::centredLeft, 10);
}

void VortelLookAndFeel::drawTickBox (juce::Graphics& g, juce::Component& component, float x, float y, float w, float h,
                                     bool ticked, bool, bool, bool)
{
    auto diameter = juce::jmin (w, h) * 0.7f;
    juce::Rectangle<float> circle (x - 2.0f, y + (h - diameter) * 0.5f, diameter, diameter);

    g.setColour (component.findColour (juce::ToggleButton::textColourId));

    if (darkStyle)
        g.fillEllipse (circle);
    else
        g.drawEllipse (circle, 1.0f);

    if (ticked)
    {
        g.setColour (component.findColour (juce::ToggleButton::tickColourId));
        g.fillEllipse (circle.reduced (3.0f));
    }
}

//==============================================================================
void VortelLookAndFeel::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
{
    g.fillAll (juce::Colours::transparentBlack);

    juce::Rectangle<float> area (1.0f, 1.0f, (float) width - 2.0f, (float) height - 2.0f);
    g.setColour (findColour (juce::PopupMenu::highlightedBackgroundColourId).withMultipliedAlpha (menuOpacity));
    g.fillRoundedRectangle (area, 2.0f);

    g.setColour (findColour (menuOutlineColourId));
    g.drawRoundedRectangle (area, 2.0f, 1.0f);
}

void VortelLookAndFeel::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& fullArea,
                                           bool isSeparator, bool isActive, bool isHighlighted, bool isTicked,
                                           bool hasSubMenu, const juce::String& text, const juce::String& shortcutKeyText,
                                           const juce::Drawable* icon, const juce::Colour* textColourToUse)
{
    auto area = fullArea.reduced (1);
    auto side = juce::jmin (area.getWidth(), area.getHeight());

    if (isSeparator)
    {
        auto colour = darkStyle ? Rules::lightenChannels (findColour (juce::PopupMenu::highlightedBackgroundColourId), 1.4f).withAlpha ((juce::uint8) 115)
                                : findColour (juce::PopupMenu::textColourId).withAlpha ((juce::uint8) 128);
        g.setColour (colour);
        g.fillRect (area.getX(), area.getCentreY(), area.getWidth(), 1);
        return;
    }

    auto textColour = textColourToUse != nullptr ? *textColourToUse : findColour (juce::PopupMenu::textColourId);

    if (isHighlighted)
    {
        g.setColour (Rules::menuHighlightColour (findColour (juce::PopupMenu::highlightedBackgroundColourId),
                                                 highlightAmount, menuOpacity, darkStyle));
        g.fillRoundedRectangle (juce::Rectangle<int> (5, 3, fullArea.getWidth() - 10, fullArea.getHeight() - 6)
                                    .translated (fullArea.getX(), fullArea.getY()).toFloat(), 3.0f);
        textColour = findColour (juce::PopupMenu::highlightedTextColourId);
    }

    g.setOpacity (isActive ? 1.0f : 0.3f);

    auto iconArea = area.withWidth (side);

    if (icon != nullptr)
    {
        icon->drawWithin (g, iconArea.withTrimmedLeft (8).withTrimmedTop (4).toFloat(),
                          juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize, isActive ? 1.0f : 0.3f);
    }
    else if (isTicked)
    {
        g.setColour (textColour.withMultipliedAlpha (isActive ? 1.0f : 0.3f));
        g.fillEllipse (juce::Rectangle<float> (6.0f, 6.0f).withCentre (iconArea.toFloat().getCentre()).translated (0.0f, tickOffsetY));
    }

    auto font = getPopupMenuFont();

    if (hasSubMenu)
    {
        auto arrowHeight = font.getHeight() * 0.65f;
        auto tipX = (float) area.getRight() - 5.0f;
        auto midY = (float) area.getCentreY();

        juce::Path arrow;
        arrow.addTriangle (tipX - arrowHeight * 0.6f, midY - arrowHeight * 0.5f,
                           tipX, midY,
                           tipX - arrowHeight * 0.6f, midY + arrowHeight * 0.5f);
        g.setColour (textColour.withMultipliedAlpha (isActive ? 1.0f : 0.3f));
        g.fillPath (arrow);
    }

    auto textArea = area.withTrimmedLeft (side + 7).withTrimmedRight (hasSubMenu ? 16 : 4);

    g.setColour (textColour.withMultipliedAlpha (isActive ? 1.0f : 0.3f));
    g.setFont (font);
    g.drawText (text, textArea, juce::Justification::centredLeft, true);

    if (shortcutKeyText.isNotEmpty())
    {
        g.setFont (font.withHeight (font.getHeight() * 0.75f));
        g.drawText (shortcutKeyText, textArea, juce::Justification::centredRight, true);
    }
}

void VortelLookAndFeel::drawPopupMenuSectionHeader (juce::Graphics& g, const juce::Rectangle<int>& area,
                                                    const juce::String& sectionName)
{
    g.setFont (Fonts::bold (16.0f));
    g.setColour (findColour (juce::PopupMenu::headerTextColourId));
    g.drawText (sectionName, area.getX() + 12, area.getY(), area.getWidth() - 16, (int) ((float) area.getHeight() * 0.8f),
                juce::Justification::bottomLeft, true);
}

juce::Font VortelLookAndFeel::getPopupMenuFont()
{
    return Fonts::regular (14.0f).withExtraKerningFactor (0.01f);
}

void VortelLookAndFeel::drawPopupMenuUpDownArrow (juce::Graphics&, int, int, bool) {}

juce::Component* VortelLookAndFeel::getParentComponentForMenuOptions (const juce::PopupMenu::Options& options)
{
    // Menus open inside the window rather than as desktop windows of their own.
    if (auto* target = options.getTargetComponent())
        if (auto* parent = target->getParentComponent())
            return parent;

    return options.getParentComponent();
}

int VortelLookAndFeel::getPopupMenuBorderSize()
{
    return 2;
}

//==============================================================================
void VortelLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool, int, int, int, int, juce::ComboBox& box)
{
    auto w = (float) width, h = (float) height;

    juce::Path chevron;
    chevron.startNewSubPath (w - 19.0f, h / 2.0f - 2.0f);
    chevron.lineTo (w - 15.0f, h / 2.0f + 2.0f);
    chevron.lineTo (w - 11.0f, h / 2.0f - 2.0f);

    g.setColour (box.findColour (juce::ComboBox::arrowColourId).withMultipliedAlpha (box.isEnabled() ? 0.9f : 0.3f));
    g.strokePath (chevron, juce::PathStrokeType (1.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
}

juce::Font VortelLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    return Fonts::regular (box.getName() == "SpringType" ? 16.0f : 14.0f).withExtraKerningFactor (0.01f);
}

void VortelLookAndFeel::positionComboBoxText (juce::ComboBox& box, juce::Label& label)
{
    label.setBounds (1, 1, box.getWidth() - 24, box.getHeight() - 2);
    label.setFont (getComboBoxFont (box));
}

juce::PopupMenu::Options VortelLookAndFeel::getOptionsForComboBoxPopupMenu (juce::ComboBox& box, juce::Label& label)
{
    return juce::PopupMenu::Options().withTargetComponent (&box)
                                     .withItemThatMustBeVisible (box.getSelectedId())
                                     .withMinimumWidth (box.getWidth())
                                     .withMaximumNumColumns (1)
                                     .withStandardItemHeight (label.getHeight());
}

juce::Font VortelLookAndFeel::getLabelFont (juce::Label& label)
{
    if (label.getName() == "pluginName")
        return Fonts::bold (27.0f).withExtraKerningFactor (0.01f);

    return label.getFont();
}

juce::Font VortelLookAndFeel::getSliderPopupFont (juce::Slider&)
{
    return juce::Font (14.0f, juce::Font::plain).withExtraKerningFactor (0.01f);
}

//==============================================================================
void VortelLookAndFeel::drawCornerResizer (juce::Graphics& g, int w, int h, bool isMouseOver, bool)
{
    if (cornerIcon == nullptr)
        return;

    auto icon = cornerIcon->createCopy();
    icon->replaceColour (juce::Colours::black, isMouseOver ? Palette::lightGrey : Palette::lightGrey.withAlpha ((juce::uint8) 0x33));
    icon->drawWithin (g, juce::Rectangle<float> (2.0f, 2.0f, (float) w - 4.0f, (float) h - 4.0f),
                      juce::RectanglePlacement::centred, 1.0f);
}

void VortelLookAndFeel::drawResizableFrame (juce::Graphics&, int, int, const juce::BorderSize<int>&) {}

//==============================================================================
juce::TextLayout VortelLookAndFeel::layoutTooltipText (const juce::String& text, juce::Colour colour)
{
    juce::AttributedString attributed;
    attributed.setJustification (juce::Justification::centred);
    attributed.append (text, getPopupMenuFont(), colour);

    juce::TextLayout layout;
    layout.createLayoutWithBalancedLineLengths (attributed, 400.0f);
    return layout;
}

juce::Rectangle<int> VortelLookAndFeel::getTooltipBounds (const juce::String& tipText, juce::Point<int> screenPos,
                                                          juce::Rectangle<int> parentArea)
{
    auto layout = layoutTooltipText (tipText, juce::Colours::black);
    auto width = (int) (layout.getWidth() + 18.0f);
    auto height = (int) (layout.getHeight() + 9.0f);

    return Rules::placeTooltip (screenPos, parentArea, width, height);
}

void VortelLookAndFeel::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    juce::Rectangle<float> area (0.0f, 0.0f, (float) width, (float) height);

    g.setColour (findColour (juce::TooltipWindow::backgroundColourId));
    g.fillRoundedRectangle (area, 3.0f);

    g.setColour (findColour (juce::TooltipWindow::outlineColourId));
    g.drawRoundedRectangle (area.reduced (0.5f), 3.0f, 1.0f);

    layoutTooltipText (text, findColour (juce::TooltipWindow::textColourId)).draw (g, area);
}

//==============================================================================
void applyManagerPalette (VortelLookAndFeel& lf)
{
    using namespace juce;

    const std::pair<int, uint32> palette[] = {
        { PopupMenu::backgroundColourId,            0x00000000 },
        { PopupMenu::textColourId,                  Palette::text.getARGB() },
        { PopupMenu::headerTextColourId,            Palette::text.getARGB() },
        { PopupMenu::highlightedBackgroundColourId, 0xffbbbab6 },
        { PopupMenu::highlightedTextColourId,       0xff151515 },
        { Label::textColourId,                      Palette::text.getARGB() },
        { TooltipWindow::textColourId,              Palette::text.getARGB() },
        { ComboBox::textColourId,                   0xff8b9197 },
        { ComboBox::arrowColourId,                  0xeb8b9197 },
        { BubbleComponent::backgroundColourId,      0xf2bbbab6 },
        { BubbleComponent::outlineColourId,         0x73858482 },
        { TextButton::buttonColourId,               0x26bbbab6 },
        { TextButton::textColourOffId,              0xff000000 },
        { TextButton::textColourOnId,               Palette::text.getARGB() },
        { ToggleButton::textColourId,               Palette::text.getARGB() },
        { ToggleButton::tickColourId,               Palette::text.getARGB() },
        { TextEditor::backgroundColourId,           0x00000000 },
        { TextEditor::outlineColourId,              0x00000000 },
        { TextEditor::focusedOutlineColourId,       0x00000000 },
        { TextEditor::textColourId,                 Palette::text.getARGB() },
        { TextEditor::highlightColourId,            0xff8f8f8c },
        { TextEditor::highlightedTextColourId,      0xff181818 },
        { CaretComponent::caretColourId,            0xff535353 },
        { 0x1007400,                                0x8ccacaca },
        { 0x1007500,                                Palette::text.getARGB() },
        { 0x1007600,                                0x8cb3b2af },
        { VortelLookAndFeel::menuOutlineColourId,   0x73858482 },
        { 0x1007800,                                0xf2bbbab6 },
        { VortelLookAndFeel::focusOutlineColourId,  Palette::menuHighlight.getARGB() },
    };

    for (auto& [id, argb] : palette)
        lf.setColour (id, Colour (argb));

    lf.highlightAmount = 0.2f;
    lf.menuOpacity = 0.95f;
    lf.tickOffsetY = 0.5f;
    lf.darkStyle = false;
}

} // namespace QuillotoneVortel
