// The manifest signature against what openssl made: the stand-in's key and
// its signed manifests, and a key made here.
#include <gtest/gtest.h>

#include "selfupdate/ManifestSignature.h"

#include <algorithm>

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

    juce::String run (const juce::StringArray& command)
    {
        juce::ChildProcess process;

        if (! process.start (command))
            return {};

        auto output = process.readAllProcessOutput();
        return process.getExitCode() == 0 ? output.trim() : juce::String();
    }

    /** big-endian, in exactly size bytes */
    juce::MemoryBlock bigEndian (const juce::BigInteger& value, size_t size)
    {
        const auto little = value.toMemoryBlock();
        juce::MemoryBlock bytes (size, true);

        for (size_t i = 0; i < little.getSize() && i < size; ++i)
            bytes[size - 1 - i] = little[i];

        return bytes;
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

TEST (ManifestSignature, ASignatureCountsOnlyAsTheOneNumberBelowTheModulus)
{
    // A 2052-bit modulus leaves room in its 257 bytes for the signature plus
    // the modulus, which the arithmetic alone cannot tell from the signature.
    const auto folder = juce::File::createTempFile ("signature");
    ASSERT_TRUE (folder.createDirectory());
    const auto privateKey = folder.getChildFile ("key.pem"), message = folder.getChildFile ("latest.json");
    const auto signatureFile = folder.getChildFile ("latest.json.sig");
    ASSERT_TRUE (message.replaceWithText ("{\"schema\": 1}"));
    run ({ "openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2052", "-out", privateKey.getFullPathName() });
    run ({ "openssl", "dgst", "-sha256", "-sign", privateKey.getFullPathName(), "-out", signatureFile.getFullPathName(),
           message.getFullPathName() });
    const auto key = run ({ "/usr/bin/python3", QUILLOTONE_SOURCE_DIR "/tools/sign-manager-manifest.py", "public-key",
                            privateKey.getFullPathName() });
    const auto manifest = load (message), signature = load (signatureFile);
    folder.deleteRecursively();
    ASSERT_EQ (signature.getSize(), 257u) << key;

    juce::BigInteger s, n;
    n.parseString (key.fromFirstOccurrenceOf (",", false, false), 16);
    juce::MemoryBlock reversed (signature);
    std::reverse (static_cast<char*> (reversed.getData()), static_cast<char*> (reversed.getData()) + reversed.getSize());
    s.loadFromMemoryBlock (reversed);

    juce::MemoryBlock leadingZero (1, true);
    leadingZero.append (signature.getData(), signature.getSize());

    struct Case { const char* what; juce::MemoryBlock signature; bool valid; };
    const Case cases[] = {
        { "as signed",             signature,              true },
        { "plus the modulus",      bigEndian (s + n, 257), false },
        { "plus twice the modulus", bigEndian (s + n + n, 257), false },
        { "with a leading zero",   leadingZero,            false },
    };

    for (auto& c : cases)
        EXPECT_EQ (ManifestSignature::verify (manifest, c.signature, key), c.valid) << c.what;
}
