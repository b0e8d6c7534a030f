#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "account/ServiceRequest.h"
#include "storage/MakerFolders.h"
#include "ui/Utilities.h"
#include "ui/VortelLookAndFeel.h"

#include <atomic>
#include <functional>

/**
    The panel that covers the main component until the user has logged in.

    It checks the form of the e-mail address and password, sends the login
    request on its own thread with a progress bar meanwhile, shows failures in
    a dialog, remembers the login in the global settings when asked, and logs
    in by itself 400 ms after layout when a login is remembered.
*/
class LoginWindow final : public juce::Component,
                          public juce::Button::Listener,
                          public juce::TextEditor::Listener,
                          private juce::MultiTimer,
                          private juce::Thread
{
public:
    LoginWindow();
    ~LoginWindow() override;

    /** Called on the message thread after a successful login. */
    std::function<void()> onLoginSucceeded;

    /** Called on the message thread when the user chose "Work Offline" after
        a login that reached no server; the argument is the lower-case e-mail
        address, for which a kept catalogue was found.
    */
    std::function<void (const juce::String& email)> onWorkOffline;

    //==============================================================================
    /** The logged-in e-mail address (lower case), password and the server's
        login result; empty until a login succeeded.
    */
    const juce::String& getLoginEmail() const noexcept     { return loginEmail; }
    const juce::String& getLoginPassword() const noexcept  { return loginPassword; }
    const juce::String& getLoginResult() const noexcept    { return loginResult; }
    const juce::String& getErrorText() const noexcept      { return errorText; }
    bool isBusy() const noexcept                           { return busy; }
    float getProgress() const noexcept                     { return progress; }

    /** Whether the login thread is running (for the main component's busy test). */
    bool isLoginRunning() const                            { return isThreadRunning(); }

    //==============================================================================
    /** Stores the enciphered e-mail, password and "1" in the global settings. */
    void storeRememberedLogin (const juce::String& email, const juce::String& password);

    /** Stores the enciphered empty e-mail, empty password and "0". */
    void clearRememberedLogin();

    /** Forgets the login and empties the fields, as Log Out does before quitting. */
    void logOut();

    /** Logs in again with the remembered login, as the automatic login does,
        but without showing the window: only a failure for which working
        offline is not offered brings it back. False, and nothing started,
        when no login is remembered.
    */
    bool retryRememberedLogin();

    /** Shows the window again over everything, with that e-mail address, an
        empty password and the keyboard in the password field.
    */
    void showAgain (const juce::String& email);

    /** Asks the login thread to stop and waits for it (shutdown). */
    void stopLogin (int timeoutMs);

    //==============================================================================
    juce::TextEditor& getEmailField() noexcept       { return emailField; }
    juce::TextEditor& getPasswordField() noexcept    { return passwordField; }
    juce::ToggleButton& getRememberToggle() noexcept { return rememberToggle; }
    juce::TextButton& getLoginButton() noexcept      { return loginButton; }
    juce::Label& getTitleLabel() noexcept            { return title; }

    /** The top-left corner of the centred 255 x 265 panel. */
    juce::Point<int> panelOrigin() const;

    /** The validation rules: the message to show, or empty when the form is fine. */
    static juce::String validate (const juce::String& email, const juce::String& password);

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;
    void buttonClicked (juce::Button*) override;
    void textEditorReturnKeyPressed (juce::TextEditor&) override;

private:
    void timerCallback (int timerID) override;
    void run() override;

    void deliver (const ServiceRequest::LoginOutcome& outcome, const juce::String& email,
                  const juce::String& password, bool remember, bool keptCatalogueFound);
    void showFailure();
    void readRememberedLogin();
    bool fillRememberedLogin();

    static constexpr int progressTimer = 3;
    static constexpr int autoLoginTimer = 7;

    QuillotoneVortel::VortelLookAndFeel lookAndFeel;
    std::unique_ptr<juce::Drawable> logo, emailIcon, keyIcon;

    juce::Label title;
    juce::TextEditor emailField, passwordField;
    RoundedBox emailFrame, passwordFrame;
    juce::ToggleButton rememberToggle;
    juce::TextButton loginButton;
    LabelLink leftLink, rightLink;

    // Written by the message thread before the login thread starts; read by it.
    juce::String pendingEmail, pendingPassword;
    bool pendingRemember = false;

    juce::String loginEmail, loginPassword, loginResult, errorText;

    // The last failure reached no server and a kept catalogue exists for this address.
    bool offlineOffered = false;
    juce::String offlineEmail;
    bool busy = false;
    std::atomic<bool> finished { true };    // set on the message thread, read by the progress timer
    float progress = 0.0f;

    MakerFolders folders;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LoginWindow)
};
