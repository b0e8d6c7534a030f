#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/**
    Keyboard use of a window's content: draws the focus outline and lets Space
    press the focused button.

    It lies over the whole root component, always on top and transparent to
    the mouse, and outlines the focused control in the look and feel's
    focus-outline colour, but only while the keyboard is in use: from a Tab,
    Shift+Tab or arrow key until the next mouse click anywhere, so a mouse
    user sees no outline at all. While the keyboard is in use, a focus that
    its control dropped (disabled under it) goes to the nearest control.
    Message thread only.
*/
class KeyboardNavigation final : public juce::Component,
                                 private juce::FocusChangeListener,
                                 private juce::KeyListener
{
public:
    /** Covers the root and listens to its keys; the root must outlive this. */
    explicit KeyboardNavigation (juce::Component& root);
    ~KeyboardNavigation() override;

    /** True from a navigation key until the next mouse click. */
    bool isKeyboardInUse() const noexcept               { return keyboardInUse; }

    /** The outline's rectangle in the root's space; empty while none is drawn. */
    juce::Rectangle<int> outlineArea() const;

    /** The control the outline follows, whether or not it is drawn now. */
    juce::Component* getTarget() const noexcept         { return target.getComponent(); }

    //==============================================================================
    void paint (juce::Graphics&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void parentSizeChanged() override;

private:
    class MoveWatcher;

    void globalFocusChanged (juce::Component* focused) override;
    bool keyPressed (const juce::KeyPress&, juce::Component* origin) override;
    void follow (juce::Component* focused);
    bool recoverFrom (juce::Component& lost);
    void setKeyboardInUse (bool inUse);

    juce::Component& root;
    juce::Component::SafePointer<juce::Component> target;
    std::unique_ptr<MoveWatcher> watcher;
    bool keyboardInUse = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KeyboardNavigation)
};
