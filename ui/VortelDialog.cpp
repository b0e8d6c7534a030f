#include "ui/VortelDialog.h"

#include "ui/Fonts.h"
#include "ui/Utilities.h"

VortelDialog::VortelDialog (const juce::String& titleToUse, const juce::String& messageToUse, int kindToUse,
                            const juce::String& mainButtonText)
    : title (titleToUse), message (messageToUse), kind (kindToUse)
{
    setWantsKeyboardFocus (true);

    // Return and Escape belong to the dialog: a focused button or the message
    // text would otherwise swallow them with their own meaning.
    messageEditor.setReadOnly (true);
    messageEditor.setMultiLine (true, true);
    messageEditor.setScrollbarsShown (true);
    messageEditor.setCaretVisible (false);
    messageEditor.setWantsKeyboardFocus (false);
    messageEditor.setMouseClickGrabsKeyboardFocus (false);
    messageEditor.setFont (Fonts::regular (15.0f));
    messageEditor.setColour (juce::TextEditor::textColourId, juce::Colour (0xff3c3c3c));
    messageEditor.setColour (juce::TextEditor::backgroundColourId, juce::Colours::transparentBlack);
    messageEditor.setColour (juce::TextEditor::outlineColourId, juce::Colours::transparentBlack);
    messageEditor.setColour (juce::TextEditor::focusedOutlineColourId, juce::Colours::transparentBlack);
    messageEditor.setText (message, false);
    addAndMakeVisible (messageEditor);

    // The dialog itself reads out its message; the text box would say it twice.
    messageEditor.setAccessible (false);
    setDescription (message);

    mainButton.setButtonText (mainButtonText);
    mainButton.setWantsKeyboardFocus (false);
    mainButton.onClick = [this] { finish (1); };
    addAndMakeVisible (mainButton);

    cancelButton.setButtonText ("Cancel");
    cancelButton.setWantsKeyboardFocus (false);
    cancelButton.onClick = [this] { finish (0); };
    addChildComponent (cancelButton);
    cancelButton.setVisible (kind == confirm);
}

namespace
{
    juce::Array<VortelDialog*>& openDialogs()
    {
        static juce::Array<VortelDialog*> dialogs;     // message thread only
        return dialogs;
    }
}

VortelDialog::~VortelDialog()
{
    openDialogs().removeFirstMatchingValue (this);

    if (watchedParent != nullptr)
        watchedParent->removeComponentListener (this);
}

int VortelDialog::getNumOpen()
{
    int n = 0;

    for (auto* dialog : openDialogs())
        n += dialog->isOpen() ? 1 : 0;

    return n;
}

//==============================================================================
juce::Component::SafePointer<VortelDialog> VortelDialog::showDialog (juce::Component* component,
                                                                     const juce::String& title,
                                                                     const juce::String& message,
                                                                     int kind,
                                                                     const juce::String& mainButtonText,
                                                                     std::function<void()> action)
{
    if (component == nullptr)
        return {};

    juce::Component* parent = component;

    if (auto* window = dynamic_cast<juce::DocumentWindow*> (component->getTopLevelComponent()))
        if (auto* content = window->getContentComponent())
            parent = content;

    auto* dialog = new VortelDialog (title, message, kind, mainButtonText);
    openDialogs().add (dialog);

    juce::Component::SafePointer<juce::Component> requester (component);

    dialog->completion = [requester, action = std::move (action)] (int result)
    {
        // The requester may be gone by the time the user answers.
        if (result == 1 && requester != nullptr && action != nullptr)
            action();
    };

    // Deleted with its parent, so a dialog never outlives the window it covers.
    dialog->watchedParent = parent;
    parent->addComponentListener (dialog);

    dialog->setFocusContainerType (juce::Component::FocusContainerType::keyboardFocusContainer);
    dialog->setAlwaysOnTop (true);
    dialog->focusBefore = juce::Component::getCurrentlyFocusedComponent();
    parent->addAndMakeVisible (dialog);
    dialog->setBounds (0, 0, parent->getWidth(), parent->getHeight());
    dialog->toFront (true);
    dialog->grabKeyboardFocus();

    return dialog;
}

juce::Component::SafePointer<VortelDialog> VortelDialog::showMessage (juce::Component* component,
                                                                      const juce::String& title,
                                                                      const juce::String& message,
                                                                      int kind)
{
    return showDialog (component, title, message, kind, "OK", nullptr);
}

juce::Component::SafePointer<VortelDialog> VortelDialog::showConfirm (juce::Component* component,
                                                                      const juce::String& title,
                                                                      const juce::String& message,
                                                                      const juce::String& mainButtonText,
                                                                      std::function<void()> action)
{
    return showDialog (component, title, message, confirm, mainButtonText, std::move (action));
}

juce::Component::SafePointer<VortelDialog> VortelDialog::showChoice (juce::Component* component,
                                                                     const juce::String& title,
                                                                     const juce::String& message,
                                                                     int kind,
                                                                     const juce::String& mainButtonText,
                                                                     const juce::String& otherButtonText,
                                                                     std::function<void()> action)
{
    auto dialog = showDialog (component, title, message, kind, mainButtonText, std::move (action));

    if (dialog != nullptr)
    {
        dialog->cancelButton.setButtonText (otherButtonText);
        dialog->cancelButton.setVisible (true);
    }

    return dialog;
}

void VortelDialog::dismiss()
{
    finish (0);
}

void VortelDialog::setMessage (const juce::String& newMessage)
{
    if (newMessage == message)
        return;

    message = newMessage;
    messageEditor.setText (message, false);
    setDescription (message);
}

void VortelDialog::finish (int result)
{
    if (answered)
        return;

    answered = true;
    setVisible (false);

    // Back to the control that asked, rather than the first one of the window.
    if (auto* previous = focusBefore.getComponent(); previous != nullptr && previous->isShowing()
                                                     && previous->isEnabled() && previous->getWantsKeyboardFocus())
        previous->grabKeyboardFocus();

    juce::Component::SafePointer<VortelDialog> self (this);

    juce::MessageManager::callAsync ([self, result]
    {
        if (auto* dialog = self.getComponent())
        {
            auto done = std::move (dialog->completion);
            delete dialog;

            if (done != nullptr)
                done (result);
        }
    });
}

void VortelDialog::componentBeingDeleted (juce::Component& component)
{
    if (&component == watchedParent.getComponent())
    {
        component.removeComponentListener (this);
        watchedParent = nullptr;
        delete this;
    }
}

//==============================================================================
juce::Rectangle<int> VortelDialog::cardBounds (int width, int height)
{
    auto cardWidth  = juce::jlimit (280, 520, width - 32);
    auto cardHeight = juce::jlimit (180, 225, height - 32);
    return { width / 2 - cardWidth / 2, height / 2 - cardHeight / 2, cardWidth, cardHeight };
}

juce::Colour VortelDialog::accentColour (int kindToUse)
{
    return juce::Colour (kindToUse == notice ? 0xff668b8au : 0xffd38931u);
}

void VortelDialog::paint (juce::Graphics& g)
{
    auto card = cardBounds (getWidth(), getHeight());

    g.fillAll (juce::Colour (0x9c151515));

    g.setColour (juce::Colour (0xffebe9e2));
    g.fillRoundedRectangle (card.toFloat(), 12.0f);

    g.setColour (juce::Colour (0xffa5a29a));
    g.drawRoundedRectangle ((float) card.getX() + 0.5f, (float) card.getY() + 0.5f,
                            (float) juce::jmax (card.getWidth() - 1, 0), (float) juce::jmax (card.getHeight() - 1, 0),
                            12.0f, 1.0f);

    g.setColour (accentColour (kind));
    g.fillRoundedRectangle ((float) card.getX() + 22.0f, (float) card.getY() + 23.0f, 5.0f, 29.0f, 2.5f);

    g.setColour (juce::Colour (0xff202020));
    g.setFont (Fonts::bold (20.0f));
    g.drawText (title, card.getX() + 39, card.getY() + 21, juce::jmax (card.getWidth() - 39, 0), 32,
                juce::Justification::centredLeft, true);
}

void VortelDialog::resized()
{
    auto card = cardBounds (getWidth(), getHeight());

    messageEditor.setBounds (card.getX() + 38, card.getY() + 69, card.getWidth() - 76, card.getHeight() - 136);
    mainButton.setBounds (card.getRight() - 135, card.getBottom() - 56, 105, 32);
    cancelButton.setBounds (card.getRight() - 252, card.getBottom() - 56, 105, 32);
}

bool VortelDialog::keyPressed (const juce::KeyPress& key)
{
    auto noModifiers = ! (key.getModifiers().isShiftDown() || key.getModifiers().isCtrlDown()
                           || key.getModifiers().isAltDown() || key.getModifiers().isCommandDown());

    if (noModifiers && key.getKeyCode() == juce::KeyPress::escapeKey)
    {
        finish (kind == progress ? 1 : 0);
        return true;
    }

    if (noModifiers && key.getKeyCode() == juce::KeyPress::returnKey)
    {
        finish (1);
        return true;
    }

    // The keyboard stays here: Tab must not reach the controls under the veil.
    return key.getKeyCode() == juce::KeyPress::tabKey;
}

std::unique_ptr<juce::AccessibilityHandler> VortelDialog::createAccessibilityHandler()
{
    return std::make_unique<LiveTitleHandler> (*this, juce::AccessibilityRole::dialogWindow, [this] { return title; });
}

void VortelDialog::parentSizeChanged()
{
    if (auto* parent = getParentComponent())
        setBounds (0, 0, parent->getWidth(), parent->getHeight());
}
