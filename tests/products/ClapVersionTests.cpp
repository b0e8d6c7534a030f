#include <gtest/gtest.h>

#include "products/ClapVersionProbe.h"
#include "products/VersionProbe.h"
#include "platform/Platform.h"
#include "support/TestHelpers.h"

#include <cstdlib>

// The libraries come from tests/fixtures/ClapFixture.cpp, one build per way a
// library can let the probe down. Each appends its calls, load and unload to
// the file QUILLOTONE_CLAP_FIXTURE_LOG names.
namespace
{
    /** A copy of one fixture variant in a fresh folder, with its call log. */
    struct ClapFixture
    {
        explicit ClapFixture (const juce::String& variant, const juce::String& folderName = "plugins")
        {
            const auto built = juce::File (QUILLOTONE_FIXTURES_DIR).getChildFile ("clap").getChildFile (variant + ".clap");
            EXPECT_TRUE (built.existsAsFile()) << built.getFullPathName();

            library = temp.folder.getChildFile (folderName).getChildFile ("Fixture.clap");
            library.getParentDirectory().createDirectory();
            EXPECT_TRUE (built.copyFileTo (library));

            ::setenv ("QUILLOTONE_CLAP_FIXTURE_LOG", log.getFullPathName().toRawUTF8(), 1);
        }

        ~ClapFixture()  { ::unsetenv ("QUILLOTONE_CLAP_FIXTURE_LOG"); }

        juce::StringArray calls() const
        {
            juce::StringArray lines;
            lines.addLines (juce::String::fromUTF8 (static_cast<const char*> (readLog().getData()), (int) readLog().getSize()));
            lines.removeEmptyStrings();
            return lines;
        }

        juce::MemoryBlock readLog() const
        {
            juce::MemoryBlock block;
            log.loadFileAsData (block);
            return block;
        }

        juce::String initCall() const   { return "init " + library.getFullPathName(); }

        testing_support::TempFolder temp;
        juce::File library;
        juce::File log = temp.folder.getChildFile ("calls.log");
    };

    const juce::String factoryCall = "get_factory clap.plugin-factory";

    juce::StringArray expectedCalls (std::initializer_list<juce::String> calls)
    {
        juce::StringArray result;

        for (const auto& call : calls)
            result.add (call);

        return result;
    }
}

//==============================================================================
TEST (ClapVersion, ProbeAsksTheFirstPluginThenLetsTheLibraryGo)
{
    ClapFixture fixture ("ok");
    const auto version = VersionProbe::probeVersion (fixture.library.getFullPathName(), VersionProbe::readClapVersion);

    EXPECT_EQ (version, "1.0.4 beta");
    EXPECT_EQ (VersionProbe::normaliseVersion (version), "1.0.4");
    EXPECT_EQ (fixture.calls(), expectedCalls ({ "load", fixture.initCall(), factoryCall, "deinit", "unload" }));
}

TEST (ClapVersion, VersionTextIsTrimmed)
{
    ClapFixture fixture ("padded-version");
    EXPECT_EQ (VersionProbe::readClapVersion (fixture.library), "1.0.4 beta");
}

TEST (ClapVersion, InitIsCalledOnlyWhenTheEntryHasOne)
{
    ClapFixture fixture ("no-init");
    EXPECT_EQ (VersionProbe::readClapVersion (fixture.library), "1.0.4 beta");
    EXPECT_EQ (fixture.calls(), expectedCalls ({ "load", factoryCall, "deinit", "unload" }));
}

TEST (ClapVersion, InitGetsTheFullPathInUtf8)
{
    ClapFixture fixture ("ok", juce::String::fromUTF8 ("Pl\xc3\xbcg-ins \xe2\x9c\x93"));
    EXPECT_EQ (VersionProbe::readClapVersion (fixture.library), "1.0.4 beta");

    const auto expected = "load\ninit " + fixture.library.getFullPathName() + "\n";
    const auto log = fixture.readLog();
    ASSERT_GE (log.getSize(), expected.getNumBytesAsUTF8());
    EXPECT_EQ (juce::MemoryBlock (log.getData(), expected.getNumBytesAsUTF8()),
               juce::MemoryBlock (expected.toRawUTF8(), expected.getNumBytesAsUTF8()));
}

//==============================================================================
TEST (ClapVersion, FailedInitIsNeverFollowedByDeinit)
{
    ClapFixture fixture ("init-fails");
    EXPECT_EQ (VersionProbe::readClapVersion (fixture.library), "");
    EXPECT_EQ (fixture.calls(), expectedCalls ({ "load", fixture.initCall(), "unload" }));
}

TEST (ClapVersion, EveryLaterFailureStillDeinitialisesAndUnloads)
{
    for (const auto* variant : { "no-plugin-factory", "incomplete-factory", "no-plugins", "null-descriptor", "null-version" })
    {
        ClapFixture fixture (variant);
        EXPECT_EQ (VersionProbe::readClapVersion (fixture.library), "") << variant;
        EXPECT_EQ (fixture.calls(), expectedCalls ({ "load", fixture.initCall(), factoryCall, "deinit", "unload" })) << variant;
    }

    ClapFixture withoutFactory ("no-get-factory");
    EXPECT_EQ (VersionProbe::readClapVersion (withoutFactory.library), "");
    EXPECT_EQ (withoutFactory.calls(), expectedCalls ({ "load", withoutFactory.initCall(), "deinit", "unload" }));
}

TEST (ClapVersion, LibraryWithoutEntryIsUnloadedUntouched)
{
    ClapFixture fixture ("no-entry");
    EXPECT_EQ (VersionProbe::probeVersion (fixture.library.getFullPathName(), VersionProbe::readClapVersion), "");
    EXPECT_EQ (fixture.calls(), expectedCalls ({ "load", "unload" }));
}

TEST (ClapVersion, WhatCannotBeLoadedGivesNothing)
{
    testing_support::TempFolder temp;
    const auto text = temp.folder.getChildFile ("Text.clap");
    ASSERT_TRUE (text.replaceWithText ("not a library"));

    EXPECT_EQ (VersionProbe::readClapVersion (text), "");
    EXPECT_EQ (VersionProbe::readClapVersion (temp.folder), "");
    EXPECT_EQ (VersionProbe::readClapVersion (temp.folder.getChildFile ("missing.clap")), "");
    EXPECT_EQ (VersionProbe::readClapVersion (juce::File()), "");

    // A Windows library here: no loader takes it, and it has no version resource.
    const auto windowsClap = juce::File (QUILLOTONE_FIXTURES_DIR).getChildFile ("windows/windows-clap.clap");
    ASSERT_TRUE (windowsClap.existsAsFile());
    EXPECT_EQ (VersionProbe::probeVersion (windowsClap.getFullPathName(), VersionProbe::readClapVersion), "");
}

//==============================================================================
// The manager never loads a CLAP library itself: a child of the running
// program (here the test program, which has the same probe mode) does.
TEST (ClapProbeChild, CrashesHangsAndFailuresReadAsNoVersion)
{
    const auto self = platform::runningExecutable();

    for (auto [variant, expected] : std::initializer_list<std::pair<const char*, const char*>> {
             { "ok", "1.0.4 beta" }, { "init-crashes", "" }, { "init-hangs", "" }, { "init-fails", "" }, { "no-entry", "" } })
    {
        ClapFixture fixture (variant);
        EXPECT_EQ (ClapVersionProbe::readInChild (fixture.library, self), expected) << variant;

        // The library's code ran, in the child.
        EXPECT_TRUE (fixture.calls().contains ("load")) << variant;
    }

    testing_support::TempFolder temp;
    EXPECT_EQ (ClapVersionProbe::readInChild (temp.folder.getChildFile ("missing.clap"), self), "");
}

TEST (ClapProbeChild, TheManagersOwnExecutableAnswers)
{
    // Its main() must take the probe mode before the application starts.
    ClapFixture fixture ("ok");
    EXPECT_EQ (ClapVersionProbe::readInChild (fixture.library, juce::File (QUILLOTONE_APP_EXECUTABLE)), "1.0.4 beta");
}

TEST (ClapProbeChild, AnswersAreCachedUntilTheFileChanges)
{
    ClapFixture fixture ("ok");
    auto& probe = *ClapVersionProbe::getInstance();

    EXPECT_FALSE (probe.cachedVersion (fixture.library).has_value());
    EXPECT_EQ (probe.versionNow (fixture.library), "1.0.4 beta");
    EXPECT_EQ (probe.versionNow (fixture.library), "1.0.4 beta");
    const auto calls = fixture.calls();
    EXPECT_EQ (std::count (calls.begin(), calls.end(), juce::String ("load")), 1) << "asked once";

    // Replaced by a build that hangs: a new file, asked again, and no version.
    const auto hangs = juce::File (QUILLOTONE_FIXTURES_DIR).getChildFile ("clap/init-hangs.clap");
    ASSERT_TRUE (hangs.copyFileTo (fixture.library));
    EXPECT_FALSE (probe.cachedVersion (fixture.library).has_value());
    EXPECT_EQ (probe.versionNow (fixture.library), "");
    EXPECT_EQ (probe.cachedVersion (fixture.library), juce::String());
}
