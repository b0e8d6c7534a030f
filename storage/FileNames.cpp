#include "storage/FileNames.h"

#include <juce_cryptography/juce_cryptography.h>

namespace FileNames
{

bool isUsableFileName (const juce::String& text)
{
    if (text.isEmpty() || text == "." || text == "..")
        return false;

    // Path syntax, characters Windows refuses in names, and control characters.
    for (auto c : text)
        if (c < 0x20 || c == 0x7f || juce::String ("/\\:*?\"<>|").containsChar (c))
            return false;

    // Windows drops trailing dots and spaces, so the file would get another name.
    if (text.endsWithChar ('.') || text.endsWithChar (' '))
        return false;

    // Device names stay devices whatever extension follows ("CON.dll").
    const auto stem = text.upToFirstOccurrenceOf (".", false, false).trimEnd().toUpperCase();

    for (auto* device : { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" })
        if (stem == device)
            return false;

    if ((stem.startsWith ("COM") || stem.startsWith ("LPT")) && stem.length() == 4
         && (juce::CharacterFunctions::isDigit (stem[3]) || stem[3] == 0xb9 || stem[3] == 0xb2 || stem[3] == 0xb3))
        return false;

    return true;
}

juce::String cacheFileNameFor (const juce::String& name)
{
    if (name.isEmpty())
        return {};

    static const juce::String plainCharacters ("abcdefghijklmnopqrstuvwxyz0123456789.-_");
    constexpr int maxPlainLength = 100;

    if (name.length() <= maxPlainLength && name.containsOnly (plainCharacters)
         && ! name.startsWithChar ('.') && isUsableFileName (name))
        return name;

    auto extension = name.fromLastOccurrenceOf (".", false, false).toLowerCase();

    if (! name.containsChar ('.') || extension.isEmpty() || extension.length() > 5
         || ! extension.containsOnly ("abcdefghijklmnopqrstuvwxyz0123456789"))
        extension.clear();

    auto stem = (extension.isEmpty() ? name : name.upToLastOccurrenceOf (".", false, false))
                    .toLowerCase().retainCharacters ("abcdefghijklmnopqrstuvwxyz0123456789-_")
                    .substring (0, 40);

    if (stem.isEmpty())
        stem = "file";

    const auto digest = juce::SHA256 (name.toUTF8()).toHexString().substring (0, 16);
    return stem + "~" + digest + (extension.isEmpty() ? juce::String() : "." + extension);
}

} // namespace FileNames
