#include "ui/Utilities.h"

#include "ui/Palette.h"

//==============================================================================
RoundedBox::RoundedBox()
{
    setBufferedToImage (true);
}

void RoundedBox::setColours (juce::Colour outline, juce::Colour edge, juce::Colour fill)
{
    outlineColour = outline;
    edgeColour = edge;
    fillColour = fill;
    repaint();
}

void RoundedBox::setCornerSize (int newCornerSize)
{
    cornerSize = newCornerSize;
    repaint();
}

void RoundedBox::paint (juce::Graphics& g)
{
    auto w = (float) getWidth(), h = (float) getHeight();
    auto corner = (float) cornerSize;

    g.setColour (fillColour);
    g.fillRoundedRectangle (1.0f, 1.0f, w - 2.0f, h - 3.0f, corner);

    // The edge outline is one pixel taller and shows as a lip under the panel.
    g.setColour (edgeColour);
    g.drawRoundedRectangle (1.0f, 1.0f, w - 2.0f, h - 2.0f, corner, 1.0f);

    g.setColour (outlineColour);
    g.drawRoundedRectangle (1.0f, 1.0f, w - 2.0f, h - 3.0f, corner, 1.0f);
}

//==============================================================================
IconTextButton::IconTextButton()
{
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
}

void IconTextButton::setIcon (std::unique_ptr<juce::Drawable> newIcon)
{
    icon = std::move (newIcon);
    repaint();
}

void IconTextButton::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    getLookAndFeel().drawButtonBackground (g, *this, findColour (juce::TextButton::buttonColourId), highlighted, down);

    auto area = getLocalBounds().reduced (4);

    if (icon != nullptr)
    {
        auto iconArea = area.removeFromLeft (area.getHeight() - 8).translated (3, 0);
        icon->drawWithin (g, iconArea.toFloat(), juce::RectanglePlacement::centred, 1.0f);
        area.removeFromLeft (6);
    }

    g.setColour (Palette::text);
    g.setFont (juce::Font (fontSize));
    g.drawFittedText (getButtonText(), area, juce::Justification::centred, 1);
}

//==============================================================================
ClickLabel::ClickLabel()
{
    setMouseCursor (juce::MouseCursor::PointingHandCursor);

    // A click keeps the focus where it was, as before the keyboard could come here.
    setWantsKeyboardFocus (true);
    setMouseClickGrabsKeyboardFocus (false);
}

void ClickLabel::setFontSize (int newSize)                   { fontSize = newSize; repaint(); }
void ClickLabel::setColor (juce::Colour newColour)           { color = textColor = newColour; repaint(); }
void ClickLabel::setOnColor (juce::Colour newColour)         { onColor = newColour; repaint(); }
void ClickLabel::setText (const juce::String& newText)       { text = newText; setTitle (newText); repaint(); }
void ClickLabel::setJustification (juce::Justification j)    { justification = j; repaint(); }
void ClickLabel::setIcon (std::unique_ptr<juce::Drawable> i) { icon = std::move (i); repaint(); }

void ClickLabel::setIconOffset (int x, int y)
{
    iconXoffset = x;
    iconYoffset = y;
}

void ClickLabel::paint (juce::Graphics& g)
{
    g.setColour (color);
    g.setFont (juce::Font ((float) fontSize, juce::Font::bold));

    auto area = getLocalBounds().reduced (2);

    if (icon != nullptr)
    {
        auto iconArea = area.removeFromLeft (area.getHeight()).translated (iconXoffset, iconYoffset);
        icon->drawWithin (g, iconArea.toFloat(), juce::RectanglePlacement::centred, entered ? 0.55f : 1.0f);
        area.removeFromLeft (8);
    }

    g.drawFittedText (text, area, justification, 1);
}

void ClickLabel::mouseDown (const juce::MouseEvent&)
{
    if (onClick != nullptr)
        onClick();
}

bool ClickLabel::keyPressed (const juce::KeyPress& key)
{
    if (! key.isKeyCode (juce::KeyPress::returnKey) && ! key.isKeyCode (juce::KeyPress::spaceKey))
        return false;

    if (onClick != nullptr)
        onClick();

    return true;
}

std::unique_ptr<juce::AccessibilityHandler> ClickLabel::createAccessibilityHandler()
{
    return std::make_unique<juce::AccessibilityHandler> (*this, juce::AccessibilityRole::button,
                                                         juce::AccessibilityActions().addAction (juce::AccessibilityActionType::press,
                                                                                                 [this] { if (onClick != nullptr) onClick(); }));
}

void ClickLabel::mouseEnter (const juce::MouseEvent&)
{
    entered = true;
    color = onColor;
    repaint();
}

void ClickLabel::mouseExit (const juce::MouseEvent&)
{
    entered = false;
    color = textColor;
    repaint();
}

//==============================================================================
LabelLink::LabelLink()
{
    // The link itself must see enter, exit and down over its whole area.
    label.setInterceptsMouseClicks (false, false);
    addAndMakeVisible (label);

    // The link speaks for its label.
    label.setAccessible (false);
    setWantsKeyboardFocus (true);
    setMouseClickGrabsKeyboardFocus (false);
}

void LabelLink::paint (juce::Graphics& g)
{
    if (! hovered)
        return;

    const float dashes[] = { 2.0f, 3.0f };
    auto y = (float) getHeight() - 3.5f;

    g.setColour (Palette::text);
    g.drawDashedLine ({ 5.0f, y, (float) getWidth() - 5.0f, y }, dashes, 2, 1.0f);
}

void LabelLink::resized()
{
    label.setBounds (getLocalBounds());
}

void LabelLink::mouseEnter (const juce::MouseEvent&)
{
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    hovered = true;
    repaint();
}

void LabelLink::mouseExit (const juce::MouseEvent&)
{
    setMouseCursor (juce::MouseCursor::NormalCursor);
    hovered = false;
    repaint();
}

void LabelLink::mouseDown (const juce::MouseEvent&)
{
    hovered = true;
    repaint();
    open();
}

void LabelLink::open()
{
    if (url.isNotEmpty())
        juce::URL (url).launchInDefaultBrowser();
}

bool LabelLink::keyPressed (const juce::KeyPress& key)
{
    if (! key.isKeyCode (juce::KeyPress::returnKey) && ! key.isKeyCode (juce::KeyPress::spaceKey))
        return false;

    open();
    return true;
}

std::unique_ptr<juce::AccessibilityHandler> LabelLink::createAccessibilityHandler()
{
    return std::make_unique<LiveTitleHandler> (*this, juce::AccessibilityRole::hyperlink, [this] { return label.getText(); },
                                               juce::AccessibilityActions().addAction (juce::AccessibilityActionType::press,
                                                                                       [this] { open(); }));
}

//==============================================================================
LoadingProgress::LoadingProgress()
{
    setInterceptsMouseClicks (false, false);
}

void LoadingProgress::setProgress (double newProgress)
{
    if (newProgress == progress)
        return;

    progress = juce::jlimit (0.0, 1.0, newProgress);
    repaint();
}

void LoadingProgress::paint (juce::Graphics& g)
{
    if (progress >= 1.0)
        return;

    auto w = (float) getWidth(), h = (float) getHeight();

    g.setColour (Palette::lightGrey);
    g.fillRoundedRectangle (1.0f, 1.0f, (float) progress * (w - 2.0f), h - 2.0f, 4.0f);

    g.setColour (juce::Colours::black);
    g.drawRoundedRectangle (1.0f, 1.0f, w - 2.0f, h - 2.0f, 4.0f, 1.0f);
}

std::unique_ptr<juce::AccessibilityHandler> LoadingProgress::createAccessibilityHandler()
{
    struct Value final : public juce::AccessibilityRangedNumericValueInterface
    {
        explicit Value (LoadingProgress& p) : bar (p) {}

        bool isReadOnly() const override                        { return true; }
        double getCurrentValue() const override                 { return bar.getProgress(); }
        void setValue (double) override                         {}
        AccessibleValueRange getRange() const override          { return { { 0.0, 1.0 }, 0.01 }; }

        LoadingProgress& bar;
    };

    return std::make_unique<juce::AccessibilityHandler> (*this, juce::AccessibilityRole::progressBar,
                                                         juce::AccessibilityActions(),
                                                         juce::AccessibilityHandler::Interfaces { std::make_unique<Value> (*this) });
}

//==============================================================================
SpokenText::SpokenText()
{
    setInterceptsMouseClicks (false, false);
}

std::unique_ptr<juce::AccessibilityHandler> SpokenText::createAccessibilityHandler()
{
    return std::make_unique<LiveTitleHandler> (*this, juce::AccessibilityRole::staticText,
                                               [this] { return text != nullptr ? text() : juce::String(); });
}

//==============================================================================
LiveTitleHandler::LiveTitleHandler (juce::Component& componentToWrap, juce::AccessibilityRole roleToUse,
                                    std::function<juce::String()> titleToUse,
                                    juce::AccessibilityActions actionsToUse, Interfaces interfacesToUse)
    : juce::AccessibilityHandler (componentToWrap, roleToUse, std::move (actionsToUse), std::move (interfacesToUse)),
      title (std::move (titleToUse))
{
}

juce::String LiveTitleHandler::getTitle() const
{
    return title != nullptr ? title() : juce::String();
}
