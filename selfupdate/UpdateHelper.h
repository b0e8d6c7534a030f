#pragma once

#include <juce_core/juce_core.h>

/**
    The update helper: the embedded script that swaps the executable after the
    manager has quit, and how the manager writes it out and starts it.

    Windows runs "apply-update.ps1" with the system's PowerShell; macOS and
    Linux run "apply-update.sh" with /bin/sh. Either way the helper starts
    detached, with every path as a separate argument.
*/
namespace UpdateHelper
{
    /** The script's file name in the staging folder for a platform. */
    juce::String scriptName (const juce::String& platform);

    /** The embedded script for a platform, byte for byte. */
    juce::MemoryBlock script (const juce::String& platform);

    /** A double quote added at the start unless there is one, and at the end
        unless there is one.
    */
    juce::String quoted (const juce::String& path);

    /** WindowsPowerShell\v1.0\powershell.exe in the system folder. */
    juce::File powerShellIn (const juce::File& systemFolder);

    /** The Windows command line: PowerShell, its fixed options, the script,
        then -ParentId, -Target, -Staged, -Work and the (unquoted) -Version.
        Full paths, as Windows writes them.
    */
    juce::String windowsCommandLine (const juce::String& powerShell, const juce::String& script, int parentId,
                                     const juce::String& target, const juce::String& staged, const juce::String& work,
                                     const juce::String& version);

    /** The POSIX argument list: /bin/sh, the script, then the parent id, the
        target, the staged item, the work folder and the platform.
    */
    juce::StringArray posixArguments (const juce::File& script, int parentId, const juce::File& target,
                                      const juce::File& staged, const juce::File& work, const juce::String& platform);

    /** Writes the script into the staging folder and starts it detached for
        this process. Throws std::runtime_error with the user's message:
        "Could not prepare the update helper." or "Could not start the update helper.".
    */
    void start (const juce::String& platform, const juce::File& target, const juce::File& staged,
                const juce::File& stagingFolder, const juce::String& version);
}
