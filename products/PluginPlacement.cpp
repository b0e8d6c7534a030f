#include "products/PluginPlacement.h"

#include "products/ContentTransfer.h"
#include "products/StagingNames.h"

#include <algorithm>
#include <vector>

namespace PluginPlacement
{

using platform::FolderHandle;

namespace
{
    /** Removes a name and, for a real folder, everything below it; a link goes itself. */
    bool removeTree (const FolderHandle& folder, const juce::String& name)
    {
        if (folder.kindOf (name) == FolderHandle::Kind::folder)
            if (auto child = folder.openChild (name))
                for (const auto& inner : child->names())
                    removeTree (*child, inner);

        return folder.remove (name);
    }

    bool taken (const FolderHandle& folder, const juce::String& name)
    {
        return folder.kindOf (name) != FolderHandle::Kind::missing;
    }

    bool copyOneFile (const juce::File& source, const FolderHandle& folder, const juce::String& name, const StopCheck& shouldStop)
    {
        juce::FileInputStream in (source);
        auto out = folder.createFile (name);

        if (! in.openedOk() || out == nullptr)
            return false;

        return ContentTransfer::copyBytes (in, *out, shouldStop) == ContentTransfer::CopyOutcome::whole && out->close();
    }

    bool copyInto (const juce::File& source, const FolderHandle& folder, const juce::String& name, const StopCheck& shouldStop)
    {
        if (platform::isLink (source))
            return false;

        if (platform::isRegularFile (source))
            return copyOneFile (source, folder, name, shouldStop);

        if (! source.isDirectory() || ! folder.createFolder (name))
            return false;

        auto child = folder.openChild (name);

        if (child == nullptr)
            return false;

        for (const auto& entry : juce::RangedDirectoryIterator (source, false, "*", juce::File::findFilesAndDirectories,
                                                                 juce::File::FollowSymlinks::no))
            if (! copyInto (entry.getFile(), *child, entry.getFile().getFileName(), shouldStop))
                return false;

        return true;
    }
}

const FileSteps& FileSteps::real()
{
    static const FileSteps steps {
        &copyTreeInto,
        [] (const FolderHandle& folder, const juce::String& from, const juce::String& to) { return folder.renameNoReplace (from, to); },
        nullptr
    };

    return steps;
}

bool copyTreeInto (const juce::File& source, const FolderHandle& folder, const juce::String& name, const StopCheck& shouldStop)
{
    if (taken (folder, name))
        return false;

    if (copyInto (source, folder, name, shouldStop))
        return true;

    removeTree (folder, name);
    return false;
}

bool copyTree (const juce::File& source, const juce::File& destination, const StopCheck& shouldStop)
{
    auto folder = FolderHandle::openFollowing (destination.getParentDirectory());
    return folder != nullptr && copyTreeInto (source, *folder, destination.getFileName(), shouldStop);
}

bool ensureFolder (const juce::File& folder)
{
    // createDirectory makes the missing parents too.
    return folder.getFullPathName().isNotEmpty() && (folder.isDirectory() || folder.createDirectory().wasOk())
        && folder.isDirectory();
}

Result placeFormat (const juce::File& source, const juce::File& target, const juce::String& message,
                    const StopCheck& shouldStop, const FileSteps& steps, const PlacementJournal& journal)
{
    auto failed = [&message] (const juce::String& sentence = {}) { return Result { false, false, message + sentence }; };

    if (source.getFullPathName().isEmpty() || ! (source.exists() || platform::isLink (source)))
        return failed();

    const auto parent = target.getParentDirectory();

    if ((parent.getFullPathName().isEmpty() || ! parent.exists()) && ! ensureFolder (parent))
        return failed();

    // Opened once: a link swapped in for the folder later changes nothing.
    const auto folder = FolderHandle::openFollowing (parent);
    const auto name = target.getFileName();

    if (folder == nullptr || ! journal.isUsable())
        return failed();

    // What an earlier, interrupted placement of this target left behind.
    recoverInterrupted (parent, name, journal);

    const auto token = journal.issue (parent, name);

    if (token.isEmpty())
        return failed();

    const auto staged = StagingNames::pendingName (name, token);
    const auto backup = StagingNames::backupName (name, token);

    auto tell = [&steps] (const char* step)
    {
        if (steps.reached != nullptr)
            steps.reached (step);
    };

    // A staged copy never survives the placement, whatever way it ends; the
    // token stays journaled while a backup still needs putting back.
    const juce::ScopeGuard tidy { [&]
    {
        if (taken (*folder, staged))
            removeTree (*folder, staged);

        if (! taken (*folder, backup))
            journal.finish (token);
    } };

    if (! steps.copy (source, *folder, staged, shouldStop))
    {
        if (shouldStop != nullptr && shouldStop())
            return { false, true, {} };

        return failed();
    }

    tell ("staged");

    const auto hadPrevious = taken (*folder, name);

    if (hadPrevious)
    {
        if (! steps.rename (*folder, name, backup))
            return failed (" The previous version was kept.");

        tell ("moved aside");
    }

    if (steps.rename (*folder, staged, name))
    {
        tell ("swapped in");

        if (hadPrevious)
            removeTree (*folder, backup);

        return Result::ok();
    }

    if (! hadPrevious || steps.rename (*folder, backup, name))
        return failed (" The previous version was restored.");

    return failed (" The previous version is at " + parent.getChildFile (backup).getFullPathName() + ".");
}

Result transferContent (const juce::File& source, const juce::File& destination, const juce::String& message,
                        const StopCheck& shouldStop, const PlacementJournal& journal)
{
    // Copies an interrupted merge left under staging names go first.
    ContentTransfer::removeUnfinishedCopies (destination, journal);

    const auto token = journal.issue (destination, {});
    const juce::ScopeGuard forget { [&] { journal.finish (token); } };

    if (token.isEmpty())
        return { false, false, message + " Existing content was preserved." };

    try
    {
        ContentTransfer::copyContentTree (source, destination, shouldStop, token);
        return Result::ok();
    }
    catch (const ContentTransfer::Stopped&)
    {
        return { false, true, {} };
    }
    catch (const ContentTransfer::Error& error)
    {
        return { false, false, message + " Existing content was preserved. " + juce::String::fromUTF8 (error.what()) };
    }
}

int recoverInterrupted (const juce::File& path, const juce::String& onlyForTargetName, const PlacementJournal& journal)
{
    const auto folder = FolderHandle::openFollowing (path);

    if (folder == nullptr)
        return 0;

    struct Found
    {
        juce::String name;
        StagingNames::Parsed parsed;
        juce::int64 sequence;
    };

    std::vector<Found> backups, pendings;
    juce::StringArray tokens;

    for (const auto& name : folder->names())
    {
        const auto parsed = StagingNames::parse (name);

        if (! parsed || (onlyForTargetName.isNotEmpty() && parsed->targetName != onlyForTargetName))
            continue;

        // Only names this manager issued for this very folder and target.
        const auto entry = journal.find (parsed->token);

        if (! entry || entry->folder != path || entry->targetName != parsed->targetName)
            continue;

        tokens.addIfNotAlreadyThere (parsed->token);
        (parsed->isBackup ? backups : pendings).push_back ({ name, *parsed, entry->sequence });
    }

    // The backup issued last holds the version that was in place last.
    std::sort (backups.begin(), backups.end(), [] (const Found& a, const Found& b) { return a.sequence > b.sequence; });

    int resolved = 0;

    for (const auto& backup : backups)
    {
        // A missing target means the swap never finished: the backup is the
        // plugin. A present one means it did: the backup is left over.
        const auto& target = backup.parsed.targetName;

        if (! taken (*folder, target) ? folder->renameNoReplace (backup.name, target) : removeTree (*folder, backup.name))
            ++resolved;
    }

    for (const auto& staged : pendings)
        if (removeTree (*folder, staged.name))
            ++resolved;

    for (const auto& token : tokens)
    {
        bool left = false;

        for (const auto& found : backups)
            left = left || (found.parsed.token == token && taken (*folder, found.name));

        for (const auto& found : pendings)
            left = left || (found.parsed.token == token && taken (*folder, found.name));

        if (! left)
            journal.finish (token);
    }

    return resolved;
}

} // namespace PluginPlacement
