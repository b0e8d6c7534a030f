#pragma once

#include <juce_core/juce_core.h>

#include "account/ProductRecord.h"
#include "storage/PluginFormat.h"

#include <array>
#include <functional>

/**
    What the files on this machine say about one product: where each plugin
    format goes, which formats are there, their versions, the status text and
    whether an update is due.

    Plain code: it takes the catalogue record, the settings values and the
    version readers, and returns a value. Product calls it on every refresh;
    tests call it directly, without a component or a thread.
*/
namespace ProductStatus
{
    /** The settings values that one refresh uses. */
    struct Settings
    {
        /** Each format's folder as the settings hand it over, ending in a separator. */
        std::array<juce::String, PluginFormat::count> folder;
        juce::String sampleFolder;
    };

    /** Where the versions come from. An absent reader reads nothing. */
    struct Readers
    {
        /** The raw version text of an installed plugin file or bundle folder. */
        std::function<juce::String (const juce::String& path)> fileVersion;

        /** The raw version the product recorded in its own settings file. */
        std::function<juce::String()> recordedVersion;
    };

    /** The outcome of one refresh. */
    struct Value
    {
        /** Each format's plugin file; empty for AU and for a format whose folder is unusable. */
        std::array<juce::String, PluginFormat::count> target;

        /** The older CLAP place, the "Quillotone" folder inside the CLAP folder;
            the same file as target[CLAP] when that folder is itself "Quillotone".
        */
        juce::String legacyClapTarget;

        juce::String samplesRoot, samplesTarget;

        std::array<bool, PluginFormat::count> installed {};
        std::array<juce::String, PluginFormat::count> version;     // normalised, empty when unknown

        juce::String statusText;
        juce::String actionText { "Install" }, busyText { "STOP" };
        bool updateAvailable = false;

        bool anyInstalled() const;
    };

    /** The status of the product. installName is the base name of its plugin
        files; empty when the catalogue name cannot be a file name, which gives
        no targets at all.
    */
    Value compute (const ProductRecord& record, const juce::String& installName,
                   const Settings& settings, const Readers& readers);

    /** True when a folder setting can take plugin files: a full path that is
        not a drive or file-system root. An emptied settings field arrives as a
        lone separator, and a relative path would follow the working folder.
    */
    bool isUsableFolder (const juce::String& folder);

    /** The installable formats that have no usable folder (an empty target);
        only those selected when selected is given.
    */
    juce::Array<PluginFormat::Format> formatsWithoutFolder (const std::array<juce::String, PluginFormat::count>& target,
                                                            const std::array<bool, PluginFormat::count>* selected = nullptr);

    /** The message that refuses an install, or explains an uninstall, for the
        formats whose folder is not usable.
    */
    juce::String unusableFolderMessage (const juce::String& productName,
                                        const juce::Array<PluginFormat::Format>& formats, bool installing);

    /** The same for a bulk action that stops there: it names the setting, not a product. */
    juce::String unusableFolderSettingMessage (const juce::Array<PluginFormat::Format>& formats, bool installing);
}
