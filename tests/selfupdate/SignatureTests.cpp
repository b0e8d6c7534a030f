// The manifest signature against what openssl made at build time: the
// stand-in's key and its signed manifests.
#include <gtest/gtest.h>

#include "selfupdate/ManifestSignature.h"

namespace
{
    juce::File content (const juce::String& path)  { return juce::File (QUILLOTONE_STANDIN_CONTENT).getChildFile (path); }

    juce::MemoryBlock load (const juce::File& file)
    {
        juce::MemoryBlock data;
        file.loadFileAsData (data);
        return data;
    }

    juce::MemoryBlock flipped (juce::MemoryBlock data, size_t at)
    {
        data[at] = (char) (data[at] ^ 0x01);
        return data;
    }
}

TEST (ManifestSignature, OnlyTheMakersSignatureOfTheExactBytesPasses)
{
    const auto key = juce::File (QUILLOTONE_STANDIN_PUBLIC_KEY).loadFileAsString().trim();
    const auto modulus = key.fromFirstOccurrenceOf (",", false, false);
    const auto manifest = load (content ("plugin-manager/latest.json"));
    const auto signature = load (content ("plugin-manager/latest.json.sig"));
    const auto otherSignature = load (content ("plugin-manager/offer/latest.json.sig"));
    ASSERT_TRUE (ManifestSignature::isUsableKey (key));
    ASSERT_EQ (signature.getSize(), 384u);

    auto longer = signature;
    longer.append ("", 1);
    juce::MemoryBlock modulusBytes;
    modulusBytes.loadFromHexString (modulus);
    const auto otherKey = "10001," + modulus.substring (0, 10) + (modulus[10] == '1' ? "3" : "1") + modulus.substring (11);

    struct Case { const char* what; juce::MemoryBlock message, signature; juce::String key; bool valid; };
    const Case cases[] = {
        { "as signed",                         manifest,              signature,              key,      true },
        { "one bit of the manifest changed",   flipped (manifest, 40), signature,             key,      false },
        { "one bit of the signature changed",  manifest,              flipped (signature, 200), key,    false },
        { "another manifest's signature",      manifest,              otherSignature,         key,      false },
        { "a byte short",                      manifest,              juce::MemoryBlock (signature.getData(), 383), key, false },
        { "a byte long",                       manifest,              longer,                 key,      false },
        { "the modulus as signature",          manifest,              modulusBytes,           key,      false },
        { "no signature",                      manifest,              {},                     key,      false },
        { "another key",                       manifest,              signature,              otherKey, false },
    };

    for (auto& c : cases)
        EXPECT_EQ (ManifestSignature::verify (c.message, c.signature, c.key), c.valid) << c.what;

    // Keys that must never count as configured.
    for (auto bad : { juce::String(), juce::String ("10001"), "10001," + modulus + "zz", "," + modulus, "2," + modulus,
                      "1," + modulus, "10001," + modulus.substring (0, 500), "10001," + modulus.dropLastCharacters (1) + "2",
                      "10001,," + modulus, "-10001," + modulus })
        EXPECT_FALSE (ManifestSignature::isUsableKey (bad)) << bad;
}
