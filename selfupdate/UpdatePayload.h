#pragma once

#include <juce_core/juce_core.h>

#include "selfupdate/UpdateManifest.h"

#include <functional>

/**
    Checks of the downloaded payload and of the staged executable.

    Files are hashed as they stream through a fixed buffer, never loaded
    whole, and every loop gives up at once when shouldStop says so (then
    the answer is false). Plain code; the update job calls it on its thread.
*/
namespace UpdatePayload
{
    /** The lowercase hexadecimal SHA-256 of a file's content, or an empty
        string when it cannot be read whole or shouldStop turned true.
        bytesRead, when given, receives the number of bytes hashed.
    */
    juce::String fileSha256 (const juce::File& file, const std::function<bool()>& shouldStop = nullptr,
                             juce::int64* bytesRead = nullptr);

    /** True when the file exists, is not a folder, has exactly the announced
        size and the announced digest.
    */
    bool verifyPayload (const juce::File& file, const UpdateInfo& update,
                        const std::function<bool()>& shouldStop = nullptr);

    /** True when the file starts like an x86-64 Linux program: a 64-bit
        little-endian ELF header for x86-64 of type executable, or of the
        shared type with an interpreter segment (a position-independent
        program, not a library), with program headers inside the file and an
        entry point inside an executable loadable segment.
    */
    bool isElfX86_64Executable (const juce::File& file);

    /** What the Linux build demands of the staged executable before it is
        handed over: a plain file (not a link) that its owner may run, an
        x86-64 ELF program, with the announced size and digest.
    */
    bool checkStagedExecutable (const juce::File& file, const UpdateInfo& update,
                                const std::function<bool()>& shouldStop = nullptr);

   #if JUCE_MAC
    /** What the macOS build demands of the staged bundle before it is handed
        over: codesign finds it sealed whole (deep, strict) and signed with a
        Developer ID of the team that signed the running manager's bundle.
        False when the running manager is not signed, or codesign does not
        answer in time. Runs codesign as a child process.
    */
    bool hasSameCodeSigner (const juce::File& stagedBundle, const juce::File& runningExecutable,
                            const std::function<bool()>& shouldStop = nullptr);
   #endif
}
