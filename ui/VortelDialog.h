#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/**
    The one modal dialog of the manager: a dark veil over the whole window with
    a light card holding a title, a message and one or two buttons.

    Every message, confirmation and progress prompt goes through the static
    show functions. All of it runs on the message thread.

    The dialog is modal by covering the window and keeping the keyboard, not
    through the framework's modal manager, which cancels every modal component
    when the window is minimised and (on Windows) swallows the close button
    while one is up. A dialog lives until it is answered or its parent is
    deleted, whichever comes first.
*/
class VortelDialog final : public juce::Component,
                           private juce::ComponentListener
{
public:
    /** The four kinds; the values are what callers pass around. */
    enum Kind
    {
        notice = 0,     ///< confirmations of success
        alert = 1,      ///< errors and warnings
        confirm = 2,    ///< questions, with a "Cancel" button
        progress = 3    ///< long work; its one button conventionally reads "Cancel"
    };

    VortelDialog (const juce::String& title, const juce::String& message, int kind,
                  const juce::String& mainButtonText);
    ~VortelDialog() override;

    //==============================================================================
    /** Shows a dialog over the window that holds the given component.

        The action runs only when the dialog ends with result 1 (the main button
        or Return) and only if the requesting component still exists then.
        The dialog deletes itself when it is dismissed.
    */
    static juce::Component::SafePointer<VortelDialog> showDialog (juce::Component* component,
                                                                  const juce::String& title,
                                                                  const juce::String& message,
                                                                  int kind,
                                                                  const juce::String& mainButtonText,
                                                                  std::function<void()> action);

    /** A one-button dialog reading "OK", with no action. */
    static juce::Component::SafePointer<VortelDialog> showMessage (juce::Component* component,
                                                                   const juce::String& title,
                                                                   const juce::String& message,
                                                                   int kind);

    /** A confirm dialog: the action runs when the main button is pressed. */
    static juce::Component::SafePointer<VortelDialog> showConfirm (juce::Component* component,
                                                                   const juce::String& title,
                                                                   const juce::String& message,
                                                                   const juce::String& mainButtonText,
                                                                   std::function<void()> action);

    /** A dialog with a second button reading otherButtonText, which (like
        Escape) only closes it; the action runs on the main button or Return.
    */
    static juce::Component::SafePointer<VortelDialog> showChoice (juce::Component* component,
                                                                  const juce::String& title,
                                                                  const juce::String& message,
                                                                  int kind,
                                                                  const juce::String& mainButtonText,
                                                                  const juce::String& otherButtonText,
                                                                  std::function<void()> action);

    /** Ends the dialog from code with result 0, so no action runs. */
    void dismiss();

    /** Replaces the message, as a progress dialog does while work goes on. */
    void setMessage (const juce::String& newMessage);

    /** True until the dialog has been answered or dismissed. */
    bool isOpen() const noexcept                        { return ! answered; }

    /** How many dialogs are open now, anywhere. */
    static int getNumOpen();

    //==============================================================================
    /** The card's rectangle inside a dialog of the given size. */
    static juce::Rectangle<int> cardBounds (int width, int height);

    static juce::Colour accentColour (int kind);

    int getKind() const noexcept                        { return kind; }
    const juce::String& getTitle() const noexcept       { return title; }
    const juce::String& getMessage() const noexcept     { return message; }
    juce::TextButton& getMainButton() noexcept          { return mainButton; }
    juce::TextButton& getCancelButton() noexcept        { return cancelButton; }
    juce::TextEditor& getMessageEditor() noexcept       { return messageEditor; }

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;
    bool keyPressed (const juce::KeyPress&) override;
    void parentSizeChanged() override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override {}

private:
    /** Hides the dialog; the completion runs and the dialog is deleted once the
        event that answered it is over (it may be one of its own buttons).
    */
    void finish (int result);

    void componentBeingDeleted (juce::Component&) override;

    juce::String title, message;
    int kind = notice;
    juce::TextEditor messageEditor;
    juce::TextButton mainButton, cancelButton;
    std::function<void (int)> completion;
    juce::Component::SafePointer<juce::Component> watchedParent;
    juce::Component::SafePointer<juce::Component> focusBefore;     // gets the keyboard back once answered
    bool answered = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VortelDialog)
};
