#pragma once

#include <juce_core/juce_core.h>

#include "storage/PluginFormat.h"

#include <array>
#include <functional>

/**
    The second half of an install, after the download: unpack the archive, run
    the extraction tool on the installer program, place each selected format
    with a rollback to the previous version, and merge presets and samples.

    Plain code that only sequences the units that do the work; the product's
    install worker runs it, tests call it directly. It never shows anything:
    a failure comes back as the message for the "Install error" dialog, a stop
    as no message at all.
*/
namespace InstallOperation
{
    /** Everything the install needs to know about the product, fixed when it starts. */
    struct Plan
    {
        juce::String name, installName;
        juce::File installerFile;
        juce::File installerCache;          ///< "Installers" in the manager's private folder
        juce::File tool;
        juce::String toolDigest;            ///< what the tool's SHA-256 must be
        std::array<bool, PluginFormat::count> installFlags {};
        std::array<juce::File, PluginFormat::count> targets;
        juce::File legacyClapTarget, presetsTarget, samplesTarget;
    };

    /** How the install talks to its worker. */
    struct Hooks
    {
        std::function<bool()> shouldStop;
        std::function<void (double)> setProgress;
        std::function<bool (const juce::File&)> moveToTrash;
        int toolTimeLimitMs = 120000;
    };

    struct Result
    {
        bool succeeded = false;
        juce::String errorMessage;      ///< empty when it succeeded or was stopped
    };

    /** The work folder ("Installers/<installName>") and the tool's output
        folder inside it.
    */
    juce::File workFolderOf (const Plan&);
    juce::File expandFolderOf (const Plan&);

    Result run (const Plan&, const Hooks&);
}
