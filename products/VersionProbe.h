#pragma once

#include <juce_core/juce_core.h>

/**
    Reads the installed version of a plugin from the plugin files themselves.

    The product status calls probeVersion() on each installed target and passes
    the result through normaliseVersion(); the version the product recorded in
    its own settings file is the fallback. Every failure yields an empty string:
    nothing here reports to the user.

    All functions run on the message thread. readClapVersion() loads the plugin
    library into this process, so the library's own start-up code runs here.
*/
namespace VersionProbe
{
    /** The text without any leading "v" or "V" characters. */
    juce::String stripLeadingVs (juce::String text);

    /** The raw version text of a plugin file or bundle folder, or empty. */
    juce::String probeVersion (const juce::String& path);

    /** The bundle extensions, in the order findBundleFile() tries them. */
    juce::StringArray bundleExtensions();

    /** The file itself when the path is a file; inside a bundle folder, the
        best candidate with one of the extensions (see the implementation for
        the subfolder order); empty when there is none.
    */
    juce::File findBundleFile (const juce::String& path, const juce::StringArray& extensions);

    /** The file version of a Windows executable image, as four dotted numbers,
        or empty. Reads the PE version resource directly, so it works on any
        platform; hostile or truncated files yield empty.
    */
    juce::String readFileVersion (const juce::File& file);

    /** The version text of the first plugin a CLAP library describes, trimmed,
        or empty. Loads the library, asks its plugin factory, and unloads it.
    */
    juce::String readClapVersion (const juce::File& file);

    /** The trimmed "PluginManagerInstalledVersion" attribute of a product
        settings file, or empty when the file or attribute is missing.
    */
    juce::String readRecordedVersion (const juce::File& productSettingsFile);

    /** A clean dotted version found in free text (the first valid token, else
        the whole text), or empty.
    */
    juce::String normaliseVersion (const juce::String& text);

    /** The token as a version of 2 to 6 numeric parts without leading "v" and
        with trailing zero parts dropped down to three, or empty.
    */
    juce::String validateVersion (const juce::String& token);
}
