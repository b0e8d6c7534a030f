#include "ui/MainComponent.h"

MainComponent::MainComponent()
{
    setSize (width, height);
    resized();

    QuillotoneVortel::applyManagerPalette (lookAndFeel);
    setLookAndFeel (&lookAndFeel);

    // The framework resolves every default font through the default look and
    // feel, whichever component draws it; ours maps them to Open Sans.
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    juce::Typeface::clearTypefaceCache();
}

MainComponent::~MainComponent()
{
    loginWindow.onLoginSucceeded = nullptr;
    loginWindow.stopLogin (10000);
    setLookAndFeel (nullptr);
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    downloader.cancel();
}

void MainComponent::resized()
{
    if (loginWindow.getParentComponent() == nullptr)
    {
        addAndMakeVisible (loginWindow);
        loginWindow.onLoginSucceeded = [this] { loginSucceeded(); };
    }

    if (loginWindow.isVisible())
        loginWindow.toFront (false);

    loginWindow.setBounds (0, 0, getWidth(), getHeight() - 30);
}

void MainComponent::loginSucceeded()
{
    accountEmail = loginWindow.getLoginEmail();
    sessionPassword = loginWindow.getLoginPassword();
    sessionResult = loginWindow.getLoginResult();
    repaint();
}

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xfff0f0f1));

    g.setColour (juce::Colour (0xffb7b7b7));
    g.drawLine (0.0f, (float) getHeight() - 30.0f, (float) getWidth(), (float) getHeight() - 30.0f);

    g.setColour (juce::Colour (0xff6f6f6f));
    g.setFont (juce::Font (14.0f));

    if (accountEmail.isNotEmpty())
        g.drawText (accountEmail, 10, 58, 200, 30, juce::Justification::centred);

    g.drawText ("v1.2.0", getWidth() - 120, getHeight() - 30, 110, 30, juce::Justification::centredRight);
}
