#include "products/ContentTransfer.h"

#include "platform/Platform.h"
#include "products/StagingNames.h"

namespace ContentTransfer
{

namespace
{
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
}

void copyContentTree (const juce::File& source, const juce::File& destination, const StopCheck& shouldStop)
{
    const auto same = source.getFullPathName().equalsIgnoreCase (destination.getFullPathName());

    if (same || source.isAChildOf (destination) || destination.isAChildOf (source))
        raise ("Installer source and content destination must not overlap", destination);

    copyFolder (source, destination, shouldStop);
}

void copyFolder (const juce::File& source, const juce::File& destination, const StopCheck& shouldStop)
{
    if (platform::isLink (source) || ! source.isDirectory())
        raise ("Installer content must be a real directory", source);

    if (platform::isLink (destination) || (destination.exists() && ! destination.isDirectory()))
        raise ("Content directory conflicts with an existing file or symbolic link", destination);

    if (! destination.isDirectory() && ! destination.createDirectory())
        raise ("Cannot create content directory", destination);

    for (const auto& entry : entriesOf (source))
    {
        checkStop (shouldStop);
        const auto target = destination.getChildFile (entry.getFileName());

        if (platform::isLink (entry))
            raise ("Symbolic links in installer content are not supported", entry);

        if (entry.isDirectory())
        {
            copyFolder (entry, target, shouldStop);
            continue;
        }

        if (! platform::isRegularFile (entry))
            raise ("Unsupported installer content type", entry);

        if (platform::isLink (target) || target.isDirectory())
            raise ("Content file conflicts with an existing directory or symbolic link", target);

        // What is there stays as it is: a merge only adds.
        if (! target.exists())
            copyFile (entry, target, shouldStop);
    }
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
    juce::FileInputStream in (source);

    if (! in.openedOk())
        raise ("Cannot read installer content", source);

    const auto staging = StagingNames::pending (destination, StagingNames::newToken());
    auto out = platform::NewFile::create (staging);

    if (out == nullptr)
        raise ("Cannot create new content file without replacing existing content", destination);

    auto abandon = [&] (const char* text)
    {
        out.reset();
        staging.deleteFile();

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
    if (! platform::renameNoReplace (staging, destination))
    {
        staging.deleteFile();
        raise (destination.exists() || platform::isLink (destination)
                   ? "Cannot create new content file without replacing existing content"
                   : "Cannot finish writing new content file",
               destination);
    }
}

int removeUnfinishedCopies (const juce::File& folder)
{
    if (platform::isLink (folder) || ! folder.isDirectory())
        return 0;

    int removed = 0;

    for (const auto& entry : entriesOf (folder))
    {
        if (platform::isLink (entry))
            continue;

        if (entry.isDirectory())
            removed += removeUnfinishedCopies (entry);
        else if (auto parsed = StagingNames::parse (entry.getFileName()); parsed && ! parsed->isBackup && entry.deleteFile())
            ++removed;
    }

    return removed;
}

} // namespace ContentTransfer
