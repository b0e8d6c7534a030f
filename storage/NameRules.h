#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/**
    The one rule set for names that come from elsewhere and become file or
    folder names: FileNames uses it for the manager's names, quillex for every
    piece of an installer's entries. Plain C++ over UTF-8, so the extraction
    tool can build it without the framework. Windows decides what a name is,
    so its rules apply on every platform.
*/
namespace NameRules
{
    /** Why one file or folder name cannot be used. */
    enum class PieceProblem
    {
        none,
        emptyOrDot,         // "" or "."
        dotDot,             // ".."
        invalidUtf8,        // malformed, overlong, an encoded surrogate, beyond U+10FFFF
        tooLong,            // more than maxPieceBytes
        controlCharacter,   // C0, DEL, C1, or a bidirectional formatting character
        forbiddenCharacter, // path syntax or a character Windows refuses
        trailingDotOrSpace, // Windows drops them, so the file gets another name
        deviceName          // CON, COM0, LPT¹.txt... stay devices on Windows
    };

    /** The longest name, in UTF-8 bytes, that every platform we ship for keeps. */
    constexpr std::size_t maxPieceBytes = 255;

    /** The first problem of a single name (no separators allowed), or none. */
    PieceProblem pieceProblem (std::string_view piece);

    /** True when the bytes are well-formed UTF-8 without overlong forms or
        surrogates.
    */
    bool isValidUtf8 (std::string_view text);

    /** Characters that are invisible or change how a name displays. */
    bool isControlCharacter (char32_t);

    /** Decodes one UTF-8 sequence at text[i] and moves i past it; false on
        anything isValidUtf8 refuses.
    */
    bool decode (std::string_view text, std::size_t& i, char32_t& out);

    /** A character as Windows compares it in names: its simple uppercase form
        for the Basic Multilingual Plane, anything else as it is.
    */
    char32_t foldCharacter (char32_t);

    /** The valid UTF-8 text with every character folded. */
    std::string foldCase (std::string_view text);

    /** Orders valid UTF-8 texts by their folded characters without building
        them: negative, zero (one name to Windows) or positive.
    */
    int compareFolded (std::string_view a, std::string_view b);

    /** A 64-bit hash of the folded text: equal for texts compareFolded finds
        equal.
    */
    std::uint64_t foldedHash (std::string_view text);

    //==============================================================================
    /** One entry of the generated table (CaseTable.cpp), sorted by `from`. */
    struct CasePair
    {
        char16_t from, to;
    };

    extern const CasePair caseTable[];
    extern const std::size_t caseTableSize;
}
