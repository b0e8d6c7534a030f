#include "products/PluginPlacement.h"

#include "platform/Platform.h"
#include "products/ContentTransfer.h"
#include "products/StagingNames.h"

namespace PluginPlacement
{

namespace
{
    bool removeCompletely (const juce::File& path)
    {
        if (platform::isLink (path) || ! path.isDirectory())
            return path.deleteFile();

        return path.deleteRecursively (false);
    }

    bool existsOrIsLink (const juce::File& path)
    {
        return path.exists() || platform::isLink (path);
    }

    bool copyOneFile (const juce::File& source, const juce::File& destination, const StopCheck& shouldStop)
    {
        juce::FileInputStream in (source);
        auto out = platform::NewFile::create (destination);

        if (! in.openedOk() || out == nullptr)
            return false;

        return ContentTransfer::copyBytes (in, *out, shouldStop) == ContentTransfer::CopyOutcome::whole && out->close();
    }

    bool copyInto (const juce::File& source, const juce::File& destination, const StopCheck& shouldStop)
    {
        if (platform::isLink (source))
            return false;

        if (platform::isRegularFile (source))
            return copyOneFile (source, destination, shouldStop);

        if (! source.isDirectory() || ! destination.createDirectory())
            return false;

        for (const auto& entry : juce::RangedDirectoryIterator (source, false, "*", juce::File::findFilesAndDirectories,
                                                                 juce::File::FollowSymlinks::no))
            if (! copyInto (entry.getFile(), destination.getChildFile (entry.getFile().getFileName()), shouldStop))
                return false;

        return true;
    }
}

const FileSteps& FileSteps::real()
{
    static const FileSteps steps { &copyTree, &platform::renameNoReplace, nullptr };
    return steps;
}

bool copyTree (const juce::File& source, const juce::File& destination, const StopCheck& shouldStop)
{
    if (existsOrIsLink (destination))
        return false;

    if (copyInto (source, destination, shouldStop))
        return true;

    removeCompletely (destination);
    return false;
}

bool ensureFolder (const juce::File& folder)
{
    // createDirectory makes the missing parents too.
    return folder.getFullPathName().isNotEmpty() && (folder.isDirectory() || folder.createDirectory().wasOk())
        && folder.isDirectory();
}

Result placeFormat (const juce::File& source, const juce::File& target, const juce::String& message,
                    const StopCheck& shouldStop, const FileSteps& steps)
{
    auto failed = [&message] (const juce::String& sentence = {}) { return Result { false, false, message + sentence }; };

    if (source.getFullPathName().isEmpty() || ! existsOrIsLink (source))
        return failed();

    const auto parent = target.getParentDirectory();

    if ((parent.getFullPathName().isEmpty() || ! parent.exists()) && ! ensureFolder (parent))
        return failed();

    // What an earlier, interrupted placement of this target left behind.
    recoverInterrupted (parent, target.getFileName());

    const auto token = StagingNames::newToken();
    const auto staged = StagingNames::pending (target, token);
    const auto backup = StagingNames::backup (target, token);

    auto tell = [&steps] (const char* step)
    {
        if (steps.reached != nullptr)
            steps.reached (step);
    };

    // A staged copy never survives the placement, whatever way it ends.
    const juce::ScopeGuard removeStaged { [&staged] { if (existsOrIsLink (staged)) removeCompletely (staged); } };

    if (! steps.copy (source, staged, shouldStop))
    {
        if (shouldStop != nullptr && shouldStop())
            return { false, true, {} };

        return failed();
    }

    tell ("staged");

    const auto hadPrevious = existsOrIsLink (target);

    if (hadPrevious)
    {
        if (! steps.rename (target, backup))
            return failed (" The previous version was kept.");

        tell ("moved aside");
    }

    if (steps.rename (staged, target))
    {
        tell ("swapped in");

        if (hadPrevious)
            removeCompletely (backup);

        return Result::ok();
    }

    if (! hadPrevious || steps.rename (backup, target))
        return failed (" The previous version was restored.");

    return failed (" The previous version is at " + backup.getFullPathName() + ".");
}

Result transferContent (const juce::File& source, const juce::File& destination, const juce::String& message,
                        const StopCheck& shouldStop)
{
    // Copies an interrupted merge left under staging names go first.
    ContentTransfer::removeUnfinishedCopies (destination);

    try
    {
        ContentTransfer::copyContentTree (source, destination, shouldStop);
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

int recoverInterrupted (const juce::File& folder, const juce::String& onlyForTargetName)
{
    if (platform::isLink (folder) || ! folder.isDirectory())
        return 0;

    juce::Array<juce::File> backups, pendings;

    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories,
                                                             juce::File::FollowSymlinks::no))
    {
        const auto parsed = StagingNames::parse (entry.getFile().getFileName());

        if (! parsed || (onlyForTargetName.isNotEmpty() && parsed->targetName != onlyForTargetName))
            continue;

        (parsed->isBackup ? backups : pendings).add (entry.getFile());
    }

    int resolved = 0;

    // The newest backup is the version that was in place last.
    std::sort (backups.begin(), backups.end(), [] (const juce::File& a, const juce::File& b)
    {
        return a.getLastModificationTime() > b.getLastModificationTime();
    });

    for (const auto& backup : backups)
    {
        const auto target = folder.getChildFile (StagingNames::parse (backup.getFileName())->targetName);

        // A missing target means the swap never finished: the backup is the
        // plugin. A present one means it did: the backup is left over.
        if (! existsOrIsLink (target) ? platform::renameNoReplace (backup, target) : removeCompletely (backup))
            ++resolved;
    }

    for (const auto& staged : pendings)
        if (removeCompletely (staged))
            ++resolved;

    return resolved;
}

} // namespace PluginPlacement
