#include "ui/KeyboardNavigation.h"

#include "ui/VortelLookAndFeel.h"

//==============================================================================
// The outline follows its control when the control or any parent moves, which
// is how a list scrolls.
class KeyboardNavigation::MoveWatcher final : public juce::ComponentMovementWatcher
{
public:
    MoveWatcher (KeyboardNavigation& ownerToUse, juce::Component& watched)
        : juce::ComponentMovementWatcher (&watched), owner (ownerToUse) {}

    void componentMovedOrResized (bool, bool) override    { owner.repaint(); }
    void componentPeerChanged() override                  { owner.repaint(); }
    void componentVisibilityChanged() override            { owner.repaint(); }

private:
    KeyboardNavigation& owner;
};

//==============================================================================
KeyboardNavigation::KeyboardNavigation (juce::Component& rootToUse)
    : root (rootToUse)
{
    setInterceptsMouseClicks (false, false);
    setWantsKeyboardFocus (false);
    setAccessible (false);
    setAlwaysOnTop (true);
    root.addAndMakeVisible (this);
    setBounds (root.getLocalBounds());

    root.addKeyListener (this);
    juce::Desktop::getInstance().addFocusChangeListener (this);
    juce::Desktop::getInstance().addGlobalMouseListener (this);
}

KeyboardNavigation::~KeyboardNavigation()
{
    juce::Desktop::getInstance().removeGlobalMouseListener (this);
    juce::Desktop::getInstance().removeFocusChangeListener (this);
    root.removeKeyListener (this);
    watcher.reset();
}

//==============================================================================
void KeyboardNavigation::setKeyboardInUse (bool inUse)
{
    if (inUse == keyboardInUse)
        return;

    keyboardInUse = inUse;
    repaint();
}

void KeyboardNavigation::mouseDown (const juce::MouseEvent&)
{
    setKeyboardInUse (false);
}

void KeyboardNavigation::parentSizeChanged()
{
    setBounds (root.getLocalBounds());
}

bool KeyboardNavigation::keyPressed (const juce::KeyPress& key, juce::Component*)
{
    const auto code = key.getKeyCode();

    if (code == juce::KeyPress::tabKey || code == juce::KeyPress::upKey || code == juce::KeyPress::downKey
        || code == juce::KeyPress::leftKey || code == juce::KeyPress::rightKey)
    {
        setKeyboardInUse (true);
        return false;
    }

    // The framework's buttons answer Return only; Space reaches us unused.
    if (code == juce::KeyPress::spaceKey && key.getModifiers().withoutMouseButtons() == juce::ModifierKeys())
    {
        auto* button = dynamic_cast<juce::Button*> (juce::Component::getCurrentlyFocusedComponent());

        if (button != nullptr && root.isParentOf (button) && button->isEnabled())
        {
            button->triggerClick();
            return true;
        }
    }

    return false;
}

void KeyboardNavigation::globalFocusChanged (juce::Component* focused)
{
    if (focused == nullptr && keyboardInUse)
        if (auto* lost = target.getComponent())
            if (recoverFrom (*lost))
                return;

    follow (focused);
}

bool KeyboardNavigation::recoverFrom (juce::Component& lost)
{
    // A window that lost the system's focus keeps its control for later.
    auto* peer = root.getPeer();

    if (peer == nullptr || ! peer->isFocused() || ! root.isParentOf (&lost))
        return false;

    // The framework drops the focus when its control is disabled (an Uninstall
    // button once pressed), and then Tab has nowhere to start from: the
    // nearest control around it takes over.
    auto traverser = root.createKeyboardFocusTraverser();

    for (auto* parent = lost.getParentComponent(); parent != nullptr; parent = parent->getParentComponent())
    {
        if (auto* next = traverser->getDefaultComponent (parent); next != nullptr && next != &lost)
        {
            next->grabKeyboardFocus();
            return true;
        }

        if (parent == &root)
            break;
    }

    return false;
}

void KeyboardNavigation::follow (juce::Component* focused)
{
    watcher.reset();
    target = root.isParentOf (focused) ? focused : nullptr;

    if (target != nullptr)
        watcher = std::make_unique<MoveWatcher> (*this, *focused);

    repaint();
}

//==============================================================================
juce::Rectangle<int> KeyboardNavigation::outlineArea() const
{
    auto* focused = target.getComponent();

    // A dialog holds the focus itself and shows its own buttons.
    if (! keyboardInUse || focused == nullptr || ! focused->isShowing() || ! root.isParentOf (focused)
        || focused->isKeyboardFocusContainer())
        return {};

    auto area = root.getLocalArea (focused, focused->getLocalBounds());

    // Only the part a scrolled list shows.
    for (auto* parent = focused->getParentComponent(); parent != nullptr && parent != &root; parent = parent->getParentComponent())
        area = area.getIntersection (root.getLocalArea (parent, parent->getLocalBounds()));

    if (area.isEmpty())
        return {};

    return area.expanded (3).getIntersection (root.getLocalBounds());
}

void KeyboardNavigation::paint (juce::Graphics& g)
{
    const auto area = outlineArea();

    if (area.isEmpty())
        return;

    g.setColour (findColour (QuillotoneVortel::VortelLookAndFeel::focusOutlineColourId));
    g.drawRoundedRectangle (getLocalArea (&root, area).toFloat().reduced (1.0f), 5.0f, 2.0f);
}
