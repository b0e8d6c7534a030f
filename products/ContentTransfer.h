#pragma once

#include <juce_core/juce_core.h>

#include "platform/Platform.h"
#include "products/PlacementJournal.h"

#include <functional>
#include <stdexcept>

/**
    The safe tree copy that merges an installer's presets and samples into the
    maker's shared folders: it adds what is missing and never replaces, alters
    or writes through anything that is already there.

    Each new file is written under a staging name beside its place and moved
    into it only when whole, by a rename that fails rather than replace: a
    crash leaves the old content plus some whole new files, and at most a
    staging copy, which removeUnfinishedCopies() clears.

    The destination lies in a folder other accounts can write, so it is
    walked through folder handles opened without following links, every
    name is created relative to its folder's handle, and before each file
    the chain of folders is checked to still be the one that was opened: a
    folder renamed or swapped for a link meanwhile ends the merge with an
    error, and nothing is created outside the destination.
*/
namespace ContentTransfer
{
    /** The first problem, as fixed text + ": " + the full path in UTF-8. */
    struct Error final : std::runtime_error
    {
        using std::runtime_error::runtime_error;
    };

    /** Thrown when the stop check says so; the copy ends like after an error. */
    struct Stopped final {};

    using StopCheck = std::function<bool()>;

    /** The copy buffer: every read asks for this much. */
    constexpr int bufferSize = 65536;

    /** Refuses overlapping folders, then merges source into destination,
        creating the destination and its missing parents. Staging names carry
        the token (a journaled one, so that recovery knows them; a new one
        when empty).
    */
    void copyContentTree (const juce::File& source, const juce::File& destination, const StopCheck& = {},
                          const juce::String& token = {});

    enum class CopyOutcome { whole, stopped, failed };

    /** Every byte of the source into the stream, checking the stop between
        reads; whole only when all the source said it holds was read and
        written.
    */
    CopyOutcome copyBytes (juce::FileInputStream& source, platform::NewFile& destination, const StopCheck& = {});

    /** Copies one file into a new file at the destination, relative to its
        folder's handle.
    */
    void copyFile (const juce::File& source, const juce::File& destination, const StopCheck& = {});

    /** Deletes the staging copies that an interrupted merge into this folder
        left in it and below it, when the journal issued their token for this
        folder, and then forgets those tokens. Follows no links; touches no
        other name (another program's look-alike stays). Returns how many it
        removed.
    */
    int removeUnfinishedCopies (const juce::File& folder, const PlacementJournal& = PlacementJournal::inPrivateFolder());
}
