// The update manifest is what decides what the manager runs: every rule,
// each edge of it, and every way a hostile body could be malformed.
#include <gtest/gtest.h>

#include "selfupdate/UpdateManifest.h"

#include <cstring>
#include <functional>

namespace
{
    const juce::String base = "https://cdn.example.test/plugin-manager/";
    const juce::String digest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

    /** The raw JSON text of each field, so that types can be got wrong. */
    struct Fields
    {
        juce::String schema = "1", published = "true", version = "\"1.3.0\"", arch = "\"x86_64\"",
                     url = "default", sha256 = "\"" + digest + "\"", size = "1000", platform = "windows",
                     extra;
    };

    juce::String body (const Fields& f)
    {
        auto url = f.url == "default" ? "\"" + UpdateManifest::expectedPayloadURL (base, "1.3.0", f.platform) + "\"" : f.url;
        return "{\"schema\": " + f.schema + ", \"published\": " + f.published + ", \"version\": " + f.version
             + ", \"platforms\": {\"" + f.platform + "\": {\"arch\": " + f.arch + ", \"update\": {\"url\": " + url
             + ", \"sha256\": " + f.sha256 + ", \"size\": " + f.size + "}}}" + f.extra + "}";
    }

    juce::MemoryBlock bytes (const juce::String& text)   { return { text.toRawUTF8(), text.getNumBytesAsUTF8() }; }

    UpdateInfo read (const juce::MemoryBlock& b, const juce::String& platform = "windows", const juce::String& current = "1.2.0")
    {
        return UpdateManifest::readManifest (b, platform, current, base);
    }

    /** A body of exactly n bytes: the manifest, padded with spaces inside. */
    juce::MemoryBlock paddedTo (size_t n)
    {
        auto text = body ({});
        return bytes (text.dropLastCharacters (1) + juce::String::repeatedString (" ", (int) (n - (size_t) text.length())) + "}");
    }
}

TEST (UpdateManifest, VersionRule)
{
    std::array<int, 3> n {};
    EXPECT_TRUE (UpdateManifest::parseVersion ("1.10.0", n));
    EXPECT_EQ (n, (std::array<int, 3> { 1, 10, 0 }));
    EXPECT_TRUE (UpdateManifest::parseVersion ("2024.1.9999", n));
    EXPECT_EQ (n, (std::array<int, 3> { 2024, 1, 9999 }));
    EXPECT_TRUE (UpdateManifest::parseVersion ("0.0.1", n));

    for (auto* bad : { "1.2", "1.2.0.0", "1.02.0", "1.2.x", "1..2", "1.2.10000", "", "1.2.", ".1.2", " 1.2.0", "1.2.0 ",
                       "-1.2.0", "+1.2.0", "1.2.\xd9\xa3", "00.1.2" })
        EXPECT_FALSE (UpdateManifest::parseVersion (juce::String::fromUTF8 (bad), n)) << bad;
}

TEST (UpdateManifest, EveryRuleDecidesTheOffer)
{
    struct Case { const char* what; std::function<void (Fields&)> change; bool offered; };
    const Case cases[] = {
        { "the manifest as published",    [] (Fields&) {},                                             true },
        { "schema 1.0",                   [] (Fields& f) { f.schema = "1.0"; },                        false },
        { "schema \"1\"",                 [] (Fields& f) { f.schema = "\"1\""; },                      false },
        { "schema 2",                     [] (Fields& f) { f.schema = "2"; },                          false },
        { "schema true",                  [] (Fields& f) { f.schema = "true"; },                       false },
        { "published \"true\"",           [] (Fields& f) { f.published = "\"true\""; },                false },
        { "published false",              [] (Fields& f) { f.published = "false"; },                   false },
        { "published 1",                  [] (Fields& f) { f.published = "1"; },                       false },
        { "version a number",             [] (Fields& f) { f.version = "1.3"; },                       false },
        { "version 1.3",                  [] (Fields& f) { f.version = "\"1.3\""; f.url = "\"" + UpdateManifest::expectedPayloadURL (base, "1.3", "windows") + "\""; }, false },
        { "arch arm64",                   [] (Fields& f) { f.arch = "\"arm64\""; },                    false },
        { "arch \"universal\" on windows",[] (Fields& f) { f.arch = "\"universal\""; },                false },
        { "arch in capitals",             [] (Fields& f) { f.arch = "\"X86_64\""; },                   false },
        { "url in other letter case",     [] (Fields& f) { f.url = "\"" + UpdateManifest::expectedPayloadURL (base, "1.3.0", "windows").replace ("Quillotone", "quillotone") + "\""; }, false },
        { "url on another host",          [] (Fields& f) { f.url = "\"" + UpdateManifest::expectedPayloadURL (base, "1.3.0", "windows").replace ("cdn.example", "evil.example") + "\""; }, false },
        { "url with a query",             [] (Fields& f) { f.url = "\"" + UpdateManifest::expectedPayloadURL (base, "1.3.0", "windows") + "?x=1\""; }, false },
        { "url for another platform",     [] (Fields& f) { f.url = "\"" + UpdateManifest::expectedPayloadURL (base, "1.3.0", "linux") + "\""; }, false },
        { "url not a string",             [] (Fields& f) { f.url = "[]"; },                            false },
        { "sha256 in capitals",           [] (Fields& f) { f.sha256 = "\"" + digest.toUpperCase() + "\""; }, false },
        { "sha256 of 63 characters",      [] (Fields& f) { f.sha256 = "\"" + digest.dropLastCharacters (1) + "\""; }, false },
        { "sha256 of 65 characters",      [] (Fields& f) { f.sha256 = "\"" + digest + "0\""; },        false },
        { "sha256 with a g",              [] (Fields& f) { f.sha256 = "\"" + digest.dropLastCharacters (1) + "g\""; }, false },
        { "sha256 a number",              [] (Fields& f) { f.sha256 = "12"; },                         false },
        { "size 0",                       [] (Fields& f) { f.size = "0"; },                            false },
        { "size -5",                      [] (Fields& f) { f.size = "-5"; },                           false },
        { "size 1",                       [] (Fields& f) { f.size = "1"; },                            true },
        { "size 1073741824",              [] (Fields& f) { f.size = "1073741824"; },                   true },
        { "size 1073741825",              [] (Fields& f) { f.size = "1073741825"; },                   false },
        { "size 12.5",                    [] (Fields& f) { f.size = "12.5"; },                         false },
        { "size 1e3",                     [] (Fields& f) { f.size = "1e3"; },                          false },
        { "size \"1000\"",                [] (Fields& f) { f.size = "\"1000\""; },                     false },
        { "size that wraps 64 bits to 1", [] (Fields& f) { f.size = "18446744073709551617"; },         false },
        { "size with a leading zero",     [] (Fields& f) { f.size = "01000"; },                        false },
        { "only another platform",        [] (Fields& f) { f.platform = "macos"; f.arch = "\"universal\""; }, false },
        { "a trailing member",            [] (Fields& f) { f.extra = ", \"notes\": \"faster\""; },     true },
        { "platforms not an object",      [] (Fields& f) { f.extra = ", \"platforms\": []"; },         false },
        { "text after the object",        [] (Fields& f) { f.extra = "} {"; },                         false },
        { "single-quoted text",           [] (Fields& f) { f.arch = "'x86_64'"; },                     false },
        { "a comment",                    [] (Fields& f) { f.size = "1000 /* bytes */"; },             false },
    };

    for (auto& c : cases)
    {
        Fields f;
        c.change (f);
        const auto info = read (bytes (body (f)));
        EXPECT_EQ (! info.isEmpty(), c.offered) << c.what << "\n" << body (f);
    }

    auto offer = read (bytes (body ({})));
    EXPECT_EQ (offer.version, "1.3.0");
    EXPECT_EQ (offer.url, base + "1.3.0/QuillotonePluginManager-1.3.0-windows-update.zip");
    EXPECT_EQ (offer.sha256, digest);
    EXPECT_EQ (offer.size, 1000);
}

TEST (UpdateManifest, OnlyANewerValidVersionOfThisPlatformIsOffered)
{
    struct Case { const char* manifestVersion; const char* current; const char* platform; bool offered; };
    const Case cases[] = {
        { "1.2.0",  "1.2.0", "windows", false },
        { "1.2.1",  "1.2.0", "windows", true },
        { "1.3.0",  "1.2.0", "windows", true },
        { "2.0.0",  "1.2.0", "windows", true },
        { "1.1.9",  "1.2.0", "windows", false },
        { "0.9.9",  "1.2.0", "windows", false },
        { "1.10.0", "1.9.0", "windows", true },
        { "1.9.0",  "1.10.0", "windows", false },
        { "1.3.0",  "1.2",   "windows", false },     // the running version must pass the rule too
        { "1.3.0",  "1.2.0", "linux",   true },
        { "1.3.0",  "1.2.0", "macos",   true },
        { "1.3.0",  "1.2.0", "",        false },
    };

    for (auto& c : cases)
    {
        Fields f;
        f.version = "\"" + juce::String (c.manifestVersion) + "\"";
        f.platform = juce::String (c.platform).isEmpty() ? "windows" : c.platform;
        f.arch = f.platform == "macos" ? "\"universal\"" : "\"x86_64\"";
        f.url = "\"" + UpdateManifest::expectedPayloadURL (base, c.manifestVersion, f.platform) + "\"";
        const auto info = read (bytes (body (f)), c.platform, c.current);
        EXPECT_EQ (! info.isEmpty(), c.offered) << c.manifestVersion << " over " << c.current << " on " << c.platform;
    }

    EXPECT_EQ (UpdateManifest::expectedPayloadURL (base, "1.3.0", "linux"),
               base + "1.3.0/QuillotonePluginManager-1.3.0-linux-update.AppImage");
}

TEST (UpdateManifest, BodiesThatAreNotAManifest)
{
    EXPECT_FALSE (read (paddedTo (65536)).isEmpty());
    EXPECT_TRUE (read (paddedTo (65537)).isEmpty());

    auto withNul = bytes (body ({}));
    withNul[10] = 0;
    Fields withNotes;
    withNotes.extra = ", \"notes\": \"#\"";
    auto notUtf8 = bytes (body (withNotes));
    notUtf8[(size_t) body (withNotes).indexOf ("#")] = (char) 0xff;
    juce::MemoryBlock withByteOrderMark ("\xef\xbb\xbf", 3);
    withByteOrderMark.append (body ({}).toRawUTF8(), body ({}).getNumBytesAsUTF8());

    const juce::MemoryBlock cases[] = {
        {},
        bytes ("[]"),
        bytes ("\"text\""),
        bytes ("null"),
        bytes ("not json"),
        withByteOrderMark,
        notUtf8,
        withNul,
        bytes (juce::String::repeatedString ("[", 32768) + juce::String::repeatedString ("]", 32768)),
        bytes ("{\"a\": " + juce::String::repeatedString ("{\"a\": ", 40) + "1" + juce::String::repeatedString ("}", 41)),
    };

    for (auto& b : cases)
        EXPECT_TRUE (read (b).isEmpty()) << b.toString().substring (0, 60);

    const auto strict = [] (const char* text, int depth = 32) { return UpdateManifest::isStrictJson (text, std::strlen (text), depth); };
    EXPECT_TRUE (strict ("[[[1, 2.5e-3, -0, \"\\u00e9\\n\", {}, true, null]]]"));
    EXPECT_FALSE (strict ("[[[1]]]", 2));
    EXPECT_FALSE (strict ("[1,]"));
    EXPECT_FALSE (strict ("{\"a\" 1}"));
    EXPECT_FALSE (strict ("\"a\tb\""));
    EXPECT_FALSE (strict ("\"\\x\""));
    EXPECT_FALSE (strict ("9223372036854775808"));
    EXPECT_TRUE (strict ("-9223372036854775808"));
}
