#include <gtest/gtest.h>

#include "storage/FileNames.h"

// The manager's names and quillex's pieces share one rule set; the tool's own
// tests walk through it case by case, these make sure the manager gets it.
TEST (FileNames, UsableNamesFollowTheSharedRules)
{
    const std::pair<const char*, bool> cases[] = {
        { "Big Room Verb",                  true },
        { "Stra\xc3\x9f" "e.preset",        true },
        { "Caf\xc3\xa9",                    true },
        { "name ",                          false },
        { "name.",                          false },
        { "COM0.dll",                       false },
        { "COM\xc2\xb9",                    false },
        { "lpt\xc2\xb2.txt",                false },
        { "a\xc2\x85" "b",                  false },   // C1 control
        { "report\xe2\x80\xaetxt.exe",      false },   // right-to-left override
        { "..",                             false },
        { "a/b",                            false },
    };

    for (auto& [name, usable] : cases)
        EXPECT_EQ (FileNames::isUsableFileName (juce::String::fromUTF8 (name)), usable) << name;

    // A lone surrogate, as UTF-16 text can carry one.
    const juce::juce_wchar surrogate[] = { 'a', 0xd800, 'b', 0 };
    EXPECT_FALSE (FileNames::isUsableFileName (juce::String (juce::CharPointer_UTF32 (surrogate))));
}
