#include <gtest/gtest.h>

#include "products/RowDescription.h"
#include "support/TestHelpers.h"
#include "ui/FocusOrder.h"
#include "ui/KeyboardNavigation.h"
#include "ui/Utilities.h"
#include "ui/VortelDialog.h"

using testing_support::waitUntil;

namespace
{
    // A window whose Tab order is the given regions, as the main component's is.
    struct Root final : public juce::Component
    {
        Root()
        {
            setSize (400, 300);
            setFocusContainerType (FocusContainerType::keyboardFocusContainer);

            for (auto* c : std::initializer_list<juce::Component*> { &first, &list })
                addAndMakeVisible (c);

            first.setBounds (10, 10, 100, 30);
            list.setBounds (0, 50, 400, 100);
            list.setViewedComponent (&content, false);
            content.setSize (380, 400);
            content.addAndMakeVisible (inList);
            inList.setBounds (10, 90, 100, 30);     // only its top 10 pixels in view
        }

        std::unique_ptr<juce::ComponentTraverser> createKeyboardFocusTraverser() override
        {
            return std::make_unique<FocusOrder> (*this, [this] { return FocusOrder::Regions { { &first }, { &inList } }; });
        }

        juce::TextButton first { "first" }, inList { "in list" };
        juce::Viewport list;
        juce::Component content;
    };

    struct OnScreen
    {
        explicit OnScreen (juce::Component& c) : component (c)
        {
            component.addToDesktop (0);
            component.setVisible (true);
        }

        ~OnScreen() { component.removeFromDesktop(); }

        // The window must hold the system's focus before a control can.
        bool focus (juce::Component& c)
        {
            return waitUntil ([&c] { c.grabKeyboardFocus(); return c.hasKeyboardFocus (false); });
        }

        void key (int code, juce::ModifierKeys modifiers = {})
        {
            component.getPeer()->handleKeyPress (juce::KeyPress (code, modifiers, 0));
            juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
        }

        void click (juce::Point<float> at)
        {
            auto* peer = component.getPeer();
            const auto now = juce::Time::currentTimeMillis();
            peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, juce::ModifierKeys::leftButtonModifier,
                                    juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, now);
            peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, juce::ModifierKeys(),
                                    juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, now + 1);
            juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
        }

        juce::Component& component;
    };
}

//==============================================================================
TEST (FocusOrder, ReadingOrderGoesByLinesThenLeftToRight)
{
    using R = juce::Rectangle<int>;

    const struct { const char* layout; std::vector<R> areas; std::vector<size_t> expected; } cases[] = {
        { "one line, given right to left",  { { 200, 10, 50, 30 }, { 100, 10, 50, 30 }, { 0, 12, 50, 20 } },  { 2, 1, 0 } },
        { "a taller neighbour on the line", { { 300, 14, 70, 23 }, { 10, 10, 100, 30 } },                    { 1, 0 } },
        { "stacked, touching",              { { 0, 105, 110, 30 }, { 0, 70, 110, 30 }, { 0, 220, 110, 30 } }, { 1, 0, 2 } },
        { "a lower line starting further left", { { 100, 10, 50, 30 }, { 0, 60, 50, 30 }, { 300, 12, 20, 20 } }, { 0, 2, 1 } },
    };

    for (const auto& c : cases)
        EXPECT_EQ (FocusOrder::readingOrder (c.areas), c.expected) << c.layout;
}

TEST (RowDescription, SaysWhatTheRowShows)
{
    using RowDescription::Facts;

    const struct { Facts facts; const char* expected; } cases[] = {
        { { "Velvet Keys", "v1.2.0", true, "1.3.0", false, false, false },
          "Velvet Keys, installed version 1.2.0, update available to version 1.3.0" },
        { { "Glass Comp", "not installed (NFR)", false, "2.0", false, false, true },  "Glass Comp, not installed, NFR" },
        { { "KV-77", "mixed versions", false, "1.0", true, false, false },           "KV-77, installed, mixed versions, demo" },
        { { "Tape Dust", "installed", false, "1.0", false, true, false },            "Tape Dust, installed, freebie" },
        { { "Verb", "v2.0.1 (NFR)", false, "2.0.1", false, false, true },            "Verb, installed version 2.0.1, NFR" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (RowDescription::spoken (c.facts), c.expected);
}

//==============================================================================
TEST (KeyboardNavigation, OutlineFollowsTheKeyboardOnlyAndStaysInsideTheList)
{
    Root root;
    KeyboardNavigation navigation (root);
    OnScreen screen (root);
    ASSERT_TRUE (screen.focus (root.first));

    // Focus given by the program or a click draws nothing.
    waitUntil ([&] { return navigation.getTarget() == &root.first; });
    EXPECT_TRUE (navigation.outlineArea().isEmpty());

    screen.key (juce::KeyPress::tabKey);
    ASSERT_TRUE (root.inList.hasKeyboardFocus (false));
    ASSERT_TRUE (waitUntil ([&] { return navigation.getTarget() == &root.inList; }));

    // Only the ten pixels of the button that the list shows, plus the margin.
    EXPECT_EQ (navigation.outlineArea(), juce::Rectangle<int> (10, 140, 100, 10).expanded (3));

    screen.key (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier);
    ASSERT_TRUE (waitUntil ([&] { return navigation.getTarget() == &root.first; }));
    EXPECT_EQ (navigation.outlineArea(), root.first.getBounds().expanded (3));

    screen.click ({ 300.0f, 20.0f });
    EXPECT_FALSE (navigation.isKeyboardInUse());
    EXPECT_TRUE (navigation.outlineArea().isEmpty());
}

TEST (KeyboardNavigation, AControlDisabledUnderTheKeyboardHandsTheFocusOn)
{
    Root root;
    KeyboardNavigation navigation (root);
    OnScreen screen (root);
    ASSERT_TRUE (screen.focus (root.first));
    screen.key (juce::KeyPress::tabKey);
    ASSERT_TRUE (waitUntil ([&] { return root.inList.hasKeyboardFocus (false); }));

    // As a row's Uninstall button is once pressed: Tab must still have a start.
    root.inList.setEnabled (false);
    EXPECT_TRUE (waitUntil ([&] { return root.first.hasKeyboardFocus (false); }));
}

TEST (KeyboardNavigation, SpaceAndReturnPressTheFocusedControl)
{
    Root root;
    ClickLabel label;
    label.setText ("Demo");
    root.addAndMakeVisible (label);
    label.setBounds (200, 10, 100, 30);

    int buttonClicks = 0, labelClicks = 0;
    root.first.onClick = [&] { ++buttonClicks; };
    label.onClick = [&] { ++labelClicks; };

    KeyboardNavigation navigation (root);
    OnScreen screen (root);

    ASSERT_TRUE (screen.focus (root.first));
    screen.key (juce::KeyPress::spaceKey);
    screen.key (juce::KeyPress::returnKey);
    EXPECT_EQ (buttonClicks, 2);

    ASSERT_TRUE (screen.focus (label));
    screen.key (juce::KeyPress::spaceKey);
    screen.key (juce::KeyPress::returnKey);
    screen.key ('x');
    EXPECT_EQ (labelClicks, 2);
}

TEST (VortelDialog, KeepsTheKeyboardAndGivesItBackWhenAnswered)
{
    Root root;
    OnScreen screen (root);
    ASSERT_TRUE (screen.focus (root.inList));

    auto dialog = VortelDialog::showConfirm (&root, "Uninstall", "Sure?", "Uninstall", nullptr);
    ASSERT_TRUE (dialog != nullptr);
    ASSERT_TRUE (waitUntil ([&] { return dialog->hasKeyboardFocus (true); }));

    // Tab must not reach the controls under the veil.
    screen.key (juce::KeyPress::tabKey);
    EXPECT_TRUE (dialog->hasKeyboardFocus (true));

    screen.key (juce::KeyPress::returnKey);
    EXPECT_TRUE (waitUntil ([&] { return dialog == nullptr; }));
    EXPECT_TRUE (root.inList.hasKeyboardFocus (false));
}
