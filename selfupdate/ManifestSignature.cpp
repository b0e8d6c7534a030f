#include "selfupdate/ManifestSignature.h"

#include <juce_cryptography/juce_cryptography.h>

#include <vector>

namespace ManifestSignature
{

namespace
{
    struct PublicKey
    {
        juce::BigInteger exponent, modulus;
        size_t bytes = 0;
    };

    bool parseKey (const juce::String& text, PublicKey& key)
    {
        const auto exponent = text.upToFirstOccurrenceOf (",", false, false).trim();
        const auto modulus = text.fromFirstOccurrenceOf (",", false, false).trim();
        const char* hex = "0123456789abcdefABCDEF";

        // The framework's hex reader skips what it does not know; refuse first.
        if (! text.containsChar (',') || exponent.isEmpty() || modulus.isEmpty()
             || ! exponent.containsOnly (hex) || ! modulus.containsOnly (hex))
            return false;

        key.exponent.parseString (exponent, 16);
        key.modulus.parseString (modulus, 16);

        const auto bits = key.modulus.getHighestBit() + 1;

        if (bits < 2048 || bits > 16384 || ! key.modulus[0])
            return false;

        if (! key.exponent[0] || key.exponent.compare (juce::BigInteger (3)) < 0 || key.exponent.compare (key.modulus) >= 0)
            return false;

        key.bytes = (size_t) (bits + 7) / 8;
        return true;
    }

    juce::BigInteger fromBigEndian (const juce::MemoryBlock& bytes)
    {
        juce::MemoryBlock littleEndian (bytes.getSize());

        for (size_t i = 0; i < bytes.getSize(); ++i)
            littleEndian[i] = bytes[bytes.getSize() - 1 - i];

        juce::BigInteger value;
        value.loadFromMemoryBlock (littleEndian);
        return value;
    }

    // DER of DigestInfo { sha256, NULL }, followed by the 32 digest bytes.
    constexpr unsigned char sha256DigestInfo[] = { 0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                                   0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20 };
}

bool isUsableKey (const juce::String& publicKey)
{
    PublicKey key;
    return parseKey (publicKey, key);
}

bool verify (const juce::MemoryBlock& message, const juce::MemoryBlock& signature, const juce::String& publicKey)
{
    PublicKey key;

    if (! parseKey (publicKey, key) || signature.getSize() != key.bytes)
        return false;

    const auto s = fromBigEndian (signature);

    if (s.compare (key.modulus) >= 0)
        return false;

    auto m = s;
    m.exponentModulo (key.exponent, key.modulus);

    const auto recovered = m.toMemoryBlock();       // little-endian, m < modulus

    if (recovered.getSize() > key.bytes)
        return false;

    std::vector<unsigned char> encoded (key.bytes, 0);

    for (size_t i = 0; i < recovered.getSize(); ++i)
        encoded[key.bytes - 1 - i] = (unsigned char) recovered[i];

    // Build the one encoding a genuine signature can have and compare every
    // byte, rather than parsing what came out: no lenient parse to fool.
    const auto digest = juce::SHA256 (message).getRawData();
    const auto tailSize = sizeof (sha256DigestInfo) + digest.getSize();

    if (key.bytes < tailSize + 11)
        return false;

    std::vector<unsigned char> expected (key.bytes, 0xff);
    expected[0] = 0x00;
    expected[1] = 0x01;
    expected[key.bytes - tailSize - 1] = 0x00;
    std::copy (std::begin (sha256DigestInfo), std::end (sha256DigestInfo), expected.end() - (std::ptrdiff_t) tailSize);
    std::copy (static_cast<const unsigned char*> (digest.getData()),
               static_cast<const unsigned char*> (digest.getData()) + digest.getSize(), expected.end() - (std::ptrdiff_t) digest.getSize());

    return encoded == expected;
}

} // namespace ManifestSignature
