#pragma once

#include <juce_core/juce_core.h>

#include "storage/PluginFormat.h"

#include <array>
#include <functional>

/**
    Removing a product's plugin files: each format's target, then the older
    CLAP place, each to the recycle bin first and for good only when that
    fails. Presets and samples stay.

    Plain code on the calling worker; the row's uninstall worker and the
    command line run it. An uninstall is never stopped half way: a plugin
    half removed is worse than one left in place.
*/
namespace ProductUninstall
{
    struct Plan
    {
        juce::String name;
        std::array<juce::String, PluginFormat::count> targets;     ///< empty for a format without a usable folder
        juce::String legacyClapTarget;

        /** Formats whose folder setting is not usable: nothing of theirs is looked for. */
        juce::Array<PluginFormat::Format> formatsWithoutFolder;
    };

    struct Hooks
    {
        std::function<void (double)> setProgress;
        std::function<bool (const juce::File&)> moveToTrash;
    };

    struct Result
    {
        bool succeeded = false;
        juce::String errorMessage;      ///< the message for the "Uninstall error" dialog
    };

    Result run (const Plan&, const Hooks&);

    /** Removes one target: recycle bin first, then for good. True when it is
        gone or was never there (an empty or relative path names nothing).
    */
    bool removeTarget (const juce::String& path, const Hooks&);
}
