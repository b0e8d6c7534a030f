#pragma once

#include <juce_core/juce_core.h>

#include "platform/Platform.h"

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

    /** Refuses overlapping folders, then merges source into destination. */
    void copyContentTree (const juce::File& source, const juce::File& destination, const StopCheck& = {});

    /** Merges one folder into another, recursively. */
    void copyFolder (const juce::File& source, const juce::File& destination, const StopCheck& = {});

    enum class CopyOutcome { whole, stopped, failed };

    /** Every byte of the source into the stream, checking the stop between
        reads; whole only when all the source said it holds was read and
        written.
    */
    CopyOutcome copyBytes (juce::FileInputStream& source, platform::NewFile& destination, const StopCheck& = {});

    /** Copies one file into a new file at the destination. */
    void copyFile (const juce::File& source, const juce::File& destination, const StopCheck& = {});

    /** Deletes the staging copies that an interrupted copy left in the folder
        and below it. Follows no links; touches no other name. Returns how
        many it removed.
    */
    int removeUnfinishedCopies (const juce::File& folder);
}
