#include "windows/WindowsTestSupport.h"

#include "platform/Platform.h"
#include "products/ClapVersionProbe.h"
#include "products/VersionProbe.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include <map>
#include <optional>

using WindowsVersionProbe = windows_testing::WineAwareTest;

// The fixtures come from tools/fixtures/make-pe-fixtures.sh, run on the host
// by the build.
namespace
{
    juce::File fixtures()
    {
        return windows_testing::buildFile (QUILLOTONE_FIXTURES_DIR).getChildFile ("windows");
    }

    /** What the system's version API says about an image, asked in a child
        process; nothing when the child did not finish cleanly.
    */
    std::optional<juce::String> systemFileVersion (const juce::File& image, const juce::File& scratch)
    {
        // Twice at most: under a loaded Wine a child now and then dies while
        // starting, before it reads anything; a reader that crashes on the
        // image crashes both times.
        for (int attempt = 0; attempt < 2; ++attempt)
        {
            const auto answer = scratch.getNonexistentChildFile ("answer", ".txt", false);

            if (windows_testing::runChildOfThisProgram ({ "--system-file-version", image.getFullPathName(),
                                                          answer.getFullPathName() }) == 0)
                return answer.loadFileAsString();
        }

        return std::nullopt;
    }

    // Damaged images on which Wine's version API is no reference, so the
    // portable reader alone must refuse them.
    const std::map<juce::String, juce::String> wineDiffers {
        { "corrupted/data-offset-outside-file.dll", "Wine copies from the offset without a check and faults" },
        { "corrupted/data-size-huge.dll",           "Wine copies the claimed size, reading past the mapped file" },
        { "corrupted/wrong-key.dll",                "Wine does not check the VS_VERSION_INFO key" },
        { "corrupted/block-longer-than-data.dll",   "Wine trusts the block's length over the resource's size" },
    };

    juce::StringArray expectedCalls (std::initializer_list<juce::String> calls)
    {
        juce::StringArray result;

        for (const auto& call : calls)
            result.add (call);

        return result;
    }

    /** Sets an environment variable for the life of the object. */
    struct ScopedVariable
    {
        ScopedVariable (const wchar_t* n, const juce::String& value) : name (n)
        {
            SetEnvironmentVariableW (name, value.toWideCharPointer());
        }

        ~ScopedVariable()   { SetEnvironmentVariableW (name, nullptr); }

        const wchar_t* name;
    };

    /** A copy of a Windows CLAP fixture in a folder whose name is not ASCII,
        and the log of the calls it received.
    */
    struct ClapCopy
    {
        explicit ClapCopy (const char* fixtureName)
        {
            library.getParentDirectory().createDirectory();
            EXPECT_TRUE (fixtures().getChildFile (fixtureName).copyFileTo (library));
        }

        juce::StringArray calls() const
        {
            juce::MemoryBlock bytes;
            log.loadFileAsData (bytes);

            juce::StringArray lines;
            lines.addLines (juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()), (int) bytes.getSize()));
            lines.removeEmptyStrings();
            return lines;
        }

        windows_testing::TempFolder temp;
        juce::File library = temp.folder.getChildFile (juce::String::fromUTF8 ("Pl\xc3\xbcg-ins \xe2\x9c\x93")).getChildFile ("Fixture.clap");
        juce::File log = temp.folder.getChildFile ("calls.log");
        ScopedVariable logVariable { L"QUILLOTONE_CLAP_FIXTURE_LOG", log.getFullPathName() };
    };
}

//==============================================================================
TEST_F (WindowsVersionProbe, SystemApiAndPortableReaderAgreeOnEveryImage)
{
    windows_testing::TempFolder scratch;
    auto images = fixtures().findChildFiles (juce::File::findFiles, true);
    images.sort();
    ASSERT_GE (images.size(), 40);

    int withVersion = 0;

    for (const auto& image : images)
    {
        const auto name = image.getRelativePathFrom (fixtures()).replaceCharacter ('\\', '/');
        const auto portable = VersionProbe::readFileVersion (image);
        const auto system = systemFileVersion (image, scratch.folder);

        if (windows_testing::runningUnderWine() && wineDiffers.count (name) > 0)
        {
            EXPECT_EQ (portable, "") << name;
            std::cout << name << ": Wine says " << (system ? "\"" + *system + "\"" : juce::String ("nothing, it crashed"))
                      << " (" << wineDiffers.at (name) << ")" << std::endl;
            continue;
        }

        ASSERT_TRUE (system.has_value()) << name << ": the system's reader crashed";
        EXPECT_EQ (portable, *system) << name;
        withVersion += portable.isNotEmpty() ? 1 : 0;
    }

    // Five images plus the four inside the bundles.
    EXPECT_EQ (withVersion, 9);
}

TEST_F (WindowsVersionProbe, BothReadersSeeTheAppsOwnVersion)
{
    const auto app = windows_testing::buildFile (QUILLOTONE_APP_EXECUTABLE);
    const auto expected = juce::String (QUILLOTONE_PROJECT_VERSION) + ".0";

    EXPECT_EQ (VersionProbe::readFileVersion (app), expected);
    EXPECT_EQ (platform::readSystemFileVersion (app), expected);
}

TEST_F (WindowsVersionProbe, BundlesAnswerWithThePlatformImage)
{
    EXPECT_EQ (VersionProbe::probeVersion (fixtures().getChildFile ("bundles/Fixture.vst3").getFullPathName(), VersionProbe::readClapVersion), "2.1.0.0");
    EXPECT_EQ (VersionProbe::probeVersion (fixtures().getChildFile ("bundles/Fixture.aaxplugin").getFullPathName(), VersionProbe::readClapVersion), "10.20.30.40");
}

//==============================================================================
TEST_F (WindowsVersionProbe, ClapLibraryIsAskedThroughTheSystemLoader)
{
    ClapCopy copy ("windows-clap.clap");

    // No version resource, so the probe has to load the library.
    EXPECT_EQ (VersionProbe::readFileVersion (copy.library), "");
    EXPECT_EQ (VersionProbe::probeVersion (copy.library.getFullPathName(), VersionProbe::readClapVersion), "1.0.4 beta");

    EXPECT_EQ (copy.calls(), expectedCalls ({ "load", "init " + copy.library.getFullPathName(),
                                              "get_factory clap.plugin-factory", "deinit", "unload" }));
    EXPECT_EQ (GetModuleHandleW (copy.library.getFullPathName().toWideCharPointer()), nullptr);
}

TEST_F (WindowsVersionProbe, ClapLibraryWhoseInitFailsIsUnloadedWithoutDeinit)
{
    ClapCopy copy ("windows-clap-init-fails.clap");

    EXPECT_EQ (VersionProbe::readClapVersion (copy.library), "");
    EXPECT_EQ (copy.calls(), expectedCalls ({ "load", "init " + copy.library.getFullPathName(), "unload" }));
    EXPECT_EQ (GetModuleHandleW (copy.library.getFullPathName().toWideCharPointer()), nullptr);
}

TEST_F (WindowsVersionProbe, WhatTheLoaderRefusesGivesNothing)
{
    windows_testing::TempFolder temp;
    const auto text = temp.folder.getChildFile ("Text.clap");
    ASSERT_TRUE (text.replaceWithText ("not a library"));

    EXPECT_EQ (VersionProbe::readClapVersion (text), "");
    EXPECT_EQ (VersionProbe::readClapVersion (temp.folder), "");
    EXPECT_EQ (VersionProbe::readClapVersion (temp.folder.getChildFile ("missing.clap")), "");

    // A DLL that is no CLAP library: loaded, no entry, let go.
    const auto plain = temp.folder.getChildFile ("Plain.clap");
    ASSERT_TRUE (fixtures().getChildFile ("no-resource.dll").copyFileTo (plain));
    EXPECT_EQ (VersionProbe::readClapVersion (plain), "");
    EXPECT_EQ (GetModuleHandleW (plain.getFullPathName().toWideCharPointer()), nullptr);
}

//==============================================================================
TEST_F (WindowsVersionProbe, ClapChildAnswersOrCrashesOrHangsWithoutHarm)
{
    // The test program has the probe mode too; the manager's own answers once.
    const auto self = platform::runningExecutable();

    for (auto [fixture, expected] : std::initializer_list<std::pair<const char*, const char*>> {
             { "windows-clap.clap", "1.0.4 beta" }, { "windows-clap-init-crashes.clap", "" },
             { "windows-clap-init-hangs.clap", "" }, { "windows-clap-init-fails.clap", "" } })
    {
        ClapCopy copy (fixture);
        EXPECT_EQ (ClapVersionProbe::readInChild (copy.library, self), expected) << fixture;
        EXPECT_TRUE (copy.calls().contains ("init " + copy.library.getFullPathName())) << fixture << ": the child ran it";
        EXPECT_EQ (GetModuleHandleW (copy.library.getFullPathName().toWideCharPointer()), nullptr) << fixture;

        // Nothing keeps the file: it can go at once.
        EXPECT_TRUE (copy.library.deleteFile()) << fixture;
    }

    ClapCopy copy ("windows-clap.clap");
    EXPECT_EQ (ClapVersionProbe::readInChild (copy.library, windows_testing::buildFile (QUILLOTONE_APP_EXECUTABLE)), "1.0.4 beta");
}
