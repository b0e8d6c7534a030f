#include "account/RememberedLogin.h"

#include "account/CredentialCipher.h"
#include "account/ServiceTexts.h"
#include "storage/MakerFolders.h"

namespace RememberedLogin
{

juce::String validate (const juce::String& email, const juce::String& password)
{
    juce::String message;

    if (! (email.contains ("@") && email.contains (".") && email.length() >= 6))
        message = ServiceTexts::invalidEmailMessage();

    // The password message wins when both are wrong.
    if (password.length() < 6)
        message = ServiceTexts::invalidPasswordMessage();

    return message;
}

ServiceRequest::LoginOutcome request (const juce::String& email, const juce::String& password,
                                      std::function<bool()> shouldStop)
{
    const auto url = ServiceRequest::build (ServiceTexts::loginURL(), email, password, "0");
    return ServiceRequest::interpretLogin (ServiceRequest::send (url, ServiceRequest::maxLoginAnswerBytes,
                                                                 std::move (shouldStop)));
}

std::optional<Credentials> read (MakerFolders& folders)
{
    folders.loadGlobalSettings();
    const auto flagValue = CredentialCipher::read (folders.getGlobalValue (ServiceTexts::rememberedFlagKey()));
    const auto email = CredentialCipher::read (folders.getGlobalValue (ServiceTexts::rememberedEmailKey()));
    const auto password = CredentialCipher::read (folders.getGlobalValue (ServiceTexts::rememberedPasswordKey()));
    const auto flag = CredentialCipher::readFlag (flagValue.text);

    // An earlier version's values can be read by any account on this machine:
    // they are read this once and replaced by values only this user can read.
    if (flagValue.earlierForm || email.earlierForm || password.earlierForm)
    {
        if (flag != 0)
            store (folders, email.text, password.text);
        else
            clear (folders);
    }

    if (flag == 0)
        return std::nullopt;

    return Credentials { email.text, password.text };
}

void store (MakerFolders& folders, const juce::String& email, const juce::String& password)
{
    folders.loadGlobalSettings();
    folders.setGlobalValue (ServiceTexts::rememberedEmailKey(), CredentialCipher::encipher (email));
    folders.setGlobalValue (ServiceTexts::rememberedPasswordKey(), CredentialCipher::encipher (password));
    folders.setGlobalValue (ServiceTexts::rememberedFlagKey(), CredentialCipher::encipher ("1"));
    folders.saveGlobalSettings();
}

void clear (MakerFolders& folders)
{
    folders.loadGlobalSettings();
    folders.setGlobalValue (ServiceTexts::rememberedEmailKey(), CredentialCipher::encipher ({}));
    folders.setGlobalValue (ServiceTexts::rememberedPasswordKey(), CredentialCipher::encipher ({}));
    folders.setGlobalValue (ServiceTexts::rememberedFlagKey(), CredentialCipher::encipher ("0"));
    folders.saveGlobalSettings();
}

} // namespace RememberedLogin
