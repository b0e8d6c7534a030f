#pragma once

#include <juce_core/juce_core.h>

#include "storage/PluginFormat.h"

#include <array>
#include <optional>

/**
    The manager's own settings: which plugin formats to install and where each
    format and the sample content go, persisted in "settings.qvs" in the cache
    folder. At run time the settings page controls hold the truth; these are
    the file's rules, kept apart from any component so tests can call them.
*/
namespace ManagerSettings
{
    using PluginFormat::Format;

    /** The toggles and path fields as values, indexed by format in the file's order. */
    struct Values
    {
        std::array<bool, PluginFormat::count> install { true, true, true, true, true };
        std::array<juce::String, PluginFormat::count> path;     // path[AU] is written, never read
        juce::String samplesPath;
    };

    constexpr const char* rootTag = "QuillotonePluginManager_Settings";

    /** "InstallVST2", "PathVST2", ... */
    juce::String installKey (Format);
    juce::String pathKey (Format);

    /** The settings file: "settings.qvs" directly in the cache folder. */
    juce::File settingsFile (const juce::File& cacheFolder);

    /** The default folder of a format: the Windows folders on Windows; the
        per-user folders (~/.vst/, ~/.vst3/, ~/.aax/, ~/.clap/) elsewhere.
    */
    juce::String defaultFormatPath (Format);

    /** Everything on, the default paths, the given samples folder. */
    Values defaults (const juce::String& samplesFolder);

    /** Reads the file over the defaults; nothing when it is missing, a folder,
        unparseable or has another root tag (case matters), so the caller applies
        and saves the defaults. Empty path attributes give the default path.
    */
    std::optional<Values> read (const juce::File& file, const Values& defaultValues);

    /** What the manager runs with: the file's values, or, when read() gives
        nothing, the defaults, which are then written (as the settings page does
        at start).
    */
    Values load (const juce::File& file, const Values& defaultValues);

    /** The element written to the file: the five install keys as "1"/"0", then
        the six paths, in that order.
    */
    std::unique_ptr<juce::XmlElement> toXml (const Values&);

    /** Writes the file through a temporary file; false when it failed. */
    bool write (const juce::File& file, const Values&);

    /** A folder path with one trailing separator appended when it has none
        ("" gives the separator alone).
    */
    juce::String withTrailingSeparator (const juce::String& path);
}
