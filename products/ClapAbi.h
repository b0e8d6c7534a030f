#pragma once

#include <cstdint>

/**
    The few types of the CLAP plugin ABI that the version probe touches.

    No CLAP headers exist among the system packages, so they are declared here,
    laid out as the published C structs; the test fixtures build against the
    same declarations. They live in a namespace of their own so that real CLAP
    headers can sit beside them one day.
*/
namespace clap_abi
{
    /** The ABI version a library was built against. */
    struct clap_version
    {
        uint32_t major;
        uint32_t minor;
        uint32_t revision;
    };

    // The published headers' name for it, which frees "clap_version" for the members.
    using clap_version_t = clap_version;

    /** What a plugin factory says about one plugin. Every text is UTF-8. */
    struct clap_plugin_descriptor
    {
        clap_version_t clap_version;
        const char* id;
        const char* name;
        const char* vendor;
        const char* url;
        const char* manual_url;
        const char* support_url;
        const char* version;
        const char* description;
        const char* const* features;
    };

    /** The factory behind clapPluginFactoryId. */
    struct clap_plugin_factory
    {
        uint32_t (*get_plugin_count) (const clap_plugin_factory* factory);
        const clap_plugin_descriptor* (*get_plugin_descriptor) (const clap_plugin_factory* factory, uint32_t index);
        const void* (*create_plugin) (const clap_plugin_factory* factory, const void* host, const char* pluginId);
    };

    /** The data symbol "clap_entry" every CLAP library exports. */
    struct clap_plugin_entry
    {
        clap_version_t clap_version;
        bool (*init) (const char* pluginPath);
        void (*deinit)();
        const void* (*get_factory) (const char* factoryId);
    };

    /** The name of the exported entry symbol. */
    constexpr const char* entrySymbol = "clap_entry";

    /** The id get_factory() knows the plugin factory by. */
    constexpr const char* clapPluginFactoryId = "clap.plugin-factory";
}
