// The plugin-file half of VersionProbe: which file of an installed target to
// read, and the recorded fallback.
#include "VersionProbe.h"

#include "PeVersionReader.h"
#include "platform/Platform.h"

namespace VersionProbe
{

namespace
{
    bool hasExtension (const juce::File& f, const char* extension)
    {
        return f.getFileExtension().equalsIgnoreCase (extension);
    }

    // Where the Windows images sit inside a bundle, most specific first.
    const char* const bundleSubfolders[][2] = {
        { "Contents", "x86_64-win" },
        { "Contents", "x86-win" },
        { "Contents", "Win" },
        { "Contents", "x64" },
        { "Contents", nullptr },
        { nullptr, nullptr },
    };

    // A bundle holds a handful of files a few levels down. The bounds only
    // stop a broken or hostile tree from holding up the message thread.
    constexpr int maxBundleDepth = 8;
    constexpr int maxBundleEntries = 5000;

    /** The files below one bundle subfolder whose names end in one of the
        extensions, in listing order. Links are neither entered nor taken:
        two links to ".." would otherwise make the walk endless.
    */
    struct BundleWalk
    {
        const juce::StringArray& extensions;
        int entriesLeft = maxBundleEntries;

        juce::Array<juce::File> candidates (const juce::File& folder)
        {
            juce::Array<juce::File> found;
            walk (folder, 0, found);
            return found;
        }

        void walk (const juce::File& folder, int depth, juce::Array<juce::File>& found)
        {
            for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories,
                                                                    juce::File::FollowSymlinks::no))
            {
                if (--entriesLeft < 0)
                    return;

                const auto file = entry.getFile();

                if (platform::isLink (file))
                    continue;

                if (entry.isDirectory())
                {
                    if (depth < maxBundleDepth)
                        walk (file, depth + 1, found);
                }
                else if (matchesAnExtension (file))
                {
                    found.add (file);
                }
            }
        }

        bool matchesAnExtension (const juce::File& file) const
        {
            for (const auto& extension : extensions)
                if (file.getFileName().matchesWildcard ("*" + extension, ! juce::File::areFileNamesCaseSensitive()))
                    return true;

            return false;
        }
    };

    /** The bundle subfolder, when it is a real folder reached without a link. */
    juce::File subfolder (const juce::File& bundle, const char* const (&parts)[2])
    {
        auto folder = bundle;

        for (auto* part : parts)
        {
            if (part == nullptr)
                break;

            folder = folder.getChildFile (part);

            if (platform::isLink (folder))
                return {};
        }

        return folder.isDirectory() ? folder : juce::File();
    }
}

//==============================================================================
juce::StringArray bundleExtensions()
{
    return { ".vst3", ".aaxplugin", ".clap", ".dll" };
}

juce::String probeVersion (const juce::String& path, const ClapReader& readClap)
{
    auto clapVersion = [&readClap] (const juce::File& file)
    {
        return readClap != nullptr ? readClap (file) : juce::String();
    };

    if (path.isNotEmpty() && juce::File::isAbsolutePath (path))
    {
        const juce::File file (path);

        if (file.existsAsFile())
        {
            if (auto v = readFileVersion (file); v.isNotEmpty())
                return v;

            if (hasExtension (file, ".clap"))
                return clapVersion (file);
        }
    }

    const auto inner = findBundleFile (path, bundleExtensions());

    if (inner == juce::File() || ! inner.existsAsFile())
        return {};

    if (auto v = readFileVersion (inner); v.isNotEmpty())
        return v;

    return hasExtension (inner, ".clap") ? clapVersion (inner) : juce::String();
}

juce::File findBundleFile (const juce::String& path, const juce::StringArray& extensions)
{
    if (path.isEmpty() || ! juce::File::isAbsolutePath (path))
        return {};

    const juce::File bundle (path);

    if (! bundle.exists())
        return {};

    if (bundle.existsAsFile())
        return bundle;

    // One budget for the whole search, however many subfolders it visits.
    BundleWalk walk { extensions };

    for (const auto& parts : bundleSubfolders)
    {
        const auto folder = subfolder (bundle, parts);

        if (folder == juce::File())
            continue;

        const auto candidates = walk.candidates (folder);

        for (const auto& extension : extensions)
        {
            juce::File best;
            int bestLength = std::numeric_limits<int>::max();

            for (const auto& file : candidates)
            {
                if (! file.getFileName().matchesWildcard ("*" + extension, ! juce::File::areFileNamesCaseSensitive()))
                    continue;

                const auto length = file.getRelativePathFrom (folder).length();

                if (length < bestLength)
                {
                    best = file;
                    bestLength = length;
                }
            }

            if (best != juce::File())
                return best;
        }
    }

    return {};
}

// The portable reader on Windows too, although the system has its own: that
// one trusts the resource table (Wine's reads past its buffer, or crashes, on
// an out-of-range data entry), and using one reader everywhere means the
// Linux tests cover what ships. The Windows tests check that both agree.
juce::String readFileVersion (const juce::File& file)
{
    return PeVersionReader::readFileVersion (file);
}

juce::String readRecordedVersion (const juce::File& productSettingsFile)
{
    if (! productSettingsFile.existsAsFile())
        return {};

    if (auto root = juce::XmlDocument::parse (productSettingsFile))
        return root->getStringAttribute ("PluginManagerInstalledVersion").trim();

    return {};
}

} // namespace VersionProbe
