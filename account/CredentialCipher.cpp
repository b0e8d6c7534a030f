#include "account/CredentialCipher.h"

#include "account/ServiceTexts.h"

#include <juce_cryptography/juce_cryptography.h>

namespace CredentialCipher
{

namespace
{
    juce::BlowFish makeCipher()
    {
        juce::MemoryBlock key;
        key.loadFromHexString (ServiceTexts::credentialKey());
        return juce::BlowFish (key.getData(), (int) key.getSize());
    }
}

juce::String encipher (const juce::String& plain)
{
    juce::MemoryBlock data (plain.toRawUTF8(), plain.getNumBytesAsUTF8());
    makeCipher().encrypt (data);
    return juce::Base64::toBase64 (data.getData(), data.getSize());
}

juce::String decipher (const juce::String& stored)
{
    juce::MemoryOutputStream decoded;

    if (stored.isEmpty() || ! juce::Base64::convertFromBase64 (decoded, stored))
        return {};

    auto data = decoded.getMemoryBlock();

    // Blowfish works on 8-byte blocks; anything else was not written by us.
    if (data.getSize() == 0 || data.getSize() % 8 != 0)
        return {};

    auto size = makeCipher().decrypt (data.getData(), data.getSize());

    if (size < 0)
        return {};

    data.setSize ((size_t) size);

    auto* text = static_cast<const char*> (data.getData());

    if (! juce::CharPointer_UTF8::isValidString (text, (int) data.getSize()))
        return {};

    return juce::String::fromUTF8 (text, (int) data.getSize());
}

int readFlag (const juce::String& deciphered)
{
    auto digits = deciphered.initialSectionContainingOnly ("0123456789");
    return digits.isEmpty() ? 0 : digits.substring (0, 9).getIntValue();
}

} // namespace CredentialCipher
