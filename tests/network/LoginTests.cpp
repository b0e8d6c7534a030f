#include <gtest/gtest.h>

#include "account/CredentialCipher.h"
#include "account/KeptCatalogue.h"
#include "account/LoginWindow.h"
#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "support/StandIn.h"
#include "support/TestHelpers.h"
#include "ui/VortelDialog.h"

#include <optional>

using testing_support::ScopedHome;
using testing_support::StandIn;
using testing_support::waitUntil;

namespace
{
    struct Login
    {
        Login()
        {
            window.setSize (900, 670);
            window.onLoginSucceeded = [this] { ++successes; };
        }

        void attempt (const juce::String& email, const juce::String& password, bool remember = false)
        {
            window.getEmailField().setText (email, false);
            window.getPasswordField().setText (password, false);
            window.getRememberToggle().setToggleState (remember, juce::dontSendNotification);
            window.buttonClicked (&window.getLoginButton());
        }

        bool settled()
        {
            return waitUntil ([this] { return ! window.isBusy() && window.getLoginButton().isEnabled() && ! window.isLoginRunning(); }, 20000);
        }

        VortelDialog* dialog()
        {
            for (auto* child : window.getChildren())
                if (auto* d = dynamic_cast<VortelDialog*> (child))
                    return d;

            return nullptr;
        }

        int postsSent (StandIn& server)
        {
            int posts = 0;
            auto log = server.requestLog();

            for (int i = 0; i < log.size(); ++i)
                if (log[i]["method"] == "POST")
                    ++posts;

            return posts;
        }

        ScopedHome home;
        LoginWindow window;
        int successes = 0;
    };

    juce::String stored (const juce::String& key)
    {
        MakerFolders folders;
        return folders.getGlobalValue (key);
    }
}

TEST (Login, SucceedsAgainstTheStandInAndHandsOverTheSession)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Login login;

    // Typed in capitals: sent and kept in lower case.
    login.attempt ("Demo@Quillotone.TEST", "quillotone");
    ASSERT_TRUE (login.settled());

    EXPECT_EQ (login.successes, 1);
    EXPECT_EQ (login.window.getLoginEmail(), "demo@quillotone.test");
    EXPECT_EQ (login.window.getLoginPassword(), "quillotone");
    EXPECT_TRUE (login.window.getLoginResult().startsWith ("OK"));
    EXPECT_FALSE (login.window.getLoginResult().containsAnyOf ("\r\n"));
    EXPECT_EQ (login.dialog(), nullptr);

    auto log = server.requestLog();
    ASSERT_EQ (login.postsSent (server), 1);
    auto fields = log[0]["fields"];
    ASSERT_EQ (log[0]["method"].toString(), "POST");
    auto names = ServiceTexts::parameterNames();
    ASSERT_EQ (fields.size(), 4);

    for (int i = 0; i < 4; ++i)
        EXPECT_EQ (fields[i][0].toString(), names[i]);

    EXPECT_EQ (fields[0][1].toString(), ServiceRequest::rot13 ("demo@quillotone.test"));
    EXPECT_EQ (fields[1][1].toString(), ServiceRequest::rot13 ("quillotone"));
    EXPECT_EQ (fields[2][1].toString(), "ed518153e6d1531528f3f17f3b0bb070"); // md5sum of the lower-case address
    EXPECT_EQ (fields[3][1].toString(), "0");

    // Not remembered: the global settings hold the cleared values.
    EXPECT_EQ (CredentialCipher::readFlag (CredentialCipher::decipher (stored (ServiceTexts::rememberedFlagKey()))), 0);
}

TEST (Login, ServerMessagesAreShownVerbatim)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Login login;

    // The stand-in answers wrong passwords with the marker in capitals.
    login.attempt ("demo@quillotone.test", "wrong-password");
    ASSERT_TRUE (login.settled());
    EXPECT_EQ (login.successes, 0);
    EXPECT_EQ (login.window.getErrorText(), "ERROR: The e-mail address or password is incorrect.");
    ASSERT_NE (login.dialog(), nullptr);
    EXPECT_EQ (login.dialog()->getTitle(), ServiceTexts::failureTitle());
    EXPECT_EQ (login.dialog()->getMessage(), login.window.getErrorText());
    EXPECT_EQ (login.window.getTitleLabel().getText(), ServiceTexts::failureWord());
    login.dialog()->dismiss();

    login.attempt ("closed@quillotone.test", "quillotone");
    ASSERT_TRUE (login.settled());
    EXPECT_TRUE (login.window.getErrorText().startsWith ("Error: This account has been disabled"));
    EXPECT_TRUE (login.window.getLoginEmail().isEmpty());
}

TEST (Login, EmptyAnswersAndDroppedConnectionsFail)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Login login;

    server.setFault ("*", R"({"empty": true, "count": 1})");
    login.attempt ("demo@quillotone.test", "quillotone");
    ASSERT_TRUE (login.settled());
    EXPECT_EQ (login.window.getErrorText(), ServiceTexts::emptyResponseMessage());
    EXPECT_EQ (login.successes, 0);

    // The status code is not examined: a 500 with a plain body still logs in.
    server.setFault ("*", R"({"status": 500, "count": 1})");
    login.attempt ("demo@quillotone.test", "quillotone");
    ASSERT_TRUE (login.settled());
    EXPECT_EQ (login.successes, 1);
}

TEST (Login, ServerDownGivesTheConnectionMessage)
{
    ScopedHome home;
    Login login;

    login.attempt ("demo@quillotone.test", "quillotone");
    ASSERT_TRUE (login.settled());
    EXPECT_EQ (login.window.getErrorText(), ServiceTexts::loginConnectionFailedMessage());
    ASSERT_NE (login.dialog(), nullptr);
    EXPECT_EQ (login.dialog()->getMessage(), ServiceTexts::loginConnectionFailedMessage());
}

TEST (Login, FormIsCheckedBeforeAnythingIsSent)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Login login;

    EXPECT_EQ (LoginWindow::validate ("a@b.c", "secret1"), ServiceTexts::invalidEmailMessage());
    EXPECT_EQ (LoginWindow::validate ("a@b.cd", "secret1"), juce::String());
    EXPECT_EQ (LoginWindow::validate ("ab.cdef", "secret1"), ServiceTexts::invalidEmailMessage());
    EXPECT_EQ (LoginWindow::validate ("a@bcdef", "secret1"), ServiceTexts::invalidEmailMessage());
    EXPECT_EQ (LoginWindow::validate ("a@b.c", "short"), ServiceTexts::invalidPasswordMessage());

    // Five characters: rejected at once, nothing sent.
    login.attempt ("a@b.c", "quillotone");
    ASSERT_TRUE (waitUntil ([&] { return login.dialog() != nullptr; }));
    EXPECT_EQ (login.dialog()->getMessage(), ServiceTexts::invalidEmailMessage());
    EXPECT_EQ (login.window.getTitleLabel().getText(), ServiceTexts::failureWord());
    EXPECT_TRUE (login.window.getLoginButton().isEnabled());
    EXPECT_EQ (login.postsSent (server), 0);
    login.dialog()->dismiss();
    ASSERT_TRUE (waitUntil ([&] { return login.dialog() == nullptr; }));

    // Six characters: sent (and refused by the server).
    login.attempt ("a@b.cd", "quillotone");
    ASSERT_TRUE (login.settled());
    EXPECT_EQ (login.postsSent (server), 1);
}

TEST (Login, ReturnInThePasswordFieldLogsIn)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Login login;

    login.window.getEmailField().setText ("demo@quillotone.test", false);
    login.window.getPasswordField().setText ("quillotone", false);
    login.window.textEditorReturnKeyPressed (login.window.getPasswordField());
    ASSERT_TRUE (waitUntil ([&] { return login.window.isBusy(); }));
    ASSERT_TRUE (login.settled());
    EXPECT_EQ (login.successes, 1);
}

TEST (Login, RememberedLoginFillsTheFieldsAndLogsInAfterLayout)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    ScopedHome home;

    {
        LoginWindow first;
        first.setSize (900, 670);
        first.getEmailField().setText ("DEMO@quillotone.test", false);
        first.getPasswordField().setText ("quillotone", false);
        first.getRememberToggle().setToggleState (true, juce::dontSendNotification);
        first.buttonClicked (&first.getLoginButton());
        ASSERT_TRUE (waitUntil ([&] { return first.getLoginResult().isNotEmpty(); }, 20000));
        ASSERT_TRUE (waitUntil ([&] { return ! first.isBusy(); }, 20000));
    }

    // Stored enciphered, never as plain text.
    auto file = MakerFolders().globalSettingsFile().loadFileAsString();
    EXPECT_FALSE (file.contains ("demo@quillotone.test"));
    EXPECT_FALSE (file.contains ("quillotone\""));
    EXPECT_EQ (CredentialCipher::decipher (stored (ServiceTexts::rememberedEmailKey())), "demo@quillotone.test");
    EXPECT_EQ (CredentialCipher::readFlag (CredentialCipher::decipher (stored (ServiceTexts::rememberedFlagKey()))), 1);

    LoginWindow second;
    int successes = 0;
    second.onLoginSucceeded = [&] { ++successes; };
    auto laidOut = juce::Time::getMillisecondCounter();
    second.setSize (900, 670);

    EXPECT_EQ (second.getEmailField().getText(), "demo@quillotone.test");
    EXPECT_EQ (second.getPasswordField().getText(), "quillotone");
    EXPECT_TRUE (second.getRememberToggle().getToggleState());
    EXPECT_FALSE (second.isBusy());

    ASSERT_TRUE (waitUntil ([&] { return second.isBusy() || successes > 0; }, 3000));
    EXPECT_GE (juce::Time::getMillisecondCounter() - laidOut, 380u);
    ASSERT_TRUE (waitUntil ([&] { return successes == 1; }, 20000));
}

TEST (Login, UntickingRememberForgetsAtOnce)
{
    ScopedHome home;
    LoginWindow window;
    window.setSize (900, 670);
    window.storeRememberedLogin ("demo@quillotone.test", "quillotone");

    window.getRememberToggle().setToggleState (true, juce::dontSendNotification);
    window.getRememberToggle().triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return ! window.getRememberToggle().getToggleState(); }));

    EXPECT_EQ (CredentialCipher::decipher (stored (ServiceTexts::rememberedEmailKey())), "");
    EXPECT_EQ (CredentialCipher::decipher (stored (ServiceTexts::rememberedPasswordKey())), "");
    EXPECT_EQ (CredentialCipher::decipher (stored (ServiceTexts::rememberedFlagKey())), "0");
    EXPECT_NE (stored (ServiceTexts::rememberedFlagKey()), "0") << "the flag is stored enciphered";
}

TEST (Login, UndecipherableStoredValuesDoNotCrash)
{
    for (auto junk : { "not base64 at all!", "QUJD", "", "AAAAAAAAAAA=", "////////////////////////" })
    {
        ScopedHome home;
        {
            MakerFolders folders;
            folders.setGlobalValue (ServiceTexts::rememberedFlagKey(), junk);
            folders.setGlobalValue (ServiceTexts::rememberedEmailKey(), junk);
            folders.setGlobalValue (ServiceTexts::rememberedPasswordKey(), junk);
            ASSERT_TRUE (folders.saveGlobalSettings());
        }

        LoginWindow window;
        window.setSize (900, 670);
        EXPECT_FALSE (window.getRememberToggle().getToggleState()) << junk;
        EXPECT_EQ (window.getEmailField().getText(), "") << junk;
    }

    // A remembered flag that deciphers but is not digits reads 0.
    ScopedHome home;
    EXPECT_EQ (CredentialCipher::readFlag ("yes"), 0);
    EXPECT_EQ (CredentialCipher::readFlag ("12abc"), 12);
    EXPECT_EQ (CredentialCipher::decipher (CredentialCipher::encipher (juce::String::fromUTF8 ("caf\xc3\xa9"))), juce::String::fromUTF8 ("caf\xc3\xa9"));
    EXPECT_NE (CredentialCipher::encipher (""), "");
}

TEST (Login, WorkOfflineOnlyWhenNoServerAnsweredAndThisAccountsCatalogueIsReadable)
{
    struct Case
    {
        const char* what;
        bool serverUp;
        std::function<void (const KeptCatalogue&)> prepare;
        bool offered;
    };

    auto keepFor = [] (const juce::String& email)
    {
        return [email] (const KeptCatalogue& kept) { kept.keep (email, {}, {}, juce::Time (1000)); };
    };

    const Case cases[] = {
        { "kept for this account", false, keepFor ("demo@quillotone.test"), true },
        { "none kept", false, [] (auto&) {}, false },
        { "kept for another account only", false, keepFor ("fresh@quillotone.test"), false },
        { "kept but corrupt", false, [] (auto& kept)
          {
              kept.keep ("demo@quillotone.test", {}, {}, juce::Time (1000));
              kept.fileFor ("demo@quillotone.test").replaceWithText ("<QUILLOTONE_KEPT_CATALOGUE");
          }, false },
        { "a wrong password", true, keepFor ("demo@quillotone.test"), false },
    };

    for (const auto& c : cases)
    {
        std::optional<StandIn> server;

        if (c.serverUp)
        {
            server.emplace();
            REQUIRE_STANDIN (*server);
        }

        Login login;
        juce::String offlineFor;
        login.window.onWorkOffline = [&offlineFor] (const juce::String& email) { offlineFor = email; };
        c.prepare (KeptCatalogue::inPrivateFolder());

        login.attempt ("Demo@Quillotone.test", c.serverUp ? "wrong-password" : "quillotone");
        ASSERT_TRUE (login.settled()) << c.what;
        ASSERT_NE (login.dialog(), nullptr) << c.what;
        EXPECT_EQ (login.dialog()->getCancelButton().isVisible(), c.offered) << c.what;

        login.dialog()->getMainButton().triggerClick();
        waitUntil ([&] { return login.dialog() == nullptr; });
        EXPECT_EQ (offlineFor, c.offered ? "demo@quillotone.test" : "") << c.what;
    }
}
