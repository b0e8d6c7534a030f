#pragma once

#include <juce_core/juce_core.h>

#include "platform/Platform.h"
#include "products/PlacementJournal.h"

#include <functional>

/**
    Putting a new version of a plugin in place without ever leaving the user
    with none, and merging content without touching what is there.

    placeFormat() stages a copy next to the target, moves the previous version
    aside, swaps the new one in, and on any failure puts the previous version
    back or says where it is. A crash between those renames leaves names that
    recoverInterrupted() understands: the next placement of a target, and the
    manager's start for every plugin folder, put a stranded previous version
    back and clear stale copies.

    Every token is recorded in the journal before the first name it covers
    exists, and recovery acts only on names whose token the journal holds
    for that folder and target. The target's folder is opened once, and the
    copy and every rename happen relative to that handle, so a folder
    swapped for a link meanwhile redirects nothing.
*/
namespace PluginPlacement
{
    using StopCheck = std::function<bool()>;

    /** How a placement or a merge ended. */
    struct Result
    {
        bool succeeded = false;
        bool stopped = false;           ///< ended on a stop request: no message
        juce::String failure;           ///< the message for the user otherwise

        static Result ok()              { return { true, false, {} }; }
    };

    /** What placeFormat does to the disk; tests replace a piece to make one
        step fail, or to end the process at a step.
    */
    struct FileSteps
    {
        /** Copies the source under a new name in the folder. */
        std::function<bool (const juce::File& source, const platform::FolderHandle& folder,
                            const juce::String& staged, const StopCheck&)> copy;

        /** Renames within the folder, never replacing. */
        std::function<bool (const platform::FolderHandle& folder, const juce::String& from, const juce::String& to)> rename;

        /** Told "staged", "moved aside" and "swapped in" as each is done. */
        std::function<void (const char* step)> reached;

        static const FileSteps& real();
    };

    /** Replaces the target (a file, or a bundle folder) by a copy of the
        source, with a rollback to the previous version on failure.
    */
    Result placeFormat (const juce::File& source, const juce::File& target, const juce::String& message,
                        const StopCheck& = {}, const FileSteps& = FileSteps::real(),
                        const PlacementJournal& = PlacementJournal::inPrivateFolder());

    /** Merges the source tree into the destination folder; existing files stay. */
    Result transferContent (const juce::File& source, const juce::File& destination, const juce::String& message,
                            const StopCheck& = {}, const PlacementJournal& = PlacementJournal::inPrivateFolder());

    /** Creates a folder and its missing parents; true when it is a folder afterwards. */
    bool ensureFolder (const juce::File& folder);

    /** Copies a file, or a folder with its whole tree, into a new place that
        must not exist yet; refuses links and anything that is not a plain file
        or folder. A partial copy is removed.
    */
    bool copyTree (const juce::File& source, const juce::File& destination, const StopCheck& = {});

    /** The same, into a new name relative to a folder handle. */
    bool copyTreeInto (const juce::File& source, const platform::FolderHandle& folder, const juce::String& name,
                       const StopCheck& = {});

    /** Puts back the newest previous version that an interrupted placement
        left under its backup name while the target is missing, and removes
        staged copies and backups that are no longer needed; only names whose
        token the journal issued for this folder and target. With a target
        name, only that target's names are looked at. Nothing else is
        touched. Returns how many names it resolved.
    */
    int recoverInterrupted (const juce::File& folder, const juce::String& onlyForTargetName = {},
                            const PlacementJournal& = PlacementJournal::inPrivateFolder());
}
