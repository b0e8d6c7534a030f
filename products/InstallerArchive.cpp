#include "products/InstallerArchive.h"

#include "platform/Platform.h"
#include "storage/FileNames.h"

namespace InstallerArchive
{

namespace
{
    Outcome failed (const juce::String& text)   { return { false, false, text }; }

    /** True when no folder between the root and the path is a link. */
    bool staysInside (const juce::File& root, const juce::File& path)
    {
        for (auto f = path; f != root; f = f.getParentDirectory())
            if (! f.isAChildOf (root) || platform::isLink (f))
                return false;

        return true;
    }
}

Outcome unpack (const juce::File& archive, const juce::File& folder, const std::function<bool()>& shouldStop)
{
    juce::ZipFile zip (archive);

    if (zip.getNumEntries() > maxEntries)
        return failed ("The archive holds more than " + juce::String (maxEntries) + " entries");

    juce::int64 total = 0;
    juce::HeapBlock<char> buffer (65536);

    for (int i = 0; i < zip.getNumEntries(); ++i)
    {
        if (shouldStop != nullptr && shouldStop())
            return { false, true, {} };

        const auto* entry = zip.getEntry (i);
        const auto name = entry->filename.replaceCharacter ('\\', '/');

        if (name.isEmpty())
            continue;

        const auto isFolder = name.endsWithChar ('/');
        auto pieces = juce::StringArray::fromTokens (name.trimCharactersAtEnd ("/"), "/", {});

        if (name.startsWithChar ('/') || pieces.contains ("..") || pieces.contains (".") || pieces.contains (""))
            return failed ("Entry " + name + " is outside the target directory");

        for (auto& piece : pieces)
            if (! FileNames::isUsableFileName (piece))
                return failed ("Entry " + name + " has a name that cannot be used here");

        if (entry->isSymbolicLink)
            return failed ("Entry " + name + " is a link, which an installer archive may not hold");

        const auto target = folder.getChildFile (pieces.joinIntoString ("/"));

        if (! target.isAChildOf (folder) || ! staysInside (folder, target.getParentDirectory()))
            return failed ("Entry " + name + " is outside the target directory");

        if (isFolder)
        {
            if (platform::isLink (target) || ! target.createDirectory() || ! staysInside (folder, target))
                return failed ("Failed to create target folder: " + target.getFullPathName());

            continue;
        }

        if (! target.getParentDirectory().createDirectory() || ! staysInside (folder, target.getParentDirectory()))
            return failed ("Failed to create target folder: " + target.getParentDirectory().getFullPathName());

        // Later entries of the same name overwrite earlier ones, but never
        // through a link or over a folder.
        if (platform::isLink (target) || target.isDirectory() || (target.exists() && ! target.deleteFile()))
            return failed ("Failed to write to target file: " + target.getFullPathName());

        std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (i));

        if (in == nullptr)
            return failed ("Failed to open the zip file for reading");

        auto out = platform::NewFile::create (target);

        if (out == nullptr)
            return failed ("Failed to write to target file: " + target.getFullPathName());

        juce::int64 written = 0;

        for (;;)
        {
            if (shouldStop != nullptr && shouldStop())
                return { false, true, {} };

            const auto n = in->read (buffer, 65536);

            if (n <= 0)
                break;

            written += n;
            total += n;

            // A deflated entry can inflate to far more than it says it holds.
            if (written > entry->uncompressedSize || total > maxTotalBytes)
                return failed ("Entry " + name + " holds more than it says");

            if (! out->write (buffer, (size_t) n))
                return failed ("Failed to write to target file: " + target.getFullPathName());
        }

        if (! out->close())
            return failed ("Failed to write to target file: " + target.getFullPathName());

        if (written != entry->uncompressedSize)
            return failed ("Entry " + name + " is damaged");
    }

    return { true, false, {} };
}

} // namespace InstallerArchive
