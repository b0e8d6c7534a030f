#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/**
    The version rules: reading the installed version of a plugin from the
    plugin files themselves, and the text rules that clean and order versions.

    The product status calls probeVersion() on each installed target and passes
    the result through normaliseVersion(); the version the product recorded in
    its own settings file is the fallback. Every failure yields an empty string:
    nothing here reports to the user.

    The functions live in files named after what they do: VersionProbe.cpp
    (plugin files and bundles), VersionProbeText.cpp (the text rules),
    VersionProbeClap.cpp (the CLAP descriptor) and PeVersionReader.cpp (the
    Windows version resource).
*/
namespace VersionProbe
{
    //==============================================================================
    /** The text without any leading "v" or "V" characters. */
    juce::String stripLeadingVs (juce::String text);

    /** A clean dotted version found in free text (the first valid token, else
        the whole text), or empty.
    */
    juce::String normaliseVersion (const juce::String& text);

    /** The token as a version of 2 to 6 numeric parts without leading "v" and
        with trailing zero parts dropped down to three, or empty.
    */
    juce::String validateVersion (const juce::String& token);

    /** -1, 0 or 1: numeric order of dotted versions; "v" prefixes ignored,
        missing parts count as 0, so 1.2 equals 1.2.0 and 1.10 follows 1.9.
    */
    int compareVersions (const juce::String& a, const juce::String& b);

    //==============================================================================
    /** Reads the version text of a CLAP library. The product passes one that
        asks a child process (ClapVersionProbe); readClapVersion() below loads
        the library into the calling process.
    */
    using ClapReader = std::function<juce::String (const juce::File&)>;

    /** The raw version text of a plugin file or bundle folder, or empty. CLAP
        libraries without a version resource are asked through readClap.
    */
    juce::String probeVersion (const juce::String& path, const ClapReader& readClap);

    /** The bundle extensions, in the order findBundleFile() tries them. */
    juce::StringArray bundleExtensions();

    /** The file itself when the path is a file; inside a bundle folder, the
        best candidate with one of the extensions (see the implementation for
        the subfolder order); empty when there is none. Links inside the
        bundle are never followed and the search is bounded, so a folder loop
        or a huge tree costs a bounded, short time.
    */
    juce::File findBundleFile (const juce::String& path, const juce::StringArray& extensions);

    /** The file version of a Windows executable image, as four dotted numbers,
        or empty. Reads the PE version resource directly, so it works on any
        platform; hostile or truncated files yield empty.
    */
    juce::String readFileVersion (const juce::File& file);

    /** The version text of the first plugin a CLAP library describes, trimmed,
        or empty. Loads the library into this process, runs its init, asks its
        plugin factory, and unloads it: only the probe's child process and the
        tests call this, never the manager itself.
    */
    juce::String readClapVersion (const juce::File& file);

    /** The trimmed "PluginManagerInstalledVersion" attribute of a product
        settings file, or empty when the file or attribute is missing.
    */
    juce::String readRecordedVersion (const juce::File& productSettingsFile);
}
