#include "account/CredentialCipher.h"

#include "account/ServiceTexts.h"
#include "platform/UserSecret.h"

#include <juce_cryptography/juce_cryptography.h>

namespace CredentialCipher
{

namespace
{
    // Base64 never holds a colon, so this marks the new form unmistakably.
    const juce::String userSecretPrefix ("u1:");

    juce::BlowFish makeEarlierCipher()
    {
        juce::MemoryBlock key;
        key.loadFromHexString (ServiceTexts::credentialKey());
        return juce::BlowFish (key.getData(), (int) key.getSize());
    }

    juce::String utf8Text (const juce::MemoryBlock& data)
    {
        auto* text = static_cast<const char*> (data.getData());

        if (data.isEmpty())
            return {};

        if (! juce::CharPointer_UTF8::isValidString (text, (int) data.getSize()))
            return {};

        return juce::String::fromUTF8 (text, (int) data.getSize());
    }

    bool fromBase64 (const juce::String& text, juce::MemoryBlock& data)
    {
        juce::MemoryOutputStream decoded;

        if (text.isEmpty() || ! juce::Base64::convertFromBase64 (decoded, text))
            return false;

        data = decoded.getMemoryBlock();
        return true;
    }

    juce::String readEarlierForm (const juce::String& stored)
    {
        juce::MemoryBlock data;

        // Blowfish works on 8-byte blocks; anything else was not written by us.
        if (! fromBase64 (stored, data) || data.getSize() == 0 || data.getSize() % 8 != 0)
            return {};

        auto size = makeEarlierCipher().decrypt (data.getData(), data.getSize());

        if (size < 0)
            return {};

        data.setSize ((size_t) size);
        return utf8Text (data);
    }
}

juce::String encipher (const juce::String& plain)
{
    const auto protectedBytes = UserSecret::protect (juce::MemoryBlock (plain.toRawUTF8(), plain.getNumBytesAsUTF8()));

    if (! protectedBytes)
        return {};

    return userSecretPrefix + juce::Base64::toBase64 (protectedBytes->getData(), protectedBytes->getSize());
}

Reading read (const juce::String& stored)
{
    if (! stored.startsWith (userSecretPrefix))
        return { readEarlierForm (stored), stored.isNotEmpty() };

    juce::MemoryBlock data;

    if (! fromBase64 (stored.substring (userSecretPrefix.length()), data))
        return {};

    const auto plain = UserSecret::unprotect (data);
    return { plain ? utf8Text (*plain) : juce::String() };
}

juce::String decipher (const juce::String& stored)
{
    return read (stored).text;
}

juce::String encipherEarlierForm (const juce::String& plain)
{
    juce::MemoryBlock data (plain.toRawUTF8(), plain.getNumBytesAsUTF8());
    makeEarlierCipher().encrypt (data);
    return juce::Base64::toBase64 (data.getData(), data.getSize());
}

int readFlag (const juce::String& deciphered)
{
    auto digits = deciphered.initialSectionContainingOnly ("0123456789");
    return digits.isEmpty() ? 0 : digits.substring (0, 9).getIntValue();
}

} // namespace CredentialCipher
