#include "account/LoginWindow.h"

#include "account/KeptCatalogue.h"
#include "account/RememberedLogin.h"
#include "account/ServiceTexts.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/VortelDialog.h"

#include <BinaryData.h>

namespace
{
    void styleField (juce::TextEditor& field, RoundedBox& frame, const juce::String& placeholder)
    {
        field.setFont (juce::Font (14.0f));
        field.setTextToShowWhenEmpty (placeholder, Palette::mutedText);
        field.setIndents (4, 3);
        frame.setColours (Palette::fieldFrameOutline, Palette::fieldFrameEdge, Palette::fieldFrameFill);
        frame.setInterceptsMouseClicks (false, false);
    }

    // The bar slows down as it fills, so a slow server never seems finished.
    int progressStep (float progress)
    {
        if (progress < 0.3f)  return 10;
        if (progress < 0.6f)  return 28;
        if (progress < 0.85f) return 80;
        return 130;
    }
}

LoginWindow::LoginWindow()
    : juce::Thread ("QuillotonePluginManagerLoginWindow")
{
    QuillotoneVortel::applyManagerPalette (lookAndFeel);
    setLookAndFeel (&lookAndFeel);

    logo = Icons::fromResource (BinaryData::quillotonelogo_svg, BinaryData::quillotonelogo_svgSize);
    emailIcon = Icons::fromResource (BinaryData::envelope_svg, BinaryData::envelope_svgSize);
    keyIcon = Icons::fromResource (BinaryData::key_svg, BinaryData::key_svgSize);

    title.setText (ServiceTexts::loginCaption(), juce::dontSendNotification);
    title.setFont (juce::Font (18.0f, juce::Font::bold));
    title.setJustificationType (juce::Justification::centred);
    addAndMakeVisible (title);

    styleField (emailField, emailFrame, ServiceTexts::emailPlaceholder());
    styleField (passwordField, passwordFrame, ServiceTexts::passwordPlaceholder());
    passwordField.setPasswordCharacter ((juce::juce_wchar) '*');

    // Screen readers name the fields by what their placeholders ask for.
    emailField.setTitle (ServiceTexts::emailPlaceholder());
    passwordField.setTitle (ServiceTexts::passwordPlaceholder());

    for (auto* field : { &emailField, &passwordField })
        field->addListener (this);

    for (juce::Component* c : std::initializer_list<juce::Component*> { &emailFrame, &emailField, &passwordFrame, &passwordField })
        addAndMakeVisible (c);

    rememberToggle.setButtonText (ServiceTexts::rememberCaption());
    rememberToggle.addListener (this);
    addAndMakeVisible (rememberToggle);

    loginButton.setButtonText (ServiceTexts::loginCaption());
    loginButton.addListener (this);
    addAndMakeVisible (loginButton);

    leftLink.label.setText (ServiceTexts::leftLinkCaption(), juce::dontSendNotification);
    leftLink.setURL (ServiceTexts::leftLinkURL());
    rightLink.label.setText (ServiceTexts::rightLinkCaption(), juce::dontSendNotification);
    rightLink.setURL (ServiceTexts::rightLinkURL());

    for (auto* link : { &leftLink, &rightLink })
    {
        link->label.setFont (juce::Font (13.0f));
        link->label.setJustificationType (juce::Justification::centred);
        addAndMakeVisible (link);
    }

    resized();
}

LoginWindow::~LoginWindow()
{
    stopLogin (10000);
    stopTimer (progressTimer);
    stopTimer (autoLoginTimer);
    setLookAndFeel (nullptr);
}

//==============================================================================
juce::Point<int> LoginWindow::panelOrigin() const
{
    return { (getWidth() - 255) / 2, (getHeight() - 265) / 2 + 5 };
}

void LoginWindow::resized()
{
    auto [x0, y0] = panelOrigin();

    title.setBounds (x0, y0 + 70, 255, 22);
    emailField.setBounds (x0 + 52, y0 + 100, 177, 22);
    emailFrame.setBounds (x0 + 30, emailField.getY() - 1, 195, emailField.getHeight() + 4);
    passwordField.setBounds (x0 + 52, y0 + 130, 177, 22);
    passwordFrame.setBounds (x0 + 30, passwordField.getY() - 1, 195, passwordField.getHeight() + 4);
    rememberToggle.setBounds (x0 + 33, y0 + 157, 195, 25);
    loginButton.setBounds (x0 + 30, y0 + 194, 195, 30);
    leftLink.setBounds (x0 + 25, y0 + 231, 108, 25);
    rightLink.setBounds (x0 + 175, y0 + 231, 52, 25);

    readRememberedLogin();
}

void LoginWindow::readRememberedLogin()
{
    if (fillRememberedLogin())
        startTimer (autoLoginTimer, 400);
}

bool LoginWindow::fillRememberedLogin()
{
    const auto remembered = RememberedLogin::read (folders);

    if (! remembered.has_value())
        return false;

    emailField.setText (remembered->email, false);
    passwordField.setText (remembered->password, false);
    rememberToggle.setToggleState (true, juce::dontSendNotification);
    return true;
}

bool LoginWindow::retryRememberedLogin()
{
    if (busy)
        return true;

    if (! fillRememberedLogin())
        return false;

    buttonClicked (&loginButton);
    return true;
}

void LoginWindow::showAgain (const juce::String& email)
{
    emailField.setText (email, false);
    passwordField.clear();
    setAlpha (1.0f);
    setVisible (true);
    toFront (false);

    if (isShowing())
        passwordField.grabKeyboardFocus();
}

void LoginWindow::paint (juce::Graphics& g)
{
    auto [x0, y0] = panelOrigin();

    g.fillAll (Palette::background);

    juce::Rectangle<float> panel ((float) x0 + 1.0f, (float) y0 + 1.0f, 253.0f, 263.0f);
    g.setColour (juce::Colours::white);
    g.fillRoundedRectangle (panel, 7.0f);
    g.setColour (juce::Colour (0xff858482));
    g.drawRoundedRectangle (panel, 7.0f, 1.0f);

    if (logo != nullptr)
        logo->drawWithin (g, juce::Rectangle<float> ((float) x0, (float) y0 + 11.0f, 255.0f, 48.0f),
                          juce::RectanglePlacement::centred, 1.0f);

    if (emailIcon != nullptr)
        emailIcon->drawWithin (g, juce::Rectangle<float> ((float) x0 + 36.0f, (float) y0 + 104.0f, 15.0f, 15.0f),
                               juce::RectanglePlacement::centred, 1.0f);

    if (keyIcon != nullptr)
        keyIcon->drawWithin (g, juce::Rectangle<float> ((float) x0 + 36.0f, (float) y0 + 134.0f, 15.0f, 15.0f),
                             juce::RectanglePlacement::centred, 1.0f);

    if (busy)
    {
        g.setColour (findColour (juce::PopupMenu::textColourId).withAlpha ((juce::uint8) 0xe6));
        g.fillRoundedRectangle ((float) x0 + 30.5f, (float) y0 + 70.5f, 195.0f * progress, 21.0f, 6.0f);
        g.setColour (findColour (juce::TextButton::textColourOffId));
        g.drawRoundedRectangle ((float) x0 + 30.5f, (float) y0 + 70.5f, 194.0f, 21.0f, 6.0f, 1.0f);
    }
}

//==============================================================================
juce::String LoginWindow::validate (const juce::String& email, const juce::String& password)
{
    return RememberedLogin::validate (email, password);
}

void LoginWindow::buttonClicked (juce::Button* button)
{
    if (button == &rememberToggle)
    {
        if (! rememberToggle.getToggleState())
            clearRememberedLogin();

        return;
    }

    if (button != &loginButton)
        return;

    errorText.clear();
    offlineOffered = false;
    loginEmail.clear();
    loginPassword.clear();
    loginResult.clear();
    loginButton.setEnabled (false);

    errorText = validate (emailField.getText(), passwordField.getText());

    if (errorText.isNotEmpty())
    {
        loginButton.setEnabled (true);
        showFailure();
        return;
    }

    pendingEmail = emailField.getText();
    pendingPassword = passwordField.getText();
    pendingRemember = rememberToggle.getToggleState();
    finished = false;

    if (isThreadRunning())
        stopThread (1000);

    busy = true;
    progress = 0.0f;
    title.setText ({}, juce::dontSendNotification);
    startTimer (progressTimer, 10);
    startThread (juce::Thread::Priority::normal);
}

void LoginWindow::textEditorReturnKeyPressed (juce::TextEditor&)
{
    loginButton.triggerClick();
}

void LoginWindow::showFailure()
{
    title.setText (ServiceTexts::failureWord(), juce::dontSendNotification);

    if (! offlineOffered || onWorkOffline == nullptr)
    {
        // A login retried in the background comes back into view to say why.
        if (! isVisible())
            showAgain (emailField.getText());

        VortelDialog::showMessage (this, ServiceTexts::failureTitle(), errorText, VortelDialog::alert);
        return;
    }

    VortelDialog::showChoice (this, ServiceTexts::failureTitle(), errorText, VortelDialog::alert, "Work Offline", "OK", [this]
    {
        if (isVisible())
            juce::Desktop::getInstance().getAnimator().fadeOut (this, 35);

        if (onWorkOffline != nullptr)
            onWorkOffline (offlineEmail);
    });
}

//==============================================================================
void LoginWindow::run()
{
    // A stop of this thread aborts the request at once.
    auto outcome = RememberedLogin::request (pendingEmail, pendingPassword);

    if (threadShouldExit())
        return;

    juce::Component::SafePointer<LoginWindow> window (this);
    auto email = pendingEmail.toLowerCase();
    auto password = pendingPassword;
    auto remember = pendingRemember;

    // Read here, off the message thread. A wrong password, a closed account
    // or a broken answer never opens the kept catalogue.
    const auto keptCatalogueFound = outcome.serverUnreachable
                                     && KeptCatalogue::inPrivateFolder().read (email, {}).has_value();

    if (threadShouldExit())
        return;

    juce::MessageManager::callAsync ([window, outcome, email, password, remember, keptCatalogueFound]
    {
        if (window != nullptr)
            window->deliver (outcome, email, password, remember, keptCatalogueFound);
    });
}

void LoginWindow::deliver (const ServiceRequest::LoginOutcome& outcome, const juce::String& email,
                           const juce::String& password, bool remember, bool keptCatalogueFound)
{
    errorText = outcome.errorText;
    offlineOffered = keptCatalogueFound && errorText.isNotEmpty();
    offlineEmail = email;
    auto succeeded = errorText.isEmpty() && outcome.result.isNotEmpty();

    if (succeeded)
    {
        loginEmail = email;
        loginPassword = password;
        loginResult = outcome.result;

        if (remember)
            storeRememberedLogin (loginEmail, loginPassword);
        else
            clearRememberedLogin();
    }

    finished = true;

    if (succeeded && onLoginSucceeded != nullptr)
        onLoginSucceeded();
}

void LoginWindow::timerCallback (int timerID)
{
    if (timerID == autoLoginTimer)
    {
        stopTimer (autoLoginTimer);
        loginButton.triggerClick();
        return;
    }

    if (timerID != progressTimer)
        return;

    progress += 0.011f;

    if (isThreadRunning() || ! finished)
    {
        if (progress >= 1.0f)
            progress = 0.0f;

        startTimer (progressTimer, getTimerInterval (progressTimer) + progressStep (progress));
    }
    else if (progress < 1.0f)
    {
        startTimer (progressTimer, 4);
    }
    else
    {
        busy = false;
        progress = 0.0f;
        loginButton.setEnabled (true);
        stopTimer (progressTimer);

        if (errorText.isNotEmpty() || loginResult.isEmpty())
            showFailure();
        else
            juce::Desktop::getInstance().getAnimator().fadeOut (this, 35);
    }

    repaint();
}

//==============================================================================
void LoginWindow::storeRememberedLogin (const juce::String& email, const juce::String& password)
{
    RememberedLogin::store (folders, email, password);
}

void LoginWindow::clearRememberedLogin()
{
    RememberedLogin::clear (folders);
}

void LoginWindow::logOut()
{
    clearRememberedLogin();
    emailField.setText ({}, false);
    passwordField.setText ({}, false);
    rememberToggle.setToggleState (false, juce::dontSendNotification);
}

void LoginWindow::stopLogin (int timeoutMs)
{
    signalThreadShouldExit();
    notify();
    stopThread (timeoutMs);
}
