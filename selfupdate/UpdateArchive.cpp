#include "selfupdate/UpdateArchive.h"

#include "platform/Platform.h"

namespace UpdateArchive
{

namespace
{
    /** Every piece between the slashes, empty ones included. */
    juce::StringArray pieces (const juce::String& path)
    {
        juce::StringArray result;
        result.addTokens (path, "/", {});
        return result;
    }

    juce::String entryName (const juce::ZipFile::ZipEntry& entry)
    {
        return entry.filename.replaceCharacter ('\\', '/');
    }

    /** A link's target, resolved from the link's own folder, must not climb
        out of the top-level item.
    */
    bool linkStaysInside (const juce::String& name, const juce::String& target)
    {
        if (target.isEmpty() || target.startsWithChar ('/') || target.containsChar (':'))
            return false;

        auto resolved = pieces (name.containsChar ('/') ? name.upToLastOccurrenceOf ("/", false, false) : name);

        for (auto& piece : pieces (target))
        {
            if (piece == "..")
            {
                if (resolved.size() < 2)
                    return false;

                resolved.remove (resolved.size() - 1);
            }
            else if (piece.isNotEmpty() && piece != ".")
            {
                resolved.add (piece);
            }
        }

        return true;
    }

    bool readLinkTarget (juce::ZipFile& archive, int index, juce::String& target)
    {
        std::unique_ptr<juce::InputStream> in (archive.createStreamForEntry (index));

        if (in == nullptr)
            return false;

        juce::MemoryBlock bytes;
        in->readIntoMemoryBlock (bytes, (ssize_t) maxLinkBytes + 1);

        if ((juce::int64) bytes.getSize() > maxLinkBytes)
            return false;

        target = bytes.toString().replaceCharacter ('\\', '/');
        return true;
    }
}

juce::String expectedTopLevelName (const juce::String& platform)
{
    if (platform == "macos")  return "Quillotone Plugin Manager.app";
    if (platform == "linux")  return "Quillotone Plugin Manager.AppImage";
    return "Quillotone Plugin Manager.exe";
}

bool validateArchive (juce::ZipFile& archive, const juce::String& expectedTopLevel, bool linksAllowed)
{
    const auto count = archive.getNumEntries();

    if (count < 1 || count > maxEntries)
        return false;

    juce::int64 total = 0;

    for (int i = 0; i < count; ++i)
    {
        const auto& entry = *archive.getEntry (i);
        const auto name = entryName (entry);

        if (name.startsWithChar ('/') || name.containsChar (':') || pieces (name).contains (".."))
            return false;

        if (entry.isSymbolicLink && ! linksAllowed)
            return false;

        if ((name != expectedTopLevel && ! name.startsWith (expectedTopLevel + "/")) || entry.uncompressedSize < 0)
            return false;

        if (entry.isSymbolicLink)
        {
            juce::String target;

            if (entry.uncompressedSize > maxLinkBytes || ! readLinkTarget (archive, i, target) || ! linkStaysInside (name, target))
                return false;
        }

        total += entry.uncompressedSize;

        if (total > maxTotalBytes)
            return false;
    }

    return true;
}

bool extractArchive (juce::ZipFile& archive, const juce::File& folder, bool linksAllowed,
                     const std::function<bool()>& shouldStop)
{
    const auto stopped = [&shouldStop] { return shouldStop != nullptr && shouldStop(); };
    constexpr int chunkBytes = 65536;
    juce::HeapBlock<char> buffer (chunkBytes);

    for (int i = 0; i < archive.getNumEntries(); ++i)
    {
        if (stopped())
            return false;

        const auto& entry = *archive.getEntry (i);
        const auto name = entryName (entry);
        const auto target = folder.getChildFile (name);

        if (! target.isAChildOf (folder))
            return false;

        // Never through a link, nor through a file where a folder should be.
        for (auto dir = target.getParentDirectory(); dir != folder && dir.isAChildOf (folder); dir = dir.getParentDirectory())
            if (platform::isLink (dir) || (dir.exists() && ! dir.isDirectory()))
                return false;

        if (platform::isLink (target))
            return false;

        if (name.endsWithChar ('/'))
        {
            if (! target.createDirectory())
                return false;

            continue;
        }

        if (! target.getParentDirectory().createDirectory() || target.isDirectory()
             || (target.exists() && ! target.deleteFile()))
            return false;

        if (entry.isSymbolicLink)
        {
            juce::String linkTarget;

            if (! linksAllowed || ! readLinkTarget (archive, i, linkTarget)
                 || ! juce::File::createSymbolicLink (target, linkTarget.replaceCharacter ('/', juce::File::getSeparatorChar()), false))
                return false;

            continue;
        }

        std::unique_ptr<juce::InputStream> in (archive.createStreamForEntry (i));
        juce::FileOutputStream out (target);

        if (in == nullptr || out.failedToOpen())
            return false;

        for (auto remaining = entry.uncompressedSize; remaining > 0;)
        {
            if (stopped())
                return false;

            const auto n = in->read (buffer, (int) juce::jmin ((juce::int64) chunkBytes, remaining));

            if (n <= 0 || ! out.write (buffer, (size_t) n))
                return false;

            remaining -= n;
        }

        // An entry with more data than it announces is not what was checked.
        if (in->read (buffer, 1) > 0)
            return false;

        out.flush();

        if (out.getStatus().failed())
            return false;
    }

    return true;
}

} // namespace UpdateArchive
