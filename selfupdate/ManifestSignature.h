#pragma once

#include <juce_core/juce_core.h>

/**
    The detached signature over the exact bytes of the update manifest:
    RSASSA-PKCS1-v1_5 with SHA-256 (RFC 8017), what `openssl dgst -sha256
    -sign` writes, checked with the framework's big integers.

    A content server that someone else controls can rewrite a manifest and
    the digest in it together; it cannot make this signature without the
    maker's private key. tools/sign-manager-manifest.py makes keys and
    signatures and prints the public key in the form read here.
*/
namespace ManifestSignature
{
    /** The public key as "exponent,modulus", both hexadecimal (the
        framework's RSAKey text). True for a modulus of 2048 bits or more and
        an odd exponent of at least 3.
    */
    bool isUsableKey (const juce::String& publicKey);

    /** True when the signature is the key's RSASSA-PKCS1-v1_5 SHA-256
        signature of the message. Any malformed input is simply false.
    */
    bool verify (const juce::MemoryBlock& message, const juce::MemoryBlock& signature,
                 const juce::String& publicKey);
}
