#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/**
    The staging and backup tokens this manager issued, so that recovery after
    a crash acts on its own names only: a "<name>.backup.<hex>" or
    "<name>.pending.<hex>" of another program looks the same.

    One small file per token in a folder of the manager's private folder,
    written whole (under a temporary name, then renamed) before the first
    name it covers exists, and removed once those names are gone. Each entry
    holds the folder the names stand in, the target's name (empty for a
    content merge, whose names stand anywhere below the folder) and a
    sequence that orders entries by when they were issued.

    Plain value class; any thread, but one placement of a target at a time.
*/
class PlacementJournal final
{
public:
    /** A journal kept in that folder; an empty File makes an unusable one. */
    explicit PlacementJournal (juce::File journalFolder);

    /** The journal in the manager's private folder; unusable when that folder may not be used. */
    static PlacementJournal inPrivateFolder();

    struct Entry
    {
        juce::String token;
        juce::File folder;
        juce::String targetName;
        juce::int64 sequence = 0;
    };

    /** False when nothing can be recorded: placements must then not start. */
    bool isUsable() const;

    /** Records a new token for names in that folder; empty when it could not be written. */
    juce::String issue (const juce::File& folder, const juce::String& targetName) const;

    /** The entry of a token this journal issued and has not finished. */
    std::optional<Entry> find (const juce::String& token) const;

    /** Forgets a token whose names are gone. */
    void finish (const juce::String& token) const;

private:
    juce::File folder;
};
