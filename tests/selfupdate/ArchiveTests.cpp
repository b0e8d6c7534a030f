// The update archive's entry rules and its extraction into the staging
// folder: what is refused, and what a refused archive leaves behind.
#include <gtest/gtest.h>

#include "selfupdate/SelfUpdateJob.h"
#include "selfupdate/UpdateArchive.h"
#include "support/ZipMaker.h"

using testing_support::ZipEntrySpec;
using Messages = SelfUpdateJob::Messages;

namespace
{
    const juce::String exe = "Quillotone Plugin Manager.exe";
    const juce::String app = "Quillotone Plugin Manager.app";
    const juce::String appProgram = app + "/Contents/MacOS/Quillotone Plugin Manager";

    struct Folder
    {
        Folder()  { root.createDirectory(); staging.createDirectory(); }
        ~Folder() { root.deleteRecursively(); }

        juce::File root = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("quillotone-test-" + juce::Uuid().toString());
        juce::File staging = root.getChildFile ("staging");
        juce::File payload = root.getChildFile ("payload.zip");
    };

    /** Stages an archive made of the entries: "" when it was staged, else the message. */
    juce::String staged (Folder& folder, const std::vector<ZipEntrySpec>& entries, const juce::String& platform)
    {
        if (! testing_support::writeZip (folder.payload, entries))
            return "could not write the archive";

        try
        {
            SelfUpdateJob::stage ({}, folder.payload, folder.staging, platform);
            return {};
        }
        catch (const std::runtime_error& e)
        {
            return e.what();
        }
    }
}

TEST (UpdateArchive, EntryRulesAndExtraction)
{
    struct Case { const char* what; std::vector<ZipEntrySpec> entries; const char* platform; juce::String outcome; };
    const auto longTarget = juce::String::repeatedString ("a/", 2049);

    const std::vector<Case> cases = {
        { "the executable alone",          { { exe, "program" } },                                  "windows", {} },
        { "a readme beside it",            { { exe, "program" }, { "readme.txt", "hi" } },          "windows", Messages::unexpectedContents },
        { "a second entry below it",       { { exe, "program" }, { exe + "/readme", "hi" } },       "windows", Messages::unexpectedContents },
        { "no entry at all",               {},                                                      "windows", Messages::unexpectedContents },
        { "another name",                  { { "Plugin Manager.exe", "program" } },                 "windows", Messages::unexpectedContents },
        { "the name in other case",        { { exe.toLowerCase(), "program" } },                    "windows", Messages::unexpectedContents },
        { "an absolute name",              { { "/" + exe, "program" } },                            "windows", Messages::unexpectedContents },
        { "a drive",                       { { "C:" + exe, "program" } },                           "windows", Messages::unexpectedContents },
        { "a .. piece",                    { { exe + "/../" + exe, "program" } },                   "windows", Messages::unexpectedContents },
        { "a .. piece with backslashes",   { { "..\\" + exe, "program" } },                         "windows", Messages::unexpectedContents },
        { "a link",                        { { exe, "elsewhere", true } },                          "windows", Messages::unexpectedContents },
        { "a file inside a folder of the name", { { exe + "/x", "program" } },                      "windows", Messages::notExtracted },
        { "a folder of the name",          { { exe + "/", "" } },                                   "windows", Messages::notExtracted },
        { "less content than announced",   { { exe, "program", false, 100 } },                      "windows", Messages::notExtracted },

        { "a bundle",                      { { appProgram, "program" }, { app + "/Contents/Info.plist", "x" } }, "macos", {} },
        { "a bundle without its program",  { { app + "/Contents/Info.plist", "x" } },               "macos", Messages::notExtracted },
        { "a link out of the bundle",      { { appProgram, "p" }, { app + "/Contents/lib", "../../..", true } }, "macos", Messages::unexpectedContents },
        { "a link to an absolute path",    { { appProgram, "p" }, { app + "/Contents/lib", "/etc", true } },     "macos", Messages::unexpectedContents },
        { "a link to a drive",             { { appProgram, "p" }, { app + "/Contents/lib", "C:/x", true } },     "macos", Messages::unexpectedContents },
        { "an empty link",                 { { appProgram, "p" }, { app + "/Contents/lib", "", true } },         "macos", Messages::unexpectedContents },
        { "a link out, with backslashes",  { { appProgram, "p" }, { app + "/Contents/lib", "..\\..\\..", true } }, "macos", Messages::unexpectedContents },
        { "a link of 4098 bytes",          { { appProgram, "p" }, { app + "/Contents/lib", longTarget, true } }, "macos", Messages::unexpectedContents },
       #if ! JUCE_WINDOWS
        // Wine cannot make links; the rules above refuse before any is made.
        { "a link that stays inside",      { { appProgram, "p" }, { app + "/Contents/lib", "../Contents/./MacOS//", true } }, "macos", {} },
        { "a file written through a link", { { appProgram, "p" }, { app + "/Contents/lib", "MacOS", true }, { app + "/Contents/lib/evil", "x" } },
                                           "macos", Messages::unexpectedContents },
        { "a link that reaches the bundle itself", { { appProgram, "p" }, { app + "/Contents/lib", "..", true } }, "macos", {} },
       #endif
        { "a link that reaches exactly the bundle's parent", { { appProgram, "p" }, { app + "/Contents/lib", "../..", true } },
                                           "macos", Messages::unexpectedContents },
        { "the bundle itself a link",      { { app, ".", true } },                                  "macos", Messages::unexpectedContents },
        { "a link that climbs through another link", { { appProgram, "p" }, { app + "/Contents/up", "..", true }, { app + "/Contents/out", "up/..", true } },
                                           "macos", Messages::unexpectedContents },
        { "an entry over an earlier link of the same name", { { appProgram, "p" }, { app + "/Contents/lib", "MacOS", true }, { app + "/Contents/lib", "x" } },
                                           "macos", Messages::unexpectedContents },
        { "a name twice in other letter case", { { appProgram, "p" }, { app + "/contents/MacOS/Quillotone Plugin Manager", "q" } },
                                           "macos", Messages::unexpectedContents },
        { "an entry longer than its header says", { { exe, "program", false, 3 } },                 "windows", Messages::notExtracted },
        { "a deflated entry longer than its header says", { { exe, "program", false, 3, true } },   "windows", Messages::notExtracted },
        { "the executable deflated, in zip64 form", { { exe, "program", false, -1, true, 0, true } }, "windows", {} },
    };

    for (auto& c : cases)
    {
        Folder folder;
        EXPECT_EQ (staged (folder, c.entries, c.platform), c.outcome) << c.what;

        if (c.outcome.isEmpty())
        {
            const auto program = folder.staging.getChildFile (juce::String (c.platform) == "macos" ? appProgram : exe);
            EXPECT_EQ (program.loadFileAsString(), c.entries.front().content) << c.what;
        }
        else if (c.outcome == Messages::unexpectedContents)
        {
            // Refused before anything was written.
            EXPECT_EQ (folder.staging.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0) << c.what;
        }
    }

    // Not an archive at all.
    Folder folder;
    ASSERT_TRUE (folder.payload.replaceWithText ("MZ not a zip"));
    EXPECT_THROW (SelfUpdateJob::stage ({}, folder.payload, folder.staging, "windows"), std::runtime_error);
}

TEST (UpdateArchive, CountAndSizeLimits)
{
    struct Case { int entries; juce::int64 eachDeclared; bool accepted; };
    const Case cases[] = {
        { 20000, -1,          true },
        { 20001, -1,          false },
        { 2,     0x40000000,  true },       // exactly 2 GiB
        { 3,     0x2aaaaaab,  false },      // one byte over
    };

    for (auto& c : cases)
    {
        Folder folder;
        std::vector<ZipEntrySpec> entries;

        for (int i = 0; i < c.entries; ++i)
            entries.push_back ({ app + "/" + juce::String (i), "x", false, c.eachDeclared });

        ASSERT_TRUE (testing_support::writeZip (folder.payload, entries));
        const ZipReader archive (folder.payload, UpdateArchive::readerRules (true));
        EXPECT_EQ (UpdateArchive::validateArchive (archive, app), c.accepted) << c.entries << " entries";
    }
}
