#include "selfupdate/UpdateHelper.h"

#include "platform/Platform.h"

#include <BinaryData.h>

#include <stdexcept>

namespace UpdateHelper
{

juce::String scriptName (const juce::String& platform)
{
    return platform == "windows" ? "apply-update.ps1" : "apply-update.sh";
}

juce::MemoryBlock script (const juce::String& platform)
{
    return platform == "windows" ? juce::MemoryBlock (BinaryData::applyupdate_ps1, (size_t) BinaryData::applyupdate_ps1Size)
                                 : juce::MemoryBlock (BinaryData::applyupdate_sh, (size_t) BinaryData::applyupdate_shSize);
}

juce::String quoted (const juce::String& path)
{
    return (path.startsWithChar ('"') ? "" : "\"") + path + (path.endsWithChar ('"') ? "" : "\"");
}

juce::File powerShellIn (const juce::File& systemFolder)
{
    return systemFolder.getChildFile ("WindowsPowerShell").getChildFile ("v1.0").getChildFile ("powershell.exe");
}

juce::String windowsCommandLine (const juce::String& powerShell, const juce::String& scriptFile, int parentId,
                                 const juce::String& target, const juce::String& staged, const juce::String& work,
                                 const juce::String& version)
{
    return quoted (powerShell) + " -NoProfile -NonInteractive -ExecutionPolicy Bypass -File " + quoted (scriptFile)
         + " -ParentId " + juce::String (parentId)
         + " -Target " + quoted (target)
         + " -Staged " + quoted (staged)
         + " -Work " + quoted (work)
         + " -Version " + version;
}

juce::StringArray posixArguments (const juce::File& scriptFile, int parentId, const juce::File& target,
                                  const juce::File& staged, const juce::File& work, const juce::String& platform)
{
    return { "/bin/sh", scriptFile.getFullPathName(), juce::String (parentId), target.getFullPathName(),
             staged.getFullPathName(), work.getFullPathName(), platform };
}

void start (const juce::String& platform, const juce::File& target, const juce::File& staged,
            const juce::File& stagingFolder, const juce::String& version)
{
    // Through a temporary file moved into place, byte for byte.
    const auto scriptFile = stagingFolder.getChildFile (scriptName (platform));
    const auto bytes = script (platform);

    if (! scriptFile.replaceWithData (bytes.getData(), bytes.getSize()))
        throw std::runtime_error ("Could not prepare the update helper.");

    const auto pid = platform::currentProcessId();
    bool started = false;

    if (platform == "windows")
    {
        const auto powerShell = powerShellIn (platform::systemFolder());
        started = platform::startDetached (powerShell, {},
                                           windowsCommandLine (powerShell.getFullPathName(), scriptFile.getFullPathName(), pid,
                                                               target.getFullPathName(), staged.getFullPathName(),
                                                               stagingFolder.getFullPathName(), version));
    }
    else
    {
        started = platform::startDetached (juce::File ("/bin/sh"),
                                           posixArguments (scriptFile, pid, target, staged, stagingFolder, platform), {});
    }

    if (! started)
        throw std::runtime_error ("Could not start the update helper.");
}

} // namespace UpdateHelper
