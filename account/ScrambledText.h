#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <cstddef>
#include <cstdint>

/**
    Fixed texts that should not sit in the executable as plain bytes (endpoint
    addresses, request parameter names, the server's error marker, remembered-
    login attribute names, some messages).

    QUILLOTONE_SCRAMBLED ("text") encodes the literal at compile time, so only
    the encoded bytes reach the binary, and decodes it on each call at run time.
    This hides the texts from a casual look at the file; it is not encryption.
*/
namespace scrambled
{
    /** The keystream byte for a position: a small LCG seeded by the length. */
    constexpr std::uint8_t keyAt (std::size_t index, std::size_t length)
    {
        std::uint32_t state = 0x9e3779b9u ^ (std::uint32_t) (length * 2654435761u);

        for (std::size_t i = 0; i <= index; ++i)
            state = state * 1664525u + 1013904223u;

        return (std::uint8_t) (state >> 24);
    }

    template <std::size_t N>
    struct Text
    {
        std::array<std::uint8_t, N> bytes {};

        constexpr explicit Text (const char (&plain)[N])
        {
            for (std::size_t i = 0; i < N; ++i)
                bytes[i] = (std::uint8_t) ((std::uint8_t) plain[i] ^ keyAt (i, N));
        }

        /** The plain text as UTF-8. */
        juce::String decode() const
        {
            std::array<char, N> plain {};

            // Volatile reads keep the optimiser from folding the plain text
            // back into the code as immediate values.
            const volatile std::uint8_t* source = bytes.data();

            for (std::size_t i = 0; i < N; ++i)
                plain[i] = (char) (source[i] ^ keyAt (i, N));

            return juce::String::fromUTF8 (plain.data(), (int) N - 1);
        }
    };
}

/** A juce::String built at run time from a literal encoded at compile time. */
#define QUILLOTONE_SCRAMBLED(literal) \
    ([] { static constexpr ::scrambled::Text<sizeof (literal)> scrambledLiteral_ { literal }; return scrambledLiteral_.decode(); }())
