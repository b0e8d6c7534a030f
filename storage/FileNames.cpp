#include "storage/FileNames.h"

#include "storage/NameRules.h"

#include <juce_cryptography/juce_cryptography.h>

namespace FileNames
{

bool isUsableFileName (const juce::String& text)
{
    // The rule quillex applies to every piece of an installer's names.
    return NameRules::pieceProblem (text.toStdString()) == NameRules::PieceProblem::none;
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
