#include <gtest/gtest.h>

#include "support/TestHelpers.h"
#include "ui/VortelDialog.h"

using testing_support::waitUntil;

namespace
{
    struct Host
    {
        Host()
        {
            window = std::make_unique<juce::DocumentWindow> ("Host", juce::Colours::black, 0, false);
            content = new juce::Component();
            content->setSize (900, 700);
            window->setContentOwned (content, true);
        }

        std::unique_ptr<juce::DocumentWindow> window;
        juce::Component* content = nullptr;
    };

    bool press (VortelDialog& dialog, int keyCode, juce::ModifierKeys modifiers = {})
    {
        return dialog.keyPressed (juce::KeyPress (keyCode, modifiers, 0));
    }
}

TEST (VortelDialog, CardIsClampedAndCentred)
{
    EXPECT_EQ (VortelDialog::cardBounds (900, 700), juce::Rectangle<int> (190, 238, 520, 225));
    EXPECT_EQ (VortelDialog::cardBounds (400, 300), juce::Rectangle<int> (16, 38, 368, 225));

    // Narrower than 312: the card stays 280 wide and overflows both sides evenly.
    auto narrow = VortelDialog::cardBounds (200, 150);
    EXPECT_EQ (narrow.getWidth(), 280);
    EXPECT_EQ (narrow.getHeight(), 180);
    EXPECT_EQ (narrow.getX(), -40);
    EXPECT_EQ (narrow.getY(), -15);

    // Halves round towards zero: 601 / 2 = 300, 225 / 2 = 112.
    EXPECT_EQ (VortelDialog::cardBounds (601, 401), juce::Rectangle<int> (40, 88, 520, 225));
    EXPECT_EQ (VortelDialog::cardBounds (333, 250), juce::Rectangle<int> (16, 16, 301, 218));
}

TEST (VortelDialog, ShowsOverTheWindowContentAndFollowsItsSize)
{
    Host host;
    auto* child = new juce::Component();
    host.content->addAndMakeVisible (child);
    child->setBounds (10, 10, 50, 50);

    auto dialog = VortelDialog::showMessage (child, "Sync", "Could not connect.", VortelDialog::alert);
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getParentComponent(), host.content);
    EXPECT_EQ (dialog->getBounds(), juce::Rectangle<int> (0, 0, 900, 700));
    EXPECT_TRUE (dialog->isOpen());
    EXPECT_EQ (VortelDialog::getNumOpen(), 1);
    EXPECT_EQ (dialog->getMainButton().getButtonText(), "OK");
    EXPECT_FALSE (dialog->getCancelButton().isVisible());
    EXPECT_EQ (dialog->getMessageEditor().getText(), "Could not connect.");
    EXPECT_TRUE (dialog->getMessageEditor().isReadOnly());

    auto card = VortelDialog::cardBounds (900, 700);
    EXPECT_EQ (dialog->getMainButton().getBounds(), juce::Rectangle<int> (card.getRight() - 135, card.getBottom() - 56, 105, 32));
    EXPECT_EQ (dialog->getMessageEditor().getBounds(), juce::Rectangle<int> (card.getX() + 38, card.getY() + 69, card.getWidth() - 76, card.getHeight() - 136));

    host.content->setSize (600, 500);
    EXPECT_EQ (dialog->getBounds(), juce::Rectangle<int> (0, 0, 600, 500));

    dialog->dismiss();
    ASSERT_TRUE (waitUntil ([&] { return dialog == nullptr; }));
    delete child;
}

TEST (VortelDialog, KeysReportTheResultOfEachKind)
{
    struct Case { int kind; int key; juce::ModifierKeys modifiers; bool runs; bool handled; };

    const Case cases[] = {
        { VortelDialog::notice,   juce::KeyPress::escapeKey, {}, false, true },
        { VortelDialog::alert,    juce::KeyPress::escapeKey, {}, false, true },
        { VortelDialog::confirm,  juce::KeyPress::escapeKey, {}, false, true },
        { VortelDialog::progress, juce::KeyPress::escapeKey, {}, true,  true },
        { VortelDialog::notice,   juce::KeyPress::returnKey, {}, true,  true },
        { VortelDialog::confirm,  juce::KeyPress::returnKey, {}, true,  true },
        { VortelDialog::progress, juce::KeyPress::returnKey, {}, true,  true },
        { VortelDialog::confirm,  juce::KeyPress::returnKey, juce::ModifierKeys::shiftModifier, false, false },
        { VortelDialog::confirm,  'a', {}, false, false },
    };

    for (auto& c : cases)
    {
        Host host;
        int runs = 0;
        auto dialog = VortelDialog::showDialog (host.content, "Title", "Message", c.kind, "Go", [&] { ++runs; });
        ASSERT_NE (dialog, nullptr);

        EXPECT_EQ (press (*dialog, c.key, c.modifiers), c.handled) << c.kind << " " << c.key;

        if (! c.handled)
        {
            EXPECT_TRUE (dialog->isOpen());
            dialog->dismiss();
        }

        ASSERT_TRUE (waitUntil ([&] { return dialog == nullptr; }));
        EXPECT_EQ (runs, c.runs ? 1 : 0) << c.kind << " " << c.key;
    }
}

TEST (VortelDialog, ButtonsAndDismissal)
{
    Host host;
    int runs = 0;

    auto confirm = VortelDialog::showConfirm (host.content, "Log Out", "Log out now?", "Log Out", [&] { ++runs; });
    ASSERT_NE (confirm, nullptr);
    EXPECT_TRUE (confirm->getCancelButton().isVisible());
    EXPECT_EQ (confirm->getCancelButton().getButtonText(), "Cancel");
    confirm->getCancelButton().triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return confirm == nullptr; }));
    EXPECT_EQ (runs, 0);

    confirm = VortelDialog::showConfirm (host.content, "Log Out", "Log out now?", "Log Out", [&] { ++runs; });
    confirm->getMainButton().triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return confirm == nullptr; }));
    EXPECT_EQ (runs, 1);

    // Stacked dialogs each cover the window; dismissing from code runs no action.
    auto lower = VortelDialog::showDialog (host.content, "A", "a", VortelDialog::progress, "Cancel", [&] { ++runs; });
    auto upper = VortelDialog::showMessage (host.content, "B", "b", VortelDialog::notice);
    EXPECT_EQ (upper->getBounds(), lower->getBounds());
    EXPECT_GT (host.content->getIndexOfChildComponent (upper), host.content->getIndexOfChildComponent (lower));
    upper->dismiss();
    lower->dismiss();
    ASSERT_TRUE (waitUntil ([&] { return lower == nullptr && upper == nullptr; }));
    EXPECT_EQ (runs, 1);
}

TEST (VortelDialog, NoActionWhenTheRequesterIsGone)
{
    Host host;
    auto* requester = new juce::Component();
    host.content->addAndMakeVisible (requester);
    int runs = 0;

    auto dialog = VortelDialog::showConfirm (requester, "Uninstall", "Remove it?", "Uninstall", [&] { ++runs; });
    ASSERT_NE (dialog, nullptr);
    delete requester;

    press (*dialog, juce::KeyPress::returnKey);
    ASSERT_TRUE (waitUntil ([&] { return dialog == nullptr; }));
    EXPECT_EQ (runs, 0);
}

TEST (VortelDialog, ParentIsTheGivenComponentOutsideADocumentWindow)
{
    juce::Component plain;
    plain.setSize (300, 200);
    auto dialog = VortelDialog::showMessage (&plain, "T", "M", VortelDialog::notice);
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getParentComponent(), &plain);
    EXPECT_EQ (dialog->getBounds(), plain.getLocalBounds());
    dialog->dismiss();
    ASSERT_TRUE (waitUntil ([&] { return dialog == nullptr; }));
}

TEST (VortelDialog, SurvivesItsWindowHidingAndGoesWithItsParent)
{
    // Minimising the window hides every child; the answer must still come.
    Host host;
    int runs = 0;
    auto dialog = VortelDialog::showConfirm (host.content, "Install error", "Go on?", "Go", [&] { ++runs; });
    host.content->setVisible (false);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    host.content->setVisible (true);
    ASSERT_NE (dialog, nullptr);
    EXPECT_TRUE (dialog->isOpen());
    press (*dialog, juce::KeyPress::returnKey);
    ASSERT_TRUE (waitUntil ([&] { return dialog == nullptr; }));
    EXPECT_EQ (runs, 1);

    // A dialog whose parent is deleted goes with it, and answers nothing.
    auto* parent = new juce::Component();
    parent->setSize (400, 300);
    auto orphan = VortelDialog::showConfirm (parent, "Uninstall", "Remove it?", "Uninstall", [&] { ++runs; });
    delete parent;
    EXPECT_EQ (orphan, nullptr);
    EXPECT_EQ (VortelDialog::getNumOpen(), 0);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    EXPECT_EQ (runs, 1);
}
