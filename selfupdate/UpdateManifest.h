#pragma once

#include <juce_core/juce_core.h>

#include <array>

/** A newer manager that a manifest offers; an empty version means none. */
struct UpdateInfo
{
    juce::String version;
    juce::String url;
    juce::String sha256;        ///< 64 lowercase hexadecimal characters
    juce::int64 size = 0;       ///< bytes

    bool isEmpty() const noexcept   { return version.isEmpty(); }
};

/**
    The update manifest, "plugin-manager/latest.json" on the content server,
    and the version rule.

    The manifest decides what the manager downloads and runs, so everything in
    it is checked, in a fixed order, before it counts; the first failed rule
    means no update. Plain code: tests call it without a thread or a server.
*/
namespace UpdateManifest
{
    /** A manifest body longer than this is not read. */
    constexpr int maxBodyBytes = 65536;

    /** The largest payload a manifest may announce (1 GiB). */
    constexpr juce::int64 maxPayloadBytes = 0x40000000;

    /** Nesting that a body may have; a manifest needs four levels. */
    constexpr int maxNesting = 32;

    /** "windows", "macos" or "linux": the platform this build runs on. */
    juce::String thisPlatform();

    /** The payload's file name ending: ".AppImage" on Linux, ".zip" elsewhere. */
    juce::String payloadExtension (const juce::String& platform);

    /** Exactly three dot-separated pieces of 1 to 4 decimal digits, without
        leading zeros in pieces longer than one. On success the numbers are
        written to the array.
    */
    bool parseVersion (const juce::String& text, std::array<int, 3>& numbers);

    /** The only address a manifest may name for a version's payload:
        payloadBase + version + "/QuillotonePluginManager-" + version + "-" +
        platform + "-update" + extension. payloadBase ends with "/".
    */
    juce::String expectedPayloadURL (const juce::String& payloadBase, const juce::String& version,
                                     const juce::String& platform);

    /** The rules on a parsed manifest, in order; an empty record on any failure. */
    UpdateInfo parseManifest (const juce::var& manifest, const juce::String& platform,
                              const juce::String& currentVersion, const juce::String& payloadBase);

    /** The whole check of a body as it arrived: at most maxBodyBytes, valid
        UTF-8 without NUL characters, strict JSON (nothing after the value,
        nesting within maxNesting, integers that fit 64 bits), then parseManifest.
    */
    UpdateInfo readManifest (const juce::MemoryBlock& body, const juce::String& platform,
                             const juce::String& currentVersion, const juce::String& payloadBase);

    /** True when the bytes are one JSON value as RFC 8259 writes it, with no
        container nested deeper than maxDepth and no integer outside 64 bits.

        The framework's parser is lenient where a hostile body could hurt:
        it recurses once per level, wraps integers around silently and
        accepts trailing text. This gate runs first and never recurses.
    */
    bool isStrictJson (const char* data, size_t size, int maxDepth);
}
