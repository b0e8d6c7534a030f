#include <gtest/gtest.h>

#include <juce_gui_basics/juce_gui_basics.h>

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include "ui/VortelDialog.h"

namespace
{
    struct Window final : juce::DocumentWindow
    {
        Window() : juce::DocumentWindow ("Close test", juce::Colours::black, minimiseButton | closeButton, true)
        {
            setUsingNativeTitleBar (true);
            auto* content = new juce::Component();
            content->setSize (400, 300);
            setContentOwned (content, true);
            setVisible (true);
        }

        void closeButtonPressed() override      { ++closeRequests; }

        int closeRequests = 0;
    };

    void pump (int ms)      { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); }
}

// The framework drops WM_CLOSE for a window that a modal component blocks;
// closing must work with any dialog up, and minimising must not answer one.
TEST (WindowsDialogs, CloseAndMinimiseGetThroughAnOpenDialog)
{
    Window window;
    int answered = 0;
    auto dialog = VortelDialog::showConfirm (window.getContentComponent(), "Install error", "Retry?", "Retry", [&] { ++answered; });
    pump (100);

    SendMessageW ((HWND) window.getWindowHandle(), WM_CLOSE, 0, 0);
    pump (100);
    EXPECT_EQ (window.closeRequests, 1);

    window.setMinimised (true);
    pump (200);
    window.setMinimised (false);
    pump (200);
    ASSERT_NE (dialog, nullptr);
    EXPECT_TRUE (dialog->isOpen());
    EXPECT_EQ (answered, 0);

    dialog->getMainButton().triggerClick();
    pump (100);
    EXPECT_EQ (dialog, nullptr);
    EXPECT_EQ (answered, 1);
}
