#include "windows/WindowsTestSupport.h"

#include "account/CredentialCipher.h"
#include "platform/InstanceLock.h"
#include "platform/UserSecret.h"

using WindowsUserSecret = windows_testing::WineAwareTest;

TEST_F (WindowsUserSecret, TheRememberedLoginIsProtectedForThisUser)
{
    for (auto* plain : { "", "demo@quillotone.test", "caf\xc3\xa9 and a password" })
    {
        const auto text = juce::String::fromUTF8 (plain);
        const auto stored = CredentialCipher::encipher (text);
        ASSERT_TRUE (stored.startsWith ("u1:")) << plain;
        EXPECT_EQ (CredentialCipher::read (stored).text, text);
        EXPECT_FALSE (CredentialCipher::read (stored).earlierForm);

        // A changed byte, or bytes the system never protected, read as nothing.
        juce::MemoryOutputStream decoded;
        ASSERT_TRUE (juce::Base64::convertFromBase64 (decoded, stored.substring (3)));
        auto data = decoded.getMemoryBlock();
        data[data.getSize() - 1] = (char) (data[data.getSize() - 1] ^ 0x01);
        EXPECT_FALSE (UserSecret::unprotect (data).has_value()) << plain;
        EXPECT_EQ (CredentialCipher::decipher ("u1:" + juce::Base64::toBase64 (data.getData(), data.getSize())), "");
    }

    EXPECT_FALSE (UserSecret::unprotect (juce::MemoryBlock ("not protected", 13)).has_value());
    EXPECT_EQ (CredentialCipher::read (CredentialCipher::encipherEarlierForm ("1")).text, "1");
}

TEST_F (WindowsUserSecret, OneManagerPerUserAndSession)
{
    auto first = std::make_unique<InstanceLock>();
    EXPECT_EQ (first->getState(), InstanceLock::State::held);
    EXPECT_EQ (InstanceLock().getState(), InstanceLock::State::heldElsewhere);

    first.reset();
    EXPECT_EQ (InstanceLock().getState(), InstanceLock::State::held);
}
