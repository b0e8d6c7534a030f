// The CLAP half of VersionProbe: the plugin descriptor read in this process.
// Only the probe's child process runs it (see ClapVersionProbe).
#include "VersionProbe.h"
#include "ClapAbi.h"
#include "platform/Platform.h"

namespace
{
    /** Owns a loaded library; unloads it last, after any deinit. */
    struct LoadedLibrary
    {
        explicit LoadedLibrary (const juce::File& file) : handle (platform::loadPluginLibrary (file)) {}
        ~LoadedLibrary()    { if (handle != nullptr) platform::unloadPluginLibrary (handle); }

        void* handle;

        JUCE_DECLARE_NON_COPYABLE (LoadedLibrary)
    };

    /** Calls the entry's deinit, when it has one, on the way out: a library
        whose init succeeded is owed exactly one deinit before it unloads.
    */
    struct DeinitOnExit
    {
        explicit DeinitOnExit (const clap_abi::clap_plugin_entry& e) : entry (e) {}
        ~DeinitOnExit()     { if (entry.deinit != nullptr) entry.deinit(); }

        const clap_abi::clap_plugin_entry& entry;

        JUCE_DECLARE_NON_COPYABLE (DeinitOnExit)
    };

    juce::String firstPluginVersion (const clap_abi::clap_plugin_entry& entry)
    {
        if (entry.get_factory == nullptr)
            return {};

        const auto* factory = static_cast<const clap_abi::clap_plugin_factory*> (entry.get_factory (clap_abi::clapPluginFactoryId));

        if (factory == nullptr || factory->get_plugin_count == nullptr || factory->get_plugin_descriptor == nullptr
             || factory->get_plugin_count (factory) == 0)
            return {};

        const auto* descriptor = factory->get_plugin_descriptor (factory, 0);

        if (descriptor == nullptr || descriptor->version == nullptr)
            return {};

        return juce::String::fromUTF8 (descriptor->version).trim();
    }
}

juce::String VersionProbe::readClapVersion (const juce::File& file)
{
    if (file.getFullPathName().isEmpty() || file.isDirectory())
        return {};

    const LoadedLibrary library (file);

    if (library.handle == nullptr)
        return {};

    const auto* entry = static_cast<const clap_abi::clap_plugin_entry*> (platform::findLibrarySymbol (library.handle, clap_abi::entrySymbol));

    if (entry == nullptr)
        return {};

    // A library whose init fails has nothing to undo and must not see deinit.
    if (entry->init != nullptr && ! entry->init (file.getFullPathName().toRawUTF8()))
        return {};

    const DeinitOnExit deinit (*entry);
    return firstPluginVersion (*entry);
}
