#include "app/PluginManagerApplication.h"

#include "ui/MainComponent.h"

PluginManagerApplication::~PluginManagerApplication()
{
    mainWindow.reset();
}

void PluginManagerApplication::initialise (const juce::String&)
{
    mainWindow = std::make_unique<MainWindow> (getApplicationName());
}

void PluginManagerApplication::shutdown()
{
    mainWindow.reset();
}

void PluginManagerApplication::systemRequestedQuit()
{
    quit();
}

//==============================================================================
PluginManagerApplication::MainWindow::MainWindow (const juce::String& name)
    : DocumentWindow (name,
                      juce::Desktop::getInstance().getDefaultLookAndFeel()
                          .findColour (juce::ResizableWindow::backgroundColourId),
                      DocumentWindow::minimiseButton | DocumentWindow::closeButton,
                      true)
{
    setUsingNativeTitleBar (true);
    setContentOwned (new MainComponent(), true);
    setResizable (false, false);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);

    // The content passes the focus on to its first control: the e-mail field.
    getContentComponent()->grabKeyboardFocus();
}

void PluginManagerApplication::MainWindow::focusGained (FocusChangeType)
{
    if (auto* content = getContentComponent())
        content->grabKeyboardFocus();
}

void PluginManagerApplication::MainWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}
