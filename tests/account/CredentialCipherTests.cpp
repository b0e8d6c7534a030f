#include <gtest/gtest.h>

#include "account/CredentialCipher.h"
#include "account/LoginWindow.h"
#include "account/ServiceTexts.h"
#include "support/TestHelpers.h"

#include <sys/stat.h>

using testing_support::ScopedHome;

namespace
{
    juce::File privateFolder (const ScopedHome& home)
    {
        return home.home.folder.getChildFile (".config/Quillotone/PluginManager");
    }

    juce::String flipped (const juce::String& stored, int byteIndex)
    {
        juce::MemoryOutputStream decoded;
        juce::Base64::convertFromBase64 (decoded, stored.fromFirstOccurrenceOf (":", false, false));
        auto data = decoded.getMemoryBlock();
        auto index = byteIndex >= 0 ? (size_t) byteIndex : data.getSize() - (size_t) -byteIndex;
        data[index] = (char) (data[index] ^ 0x01);
        return stored.upToFirstOccurrenceOf (":", true, false) + juce::Base64::toBase64 (data.getData(), data.getSize());
    }
}

//==============================================================================
TEST (CredentialCipher, ValuesReadBackForTheirUserOnly)
{
    ScopedHome home;

    for (auto* plain : { "", "demo@quillotone.test", "caf\xc3\xa9 and a password far longer than one block of the keystream" })
    {
        const auto text = juce::String::fromUTF8 (plain);
        const auto stored = CredentialCipher::encipher (text);
        EXPECT_EQ (CredentialCipher::read (stored).text, text);
        EXPECT_FALSE (CredentialCipher::read (stored).earlierForm);
        EXPECT_NE (stored, CredentialCipher::encipher (text)) << "a fresh nonce each time";

        // Any changed byte (format, nonce, cipher text, tag) and the value is refused.
        for (auto byte : { 0, 1, 17, -33, -1 })
            EXPECT_EQ (CredentialCipher::decipher (flipped (stored, byte)), "") << plain << " byte " << byte;

        // Another user's key (another HOME) reads nothing, and shows no garbage.
        ScopedHome other;
        EXPECT_EQ (CredentialCipher::read (stored).text, "") << plain;
    }

    auto key = privateFolder (home).getChildFile ("credential.key");
    EXPECT_EQ (key.getSize(), 32);
    struct stat info {};
    ASSERT_EQ (::stat (key.getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0600u);
    ASSERT_EQ (::stat (privateFolder (home).getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 0777, 0700u);
}

TEST (CredentialCipher, AKeyOrFolderOthersCouldReachIsNeverUsed)
{
    struct Case { const char* what; std::function<void (const juce::File& folder)> spoil; };

    const Case cases[] = {
        { "key readable by others", [] (const juce::File& f) { ::chmod (f.getChildFile ("credential.key").getFullPathName().toRawUTF8(), 0644); } },
        { "key is a link", [] (const juce::File& f) { auto key = f.getChildFile ("credential.key");
                                                      key.moveFileTo (f.getSiblingFile ("elsewhere.key"));
                                                      f.getSiblingFile ("elsewhere.key").createSymbolicLink (key, true); } },
        { "folder open to others", [] (const juce::File& f) { ::chmod (f.getFullPathName().toRawUTF8(), 0755); } },
        { "folder is a link", [] (const juce::File& f) { f.moveFileTo (f.getSiblingFile ("Moved"));
                                                         f.getSiblingFile ("Moved").createSymbolicLink (f, true); } },
    };

    for (const auto& c : cases)
    {
        ScopedHome home;
        const auto stored = CredentialCipher::encipher ("secret");
        ASSERT_EQ (CredentialCipher::decipher (stored), "secret");

        c.spoil (privateFolder (home));
        EXPECT_EQ (CredentialCipher::decipher (stored), "") << c.what;
        EXPECT_EQ (CredentialCipher::encipher ("secret"), "") << c.what;
    }
}

TEST (CredentialCipher, AnEarlierVersionsLoginIsReadOnceAndWrittenAgain)
{
    ScopedHome home;
    const auto earlier = CredentialCipher::encipherEarlierForm ("demo@quillotone.test");

    {
        MakerFolders folders;
        folders.setGlobalValue (ServiceTexts::rememberedFlagKey(), CredentialCipher::encipherEarlierForm ("1"));
        folders.setGlobalValue (ServiceTexts::rememberedEmailKey(), earlier);
        folders.setGlobalValue (ServiceTexts::rememberedPasswordKey(), CredentialCipher::encipherEarlierForm ("quillotone"));
        ASSERT_TRUE (folders.saveGlobalSettings());
    }

    LoginWindow window;
    window.setSize (900, 670);
    EXPECT_EQ (window.getEmailField().getText(), "demo@quillotone.test");
    EXPECT_EQ (window.getPasswordField().getText(), "quillotone");
    EXPECT_TRUE (window.getRememberToggle().getToggleState());

    MakerFolders folders;

    for (auto [key, plain] : { std::pair (ServiceTexts::rememberedFlagKey(), "1"),
                               std::pair (ServiceTexts::rememberedEmailKey(), "demo@quillotone.test"),
                               std::pair (ServiceTexts::rememberedPasswordKey(), "quillotone") })
    {
        const auto reading = CredentialCipher::read (folders.getGlobalValue (key));
        EXPECT_EQ (reading.text, plain);
        EXPECT_FALSE (reading.earlierForm) << plain;
    }

    EXPECT_FALSE (folders.globalSettingsFile().loadFileAsString().contains (earlier));
}
