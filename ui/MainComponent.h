#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "account/LoginWindow.h"
#include "storage/MakerFolders.h"
#include "ui/Utilities.h"
#include "ui/VortelLookAndFeel.h"

/**
    The window's content: the side menu, the pages and the product lists.

    It owns everything that lives as long as the window; its destructor stops
    every worker before the objects they read are destroyed.
*/
class MainComponent final : public juce::Component
{
public:
    static constexpr int width = 900;
    static constexpr int height = 700;

    MainComponent();
    ~MainComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    MakerFolders& getMakerFolders() noexcept    { return makerFolders; }
    LoginWindow& getLoginWindow() noexcept      { return loginWindow; }
    const juce::String& getAccountEmail() const noexcept { return accountEmail; }

private:
    void loginSucceeded();

    LoginWindow loginWindow;
    QuillotoneVortel::VortelLookAndFeel lookAndFeel;

    // The session, copied from the login window after a successful login.
    juce::String accountEmail, sessionPassword, sessionResult;

    MakerFolders makerFolders;
    Downloader downloader;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
