#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/**
    The names under which a new copy waits beside its target, and under which
    the previous version waits while it is swapped out:

        <target's file name>.pending.<token>
        <target's file name>.backup.<token>

    where the token is 32 lower-case hexadecimal digits, new for every
    placement or merge. A crash can leave such names behind; recovery finds
    them by this pattern and acts only on tokens its journal issued, since
    other software may use names of the same shape.
*/
namespace StagingNames
{
    /** 32 hexadecimal digits of a new random UUID. */
    juce::String newToken();

    juce::File pending (const juce::File& target, const juce::String& token);
    juce::File backup (const juce::File& target, const juce::String& token);

    /** The same names as plain file names, for folder-relative work. */
    juce::String pendingName (const juce::String& targetName, const juce::String& token);
    juce::String backupName (const juce::String& targetName, const juce::String& token);

    struct Parsed
    {
        juce::String targetName;
        juce::String token;
        bool isBackup = false;
    };

    /** What a staging name stands for; nothing for any other name. */
    std::optional<Parsed> parse (const juce::String& fileName);
}
