#include "VersionProbe.h"

namespace VersionProbe
{

namespace
{
    bool isExistingFile (const juce::File& f)    { return f.existsAsFile(); }

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

    constexpr const char* tokenBreaks = " \\/,:;=|()[]{}<>\"'`+-_";
}

//==============================================================================
juce::String stripLeadingVs (juce::String s)
{
    while (s.startsWithChar ('v') || s.startsWithChar ('V'))
        s = s.substring (1);

    return s;
}

juce::StringArray bundleExtensions()
{
    return { ".vst3", ".aaxplugin", ".clap", ".dll" };
}

juce::String probeVersion (const juce::String& path)
{
    if (path.isNotEmpty() && juce::File::isAbsolutePath (path))
    {
        const juce::File file (path);

        if (isExistingFile (file))
        {
            if (auto v = readFileVersion (file); v.isNotEmpty())
                return v;

            if (hasExtension (file, ".clap"))
                return readClapVersion (file);
        }
    }

    const auto inner = findBundleFile (path, bundleExtensions());

    if (inner == juce::File() || ! isExistingFile (inner))
        return {};

    if (auto v = readFileVersion (inner); v.isNotEmpty())
        return v;

    return hasExtension (inner, ".clap") ? readClapVersion (inner) : juce::String();
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

    for (const auto& sub : bundleSubfolders)
    {
        auto folder = bundle;

        for (auto* part : sub)
            if (part != nullptr)
                folder = folder.getChildFile (part);

        if (! folder.isDirectory())
            continue;

        for (const auto& extension : extensions)
        {
            juce::File best;
            int bestLength = std::numeric_limits<int>::max();

            for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*" + extension,
                                                                    juce::File::findFiles))
            {
                const auto length = entry.getFile().getRelativePathFrom (folder).length();

                if (length < bestLength)
                {
                    best = entry.getFile();
                    bestLength = length;
                }
            }

            if (best != juce::File())
                return best;
        }
    }

    return {};
}

juce::String readRecordedVersion (const juce::File& productSettingsFile)
{
    if (! productSettingsFile.existsAsFile())
        return {};

    if (auto root = juce::XmlDocument::parse (productSettingsFile))
        return root->getStringAttribute ("PluginManagerInstalledVersion").trim();

    return {};
}

juce::String normaliseVersion (const juce::String& text)
{
    auto cleaned = text.replaceCharacters ("\r\n\t", "   ").trim();

    if (cleaned.isEmpty())
        return {};

    // What a failed query of the settings tools of other platforms prints
    // instead of a version.
    const auto lower = cleaned.toLowerCase();

    if (lower.contains ("defaults[") || lower.contains ("the domain/default pair")
         || lower.contains ("does not exist"))
        return {};

    juce::StringArray tokens;
    tokens.addTokens (cleaned, tokenBreaks, {});

    for (const auto& token : tokens)
        if (auto v = validateVersion (token); v.isNotEmpty())
            return v;

    return validateVersion (cleaned);
}

juce::String validateVersion (const juce::String& token)
{
    const auto stripped = stripLeadingVs (token.trim());

    if (stripped.isEmpty())
        return {};

    juce::StringArray parts;
    parts.addTokens (stripped, ".", {});

    if (parts.size() < 2 || parts.size() > 6)
        return {};

    for (auto& part : parts)
    {
        part = part.trim();

        if (part.isEmpty() || ! part.containsOnly ("0123456789"))
            return {};
    }

    while (parts.size() > 3 && parts[parts.size() - 1] == "0")
        parts.remove (parts.size() - 1);

    return parts.joinIntoString (".");
}

} // namespace VersionProbe
