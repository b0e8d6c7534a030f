#include <gtest/gtest.h>

#include "CommandLine.h"
#include "ProductListing.h"
#include "ProductMatch.h"

using CommandLine::Kind;

//==============================================================================
TEST (CommandLine, ReadsEachCommandAndRefusesWhatScriptsMustNotRelyOn)
{
    struct Case
    {
        const char* arguments;
        bool valid;
        Kind kind;
        const char* email;
        bool remember, json, demos, all;
        int names;
    };

    const Case cases[] = {
        { "login --email A@B.test --remember",  true,  Kind::login,     "A@B.test", true,  false, false, false, 0 },
        { "login --remember --email a@b.test",  true,  Kind::login,     "a@b.test", true,  false, false, false, 0 },
        { "login",                              false, Kind::login,     "",         false, false, false, false, 0 },
        { "login --email a@b.test --password x", false, Kind::login,    "a@b.test", false, false, false, false, 0 },
        { "login --email",                      false, Kind::login,     "",         false, false, false, false, 0 },
        { "list --json --demos",                true,  Kind::list,      "",         false, true,  true,  false, 0 },
        { "list --all",                         false, Kind::list,      "",         false, false, false, false, 0 },
        { "install|Velvet Keys|Glass Comp",     true,  Kind::install,   "",         false, false, false, false, 2 },
        { "update --all",                       true,  Kind::update,    "",         false, false, false, true,  0 },
        { "uninstall",                          false, Kind::uninstall, "",         false, false, false, false, 0 },
        { "uninstall|--all|Velvet Keys",        false, Kind::uninstall, "",         false, false, false, true,  1 },
        { "install|  ",                         false, Kind::install,   "",         false, false, false, false, 0 },
        { "settings PathVST3 /x",               true,  Kind::settings,  "",         false, false, false, false, 0 },
        { "settings PathVST3 /x y",             false, Kind::settings,  "",         false, false, false, false, 0 },
        { "logout now",                         false, Kind::logout,    "",         false, false, false, false, 0 },
        { "version",                            true,  Kind::version,   "",         false, false, false, false, 0 },
        { "",                                   false, Kind::help,      "",         false, false, false, false, 0 },
        { "remove --all",                       false, Kind::help,      "",         false, false, false, false, 0 },
    };

    for (const auto& c : cases)
    {
        const juce::String text (c.arguments);
        const auto arguments = juce::StringArray::fromTokens (text, text.containsChar ('|') ? "|" : " ", {});
        const auto command = CommandLine::parse (text.isEmpty() ? juce::StringArray() : arguments);

        SCOPED_TRACE (c.arguments);
        EXPECT_EQ (command.error.isEmpty(), c.valid) << command.error;

        if (! c.valid)
            continue;

        EXPECT_EQ (command.kind, c.kind);
        EXPECT_EQ (command.email, c.email);
        EXPECT_EQ (command.remember, c.remember);
        EXPECT_EQ (command.json, c.json);
        EXPECT_EQ (command.demos, c.demos);
        EXPECT_EQ (command.all, c.all);
        EXPECT_EQ (command.names.size(), c.names);
    }
}

//==============================================================================
TEST (CommandLine, NamesMatchIgnoringCaseAndSurroundingSpacesOnly)
{
    const juce::StringArray catalogue { "Velvet Keys", "KV-77", " Glass Comp ", "Velvet Keys" };

    struct Case
    {
        const char* wanted;
        std::vector<int> indices;
        int unmatched;
    };

    const Case cases[] = {
        { "velvet keys",        { 0 },    0 },
        { "  VELVET KEYS  ",    { 0 },    0 },     // the first of two equal names
        { "glass comp",         { 2 },    0 },
        { "kv-77",              { 1 },    0 },
        { "KV77",               {},       1 },     // the install name is not the product name
        { "VelvetKeys",         {},       1 },
        { "Velvet",             {},       1 },
        { "Velvet Keys|kv-77|velvet keys", { 0, 1 }, 0 },
        { "Glass Comp|nothing", { 2 },    1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.wanted);
        const auto result = ProductMatch::match (catalogue, juce::StringArray::fromTokens (c.wanted, "|", {}));

        EXPECT_EQ (std::vector<int> (result.indices.begin(), result.indices.end()), c.indices);
        EXPECT_EQ (result.unmatched.size(), c.unmatched);
    }
}

//==============================================================================
TEST (CommandLine, JsonListingHasEveryFieldWithNullForWhatIsNotInstalled)
{
    ProductListing::Entry installed;
    installed.name = "Velvet \"Keys\"";
    installed.id = 104;
    installed.freebie = true;
    installed.latestVersion = "2.0.0";
    installed.installedVersion = "1.9.0";
    installed.formats[1] = "1.9.0";
    installed.formats[3] = "";
    installed.updateAvailable = true;

    ProductListing::Entry demo;
    demo.name = "Spring Tank";
    demo.id = 9001;
    demo.owned = false;
    demo.nfr = true;
    demo.latestVersion = "1.0";

    const auto parsed = juce::JSON::parse (ProductListing::toJson ({ installed, demo }));
    ASSERT_TRUE (parsed.isArray());
    ASSERT_EQ (parsed.size(), 2);

    struct Case
    {
        int entry;
        const char* field;
        juce::var expected;
    };

    const Case cases[] = {
        { 0, "name", "Velvet \"Keys\"" }, { 0, "id", 104 }, { 0, "owned", true }, { 0, "freebie", true },
        { 0, "nfr", false }, { 0, "latestVersion", "2.0.0" }, { 0, "installedVersion", "1.9.0" },
        { 0, "updateAvailable", true },
        { 1, "owned", false }, { 1, "nfr", true }, { 1, "id", 9001 }, { 1, "updateAvailable", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (parsed[c.entry][c.field], c.expected) << c.entry << " " << c.field;

    EXPECT_TRUE (parsed[1]["installedVersion"].isVoid());
    EXPECT_TRUE (parsed[1].hasProperty ("installedVersion"));

    const char* const formats[] = { "vst2", "vst3", "aax", "clap" };

    for (int entry = 0; entry < 2; ++entry)
    {
        ASSERT_EQ (parsed[entry].getDynamicObject()->getProperties().size(), 9);
        const auto& object = parsed[entry]["formats"];

        for (auto* format : formats)
            EXPECT_TRUE (object.hasProperty (format)) << format;
    }

    EXPECT_TRUE (parsed[0]["formats"]["vst2"].isVoid());
    EXPECT_EQ (parsed[0]["formats"]["vst3"], juce::var ("1.9.0"));
    EXPECT_EQ (parsed[0]["formats"]["clap"], juce::var (""));
    EXPECT_TRUE (parsed[1]["formats"]["clap"].isVoid());
}
