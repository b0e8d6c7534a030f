#pragma once

#include <juce_core/juce_core.h>

/**
    The reversible cipher of the remembered login, stored as text in the
    global settings file.

    Values are protected with the current user's own secret (UserSecret):
    another account, or another machine, cannot read them back. A value an
    earlier version wrote (Blowfish keyed by the credential key compiled into
    the program) still reads, marked as such, so the caller can write it again
    the new way.
*/
namespace CredentialCipher
{
    /** The value enciphered with this user's secret; never the plain text, also
        for an empty value. Empty when the secret cannot be had, which reads back
        as nothing remembered.
    */
    juce::String encipher (const juce::String& plain);

    /** What a stored value reads as. */
    struct Reading
    {
        juce::String text;       ///< empty when the value is not one we can read
        bool earlierForm = false;  ///< written by an earlier version: write it again
    };

    Reading read (const juce::String& stored);

    /** read().text. */
    juce::String decipher (const juce::String& stored);

    /** The form earlier versions wrote; for the tests of the move to the new form. */
    juce::String encipherEarlierForm (const juce::String& plain);

    /** Leading decimal digits as a number; anything else reads 0. */
    int readFlag (const juce::String& deciphered);
}
