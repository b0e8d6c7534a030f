#pragma once

#include <juce_core/juce_core.h>

/**
    The reversible cipher of the remembered login: Blowfish keyed by the
    credential key, stored as Base64 text in the global settings file.
*/
namespace CredentialCipher
{
    /** The value enciphered; never the plain text, also for an empty value. */
    juce::String encipher (const juce::String& plain);

    /** The value deciphered; empty when the text is not a value we enciphered. */
    juce::String decipher (const juce::String& stored);

    /** Leading decimal digits as a number; anything else reads 0. */
    int readFlag (const juce::String& deciphered);
}
