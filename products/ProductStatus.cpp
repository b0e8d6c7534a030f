#include "ProductStatus.h"

#include "VersionProbe.h"

namespace ProductStatus
{

namespace
{
    bool existsAt (const juce::String& path)
    {
        return path.isNotEmpty() && juce::File::isAbsolutePath (path) && juce::File (path).exists();
    }

    juce::String legacyClapTargetIn (const juce::String& clapFolder, const juce::String& fileName)
    {
        const juce::File folder (clapFolder);

        if (folder.getFileName().equalsIgnoreCase ("Quillotone"))
            return folder.getChildFile (fileName).getFullPathName();

        return folder.getChildFile ("Quillotone").getChildFile (fileName).getFullPathName();
    }

    /** "VST2", "VST2 and AAX", "VST2, VST3 and AAX". */
    juce::String listOf (const juce::Array<PluginFormat::Format>& formats)
    {
        juce::String text;

        for (int i = 0; i < formats.size(); ++i)
        {
            if (i > 0)
                text << (i == formats.size() - 1 ? " and " : ", ");

            text << PluginFormat::name (formats[i]);
        }

        return text;
    }
}

//==============================================================================
bool Value::anyInstalled() const
{
    for (auto isThere : installed)
        if (isThere)
            return true;

    return false;
}

bool isUsableFolder (const juce::String& folder)
{
    const auto path = folder.trimCharactersAtEnd ("\\/");

   #if JUCE_WINDOWS
    // "X:\something" or a share, "\\server\share"; "\x" and "X:x" hang off
    // the current drive or its current folder.
    const bool onDrive = path.length() > 3 && juce::CharacterFunctions::isLetter (path[0])
                          && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool onShare = path.startsWith ("\\\\") && path.length() > 2;
    return onDrive || onShare;
   #else
    // "~" is the home folder, as for the framework's files.
    return path.startsWithChar ('/') || path.startsWithChar ('~');
   #endif
}

Value compute (const ProductRecord& record, const juce::String& installName,
               const Settings& settings, const Readers& readers)
{
    using namespace PluginFormat;
    Value v;

    const auto recorded = VersionProbe::normaliseVersion (readers.recordedVersion != nullptr ? readers.recordedVersion()
                                                                                             : juce::String());

    v.samplesRoot = settings.sampleFolder;

    if (installName.isNotEmpty())
    {
        // Concatenated: the settings hand every folder over with its separator.
        for (auto format : installable)
            if (isUsableFolder (settings.folder[format]))
                v.target[format] = settings.folder[format] + installName + fileExtension (format);

        if (v.target[CLAP].isNotEmpty())
            v.legacyClapTarget = legacyClapTargetIn (settings.folder[CLAP], installName + fileExtension (CLAP));

        if (isUsableFolder (v.samplesRoot))
            v.samplesTarget = juce::File (v.samplesRoot).getChildFile (installName).getFullPathName();
    }

    for (auto format : installable)
        v.installed[format] = existsAt (v.target[format]);

    auto clapProbeTarget = v.target[CLAP];

    if (! v.installed[CLAP] && v.legacyClapTarget != v.target[CLAP] && existsAt (v.legacyClapTarget))
    {
        v.installed[CLAP] = true;
        clapProbeTarget = v.legacyClapTarget;
    }

    juce::StringArray found;

    for (auto format : installable)
    {
        if (! v.installed[format] || readers.fileVersion == nullptr)
            continue;

        v.version[format] = VersionProbe::normaliseVersion (readers.fileVersion (format == CLAP ? clapProbeTarget
                                                                                              : v.target[format]));
        if (v.version[format].isNotEmpty())
            found.add (v.version[format]);
    }

    const auto anyInstalled = v.anyInstalled();
    bool mixed = false, older = false;

    if (! found.isEmpty())
    {
        v.statusText = found[0];

        for (auto& version : found)
        {
            mixed = mixed || VersionProbe::compareVersions (version, found[0]) != 0;
            older = older || VersionProbe::compareVersions (version, record.latestVersion) < 0;
        }
    }

    if (v.statusText.isEmpty() && anyInstalled && recorded.isNotEmpty())
        v.statusText = VersionProbe::stripLeadingVs (recorded.trim());

    if (v.statusText.isEmpty())
    {
        v.statusText = anyInstalled ? "installed" : "not installed";
    }
    else if (mixed)
    {
        v.statusText = "mixed versions";
        v.updateAvailable = older;
        v.actionText = older ? "Update" : "Install";
    }
    else
    {
        v.statusText = "v" + v.statusText.trim();
    }

    // "installed" and "not installed" carry no dot, so they never ask for an update.
    if (! mixed)
    {
        v.updateAvailable = v.statusText.containsChar ('.')
                             && VersionProbe::compareVersions (v.statusText, record.latestVersion) < 0;
        v.actionText = v.updateAvailable ? "Update" : "Install";
    }

    if (record.isNFR)
        v.statusText << " (NFR)";

    return v;
}

namespace
{
    juce::String unusableFolderProblem (const juce::Array<PluginFormat::Format>& formats)
    {
        const auto one = formats.size() == 1;
        return "The " + juce::String (one ? "folder" : "folders") + " for " + listOf (formats)
               + " in Settings " + (one ? "is" : "are") + " empty or not a full path";
    }
}

juce::String unusableFolderSettingMessage (const juce::Array<PluginFormat::Format>& formats, bool installing)
{
    if (installing)
        return unusableFolderProblem (formats) + ", so no further product was installed. "
               "Choose a folder in Settings, or turn that format off.";

    return unusableFolderProblem (formats) + ", so no further product was uninstalled. "
           "Choose the folder in Settings and uninstall again.";
}

juce::Array<PluginFormat::Format> formatsWithoutFolder (const std::array<juce::String, PluginFormat::count>& target,
                                                        const std::array<bool, PluginFormat::count>* selected)
{
    juce::Array<PluginFormat::Format> formats;

    for (auto format : PluginFormat::installable)
        if (target[format].isEmpty() && (selected == nullptr || (*selected)[format]))
            formats.add (format);

    return formats;
}

juce::String unusableFolderMessage (const juce::String& productName,
                                    const juce::Array<PluginFormat::Format>& formats, bool installing)
{
    const auto problem = unusableFolderProblem (formats);

    if (installing)
        return problem + ", so " + productName + " was not installed. Choose a folder in Settings, "
                         "or turn that format off.";

    return problem + ", so those files of " + productName + " were not looked for or removed. "
                     "Choose the folder in Settings and uninstall again.";
}

} // namespace ProductStatus
