#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "ui/Downloader.h"

#include <atomic>
#include <functional>
#include <memory>

//==============================================================================
/** A rounded panel with an outline and a one-pixel lip under it. */
class RoundedBox final : public juce::Component
{
public:
    RoundedBox();

    void setColours (juce::Colour outline, juce::Colour edge, juce::Colour fill);
    void setCornerSize (int newCornerSize);

    void paint (juce::Graphics&) override;

private:
    int cornerSize = 6;
    juce::Colour fillColour { 0xff1f2020 }, outlineColour { 0xff000000 }, edgeColour { 0xff1f2122 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RoundedBox)
};

//==============================================================================
/** A text button with an optional icon on its left. */
class IconTextButton final : public juce::TextButton
{
public:
    IconTextButton();

    /** Takes ownership of the icon (may be null) and repaints. */
    void setIcon (std::unique_ptr<juce::Drawable> newIcon);
    void setFontSize (float newSize)                    { fontSize = newSize; }

    void paintButton (juce::Graphics&, bool highlighted, bool down) override;

private:
    std::unique_ptr<juce::Drawable> icon;
    float fontSize = 12.5f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IconTextButton)
};

//==============================================================================
/** A clickable bold text with an optional icon, coloured differently on hover.
    Tab reaches it, Return or Space presses it, and screen readers see a button
    named by its text.
*/
class ClickLabel final : public juce::Component
{
public:
    ClickLabel();

    std::function<void()> onClick;

    void setFontSize (int newSize);
    void setColor (juce::Colour newColour);
    void setOnColor (juce::Colour newColour);
    void setText (const juce::String& newText);
    void setJustification (juce::Justification newJustification);
    void setIcon (std::unique_ptr<juce::Drawable> newIcon);
    void setIconOffset (int x = 0, int y = 0);

    const juce::String& getText() const noexcept        { return text; }
    juce::Colour getCurrentColour() const noexcept      { return color; }
    bool isEntered() const noexcept                     { return entered; }

    void paint (juce::Graphics&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    bool keyPressed (const juce::KeyPress&) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

private:
    int fontSize = 24;
    juce::Colour color { juce::Colours::black }, textColor { juce::Colours::black };
    juce::Colour onColor { juce::Colours::orange.withAlpha (0.68f) };
    juce::String text;
    juce::Justification justification { juce::Justification::left };
    std::unique_ptr<juce::Drawable> icon;
    bool entered = false;
    int iconXoffset = 0, iconYoffset = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ClickLabel)
};

//==============================================================================
/** A label that opens a web address when clicked and underlines while hovered.
    Tab reaches it, Return or Space opens it, and screen readers see a link
    named by the label's text.
*/
class LabelLink final : public juce::Component
{
public:
    LabelLink();

    /** The text and font are set by the owner. */
    juce::Label label;

    void setURL (const juce::String& newURL)            { url = newURL; }
    bool isHovered() const noexcept                     { return hovered; }

    void paint (juce::Graphics&) override;
    void resized() override;
    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    bool keyPressed (const juce::KeyPress&) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

private:
    void open();

    bool hovered = false;
    juce::String url;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LabelLink)
};

//==============================================================================
/** A thin progress bar; a value of 1 or more hides it. Screen readers read
    its value from 0 to 1.
*/
class LoadingProgress final : public juce::Component
{
public:
    LoadingProgress();

    /** Stores the value clamped to 0..1 and repaints when it changed. */
    void setProgress (double newProgress);
    double getProgress() const noexcept                 { return progress; }

    void paint (juce::Graphics&) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

private:
    double progress = 1.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LoadingProgress)
};

//==============================================================================
/** A text that only screen readers see: it draws nothing and takes no clicks,
    and its accessible title is asked for each time it is read, for texts that
    change without telling anyone (a status painted by its owner).
*/
class SpokenText final : public juce::Component
{
public:
    SpokenText();

    /** Returns the text to read now; called on the message thread. */
    std::function<juce::String()> text;

    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SpokenText)
};

//==============================================================================
/** An accessibility handler whose title comes from a function on every read.
    For components whose spoken name follows state they paint themselves.
*/
class LiveTitleHandler final : public juce::AccessibilityHandler
{
public:
    LiveTitleHandler (juce::Component&, juce::AccessibilityRole, std::function<juce::String()> title,
                      juce::AccessibilityActions = {}, Interfaces = {});

    juce::String getTitle() const override;

private:
    std::function<juce::String()> title;
};
