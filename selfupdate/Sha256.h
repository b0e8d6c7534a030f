#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <cstdint>

/**
    SHA-256 fed piece by piece, so that a payload of any size is hashed while
    it streams through a fixed buffer.

    The framework's SHA256 wants the whole input at once. On x86-64 processors
    with the SHA extensions the blocks go through them (about four times the
    speed of the portable code); the result is the same either way.
*/
class Sha256 final
{
public:
    /** allowHardware false forces the portable code (tests compare the two). */
    explicit Sha256 (bool allowHardware = true);

    void update (const void* data, size_t size);

    /** The digest of everything fed so far. Call once; the object is spent. */
    std::array<uint8_t, 32> finish();

    /** finish() as 64 lowercase hexadecimal characters. */
    juce::String finishAsHex();

    /** True when this processor has the SHA extensions and this build uses them. */
    static bool hardwareAvailable();

private:
    void compress (const uint8_t* blocks, size_t count);

    std::array<uint32_t, 8> state;
    std::array<uint8_t, 64> pending {};
    size_t pendingSize = 0;
    uint64_t totalBytes = 0;
    bool useHardware;
};
