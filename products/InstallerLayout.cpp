#include "products/InstallerLayout.h"

#include "platform/Platform.h"

#include <vector>

namespace InstallerLayout
{

namespace
{
    /** The real subfolders of a folder, in listing order. */
    juce::Array<juce::File> subfoldersOf (const juce::File& folder)
    {
        juce::Array<juce::File> folders;

        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findDirectories,
                                                                 juce::File::FollowSymlinks::no))
            if (! platform::isLink (entry.getFile()))
                folders.add (entry.getFile());

        return folders;
    }

    bool isRealFolder (const juce::File& f)     { return f.isDirectory() && ! platform::isLink (f); }
}

juce::File chooseSource (PluginFormat::Format format, const juce::File& expandFolder, const juce::String& installName)
{
    const auto vst2 = expandFolder.getChildFile ("{code_GetVST264}");
    const auto common = expandFolder.getChildFile ("{cf64}");

    switch (format)
    {
        case PluginFormat::VST2:
        {
            const auto first = vst2.getChildFile (installName + ".dll");
            return first.existsAsFile() ? first : vst2.getChildFile (installName + "_x64.dll");
        }

        case PluginFormat::VST3:
        {
            const auto first = common.getChildFile ("VST3").getChildFile (installName + ".vst3");
            return first.exists() ? first : common.getChildFile ("VST3").getChildFile (installName + "_x64.vst3");
        }

        case PluginFormat::AAX:
            return common.getChildFile ("Avid/Audio/Plug-Ins").getChildFile (installName + ".aaxplugin");

        case PluginFormat::CLAP:
        {
            const auto first = common.getChildFile ("CLAP").getChildFile (installName + ".clap");
            return first.existsAsFile() ? first : common.getChildFile ("CLAP/Quillotone").getChildFile (installName + ".clap");
        }

        case PluginFormat::AU:
        case PluginFormat::count:
            break;
    }

    return {};
}

namespace
{
// "looked" counts the folders listed, shared by the searches of one lookup so
// that nested "Samples" folders cannot multiply the work.
juce::File findProductFolderCounting (const juce::File& root, const juce::String& installName, int& looked)
{
    if (! isRealFolder (root))
        return {};

    juce::StringArray names { installName };

    if (installName == "KV77")  names.add ("KV-77");
    if (installName == "KV-77") names.add ("KV77");

    // Breadth first, so the first match at a length is the first one found.
    juce::File best;
    std::vector<juce::File> queue { root };

    for (size_t i = 0; i < queue.size() && looked < maxFoldersSearched; ++i)
    {
        for (const auto& folder : subfoldersOf (queue[i]))
        {
            ++looked;

            if (names.contains (folder.getFileName())
                 && (best == juce::File()
                      || folder.getRelativePathFrom (root).length() < best.getRelativePathFrom (root).length()))
                best = folder;

            queue.push_back (folder);
        }
    }

    if (best != juce::File() && best.isDirectory())
        return best;

    const auto direct = subfoldersOf (root);
    return direct.size() == 1 ? direct.getFirst() : juce::File();
}
}

juce::File findProductFolder (const juce::File& root, const juce::String& installName)
{
    int looked = 0;
    return findProductFolderCounting (root, installName, looked);
}

juce::File findSampleSource (const juce::File& expandFolder, const juce::String& installName)
{
    if (const auto asked = expandFolder.getChildFile ("{code_getSampleFolder}"); isRealFolder (asked))
        return asked;

    if (const auto shared = findProductFolder (expandFolder.getChildFile ("{commondocs}/Quillotone/Samples"), installName);
        shared.isDirectory())
        return shared;

    std::vector<juce::File> stack { expandFolder };
    int looked = 0;

    while (! stack.empty() && looked++ < maxFoldersSearched)
    {
        const auto folder = stack.back();
        stack.pop_back();

        if (folder.getFileName().equalsIgnoreCase ("Samples"))
            if (const auto found = findProductFolderCounting (folder, installName, looked); found.isDirectory())
                return found;

        for (const auto& sub : subfoldersOf (folder))
            stack.push_back (sub);
    }

    return {};
}

juce::File findPresetSource (const juce::File& expandFolder, const juce::String& installName)
{
    return findProductFolder (expandFolder.getChildFile ("{commondocs}/Quillotone/Presets"), installName);
}

} // namespace InstallerLayout
