#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/**
    Small secrets protected for the current user of this machine: what one
    account protects, no other account, and no other machine, can read back.

    Windows: the system's data protection for the current user (DPAPI), with
    no user interface. Elsewhere: a random 32-byte key kept in the user's
    private folder, a keystream of HMAC-SHA256 in counter mode, and an
    HMAC-SHA256 tag over everything before it, checked before anything is
    deciphered.

    Any thread; blocking only on small local files.
*/
namespace UserSecret
{
    /** The protected form of the bytes; nothing when this user's secret cannot be had. */
    std::optional<juce::MemoryBlock> protect (const juce::MemoryBlock& plain);

    /** The bytes back; nothing when they were not protected by this user on
        this machine, or were changed since.
    */
    std::optional<juce::MemoryBlock> unprotect (const juce::MemoryBlock& protectedBytes);

   #if ! JUCE_WINDOWS
    /** HMAC-SHA256 of the data under the key. */
    juce::MemoryBlock hmacSha256 (const juce::MemoryBlock& key, const juce::MemoryBlock& data);

    /** The user's private folder, $HOME/.config/Quillotone/PluginManager, as
        a descriptor to close; -1 when it cannot be had. Missing folders are
        made with mode 0700, each piece below HOME is opened without following
        a link, and the folder is accepted only when this user owns it and no
        one else may enter it. Everything kept there is opened relative to it.
    */
    int openPrivateFolder();
   #endif
}
