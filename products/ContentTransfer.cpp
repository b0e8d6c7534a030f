#include "products/ContentTransfer.h"

#include "platform/Platform.h"
#include "products/StagingNames.h"

#include <vector>

namespace ContentTransfer
{

namespace
{
    using platform::FolderHandle;

    [[noreturn]] void raise (const char* text, const juce::File& path)
    {
        throw Error ((juce::String (text) + ": " + path.getFullPathName()).toStdString());
    }

    void checkStop (const StopCheck& shouldStop)
    {
        if (shouldStop != nullptr && shouldStop())
            throw Stopped();
    }

    /** The direct entries of a folder, hidden ones included, links as they are. */
    juce::Array<juce::File> entriesOf (const juce::File& folder)
    {
        juce::Array<juce::File> entries;

        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories,
                                                                 juce::File::FollowSymlinks::no))
            entries.add (entry.getFile());

        return entries;
    }

    /** Opens a folder, creating it and its missing parents relative to the
        nearest existing one; the last piece must not be a link.
    */
    std::unique_ptr<FolderHandle> openOrCreate (const juce::File& folder, const char* conflict, const char* cannotCreate)
    {
        const auto parent = folder.getParentDirectory();

        if (parent == folder)
            return FolderHandle::open (folder);

        auto above = parent.isDirectory() ? FolderHandle::open (parent) : openOrCreate (parent, conflict, cannotCreate);

        if (above == nullptr)
            raise (cannotCreate, folder);

        const auto name = folder.getFileName();
        auto kind = above->kindOf (name);

        if (kind == FolderHandle::Kind::missing && ! above->createFolder (name))
            kind = above->kindOf (name) == FolderHandle::Kind::folder ? FolderHandle::Kind::folder : FolderHandle::Kind::other;
        else if (kind == FolderHandle::Kind::missing)
            kind = FolderHandle::Kind::folder;

        if (kind != FolderHandle::Kind::folder)
            raise (kind == FolderHandle::Kind::other ? cannotCreate : conflict, folder);

        auto opened = above->openChild (name);

        if (opened == nullptr)
            raise (conflict, folder);

        return opened;
    }

    /** One merge: the folders from the destination's parent down to the
        folder being filled, each with the name its parent knows it by.
    */
    struct Merge
    {
        const StopCheck& shouldStop;
        juce::String token;

        struct Level
        {
            std::unique_ptr<FolderHandle> folder;
            juce::String name;      ///< in the level above; empty for the top
        };

        std::vector<Level> chain;

        /** Every folder on the way is still the one that was opened. */
        void checkChain() const
        {
            for (size_t i = 1; i < chain.size(); ++i)
                if (! chain[i - 1].folder->stillHolds (chain[i].name, *chain[i].folder))
                    raise ("Content directory changed during the copy", chain[i].folder->path());
        }

        void folder (const juce::File& source)
        {
            const auto& destination = *chain.back().folder;

            for (const auto& entry : entriesOf (source))
            {
                checkStop (shouldStop);
                const auto name = entry.getFileName();
                const auto target = destination.path().getChildFile (name);

                if (platform::isLink (entry))
                    raise ("Symbolic links in installer content are not supported", entry);

                if (entry.isDirectory())
                {
                    checkChain();
                    auto kind = destination.kindOf (name);

                    if (kind == FolderHandle::Kind::missing && ! destination.createFolder (name))
                        raise ("Cannot create content directory", target);

                    if (kind != FolderHandle::Kind::missing && kind != FolderHandle::Kind::folder)
                        raise ("Content directory conflicts with an existing file or symbolic link", target);

                    auto child = destination.openChild (name);

                    if (child == nullptr)
                        raise ("Content directory conflicts with an existing file or symbolic link", target);

                    chain.push_back ({ std::move (child), name });
                    folder (entry);
                    chain.pop_back();
                    continue;
                }

                if (! platform::isRegularFile (entry))
                    raise ("Unsupported installer content type", entry);

                const auto kind = destination.kindOf (name);

                if (kind != FolderHandle::Kind::missing && kind != FolderHandle::Kind::file)
                    raise ("Content file conflicts with an existing directory or symbolic link", target);

                // What is there stays as it is: a merge only adds.
                if (kind == FolderHandle::Kind::missing)
                {
                    checkChain();
                    copyInto (entry, destination, name, token, shouldStop);
                }
            }
        }

        static void copyInto (const juce::File& source, const FolderHandle& folder, const juce::String& name,
                              const juce::String& token, const StopCheck& shouldStop)
        {
            const auto destination = folder.path().getChildFile (name);
            juce::FileInputStream in (source);

            if (! in.openedOk())
                raise ("Cannot read installer content", source);

            const auto staging = StagingNames::pendingName (name, token);
            auto out = folder.createFile (staging);

            if (out == nullptr)
                raise ("Cannot create new content file without replacing existing content", destination);

            auto abandon = [&] (const char* text)
            {
                out.reset();
                folder.remove (staging);

                if (text == nullptr)
                    throw Stopped();

                raise (text, destination);
            };

            const auto copied = copyBytes (in, *out, shouldStop);

            if (copied == CopyOutcome::stopped)
                abandon (nullptr);

            if (copied != CopyOutcome::whole || ! out->close())
                abandon ("Cannot finish writing new content file");

            out.reset();

            // Into place only when whole, and never over something that appeared meanwhile.
            if (! folder.renameNoReplace (staging, name))
            {
                folder.remove (staging);
                raise (folder.kindOf (name) != FolderHandle::Kind::missing
                           ? "Cannot create new content file without replacing existing content"
                           : "Cannot finish writing new content file",
                       destination);
            }
        }
    };
}

void copyContentTree (const juce::File& source, const juce::File& destination, const StopCheck& shouldStop,
                      const juce::String& token)
{
    const auto same = source.getFullPathName().equalsIgnoreCase (destination.getFullPathName());

    if (same || source.isAChildOf (destination) || destination.isAChildOf (source))
        raise ("Installer source and content destination must not overlap", destination);

    if (platform::isLink (source) || ! source.isDirectory())
        raise ("Installer content must be a real directory", source);

    constexpr auto conflict = "Content directory conflicts with an existing file or symbolic link";
    constexpr auto cannotCreate = "Cannot create content directory";

    Merge merge { shouldStop, token.isNotEmpty() ? token : StagingNames::newToken(), {} };
    const auto parent = destination.getParentDirectory();

    if (parent == destination)
        raise (conflict, destination);

    merge.chain.push_back ({ openOrCreate (parent, conflict, cannotCreate), {} });
    merge.chain.push_back ({ openOrCreate (destination, conflict, cannotCreate), destination.getFileName() });
    merge.folder (source);
}

CopyOutcome copyBytes (juce::FileInputStream& in, platform::NewFile& out, const StopCheck& shouldStop)
{
    juce::HeapBlock<char> buffer (bufferSize);

    for (;;)
    {
        if (shouldStop != nullptr && shouldStop())
            return CopyOutcome::stopped;

        const auto n = in.read (buffer, bufferSize);

        if (n < 0 || (n > 0 && ! out.write (buffer, (size_t) n)))
            return CopyOutcome::failed;

        if (n < bufferSize)
            break;
    }

    // A short read looks like the end of the file; only the length tells.
    return in.getStatus().failed() || in.getPosition() != in.getTotalLength() ? CopyOutcome::failed : CopyOutcome::whole;
}

void copyFile (const juce::File& source, const juce::File& destination, const StopCheck& shouldStop)
{
    auto folder = FolderHandle::open (destination.getParentDirectory());

    if (folder == nullptr)
        raise ("Cannot create new content file without replacing existing content", destination);

    Merge::copyInto (source, *folder, destination.getFileName(), StagingNames::newToken(), shouldStop);
}

namespace
{
    int removeJournaled (const FolderHandle& folder, const juce::File& root, const PlacementJournal& journal,
                         juce::StringArray& tokens)
    {
        int removed = 0;

        for (const auto& name : folder.names())
        {
            const auto kind = folder.kindOf (name);

            if (kind == FolderHandle::Kind::folder)
            {
                if (auto child = folder.openChild (name))
                    removed += removeJournaled (*child, root, journal, tokens);

                continue;
            }

            const auto parsed = StagingNames::parse (name);

            if (kind != FolderHandle::Kind::file || ! parsed || parsed->isBackup)
                continue;

            const auto entry = journal.find (parsed->token);

            if (! entry || entry->targetName.isNotEmpty() || entry->folder != root)
                continue;

            tokens.addIfNotAlreadyThere (parsed->token);

            if (folder.remove (name))
                ++removed;
        }

        return removed;
    }
}

int removeUnfinishedCopies (const juce::File& folder, const PlacementJournal& journal)
{
    auto root = FolderHandle::open (folder);

    if (root == nullptr)
        return 0;

    juce::StringArray tokens;
    const auto removed = removeJournaled (*root, folder, journal, tokens);

    for (const auto& token : tokens)
        journal.finish (token);

    return removed;
}

} // namespace ContentTransfer
