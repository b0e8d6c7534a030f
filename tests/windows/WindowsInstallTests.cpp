// The install step on Windows paths with the Windows extraction tool, and the
// file operations it relies on, under Wine.
#include <gtest/gtest.h>

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include "account/ServiceTexts.h"
#include "platform/Platform.h"
#include "products/ExtractionTool.h"
#include "products/InstallOperation.h"
#include "products/PluginPlacement.h"
#include "products/VersionProbe.h"
#include "WindowsTestSupport.h"

using windows_testing::TempFolder;

TEST (WindowsInstall, NewFilesAndRenamesNeverReplace)
{
    TempFolder temp;
    auto taken = temp.folder.getChildFile ("taken.txt"), folder = temp.folder.getChildFile ("Bundle.vst3");
    taken.replaceWithText ("mine");
    folder.getChildFile ("Contents").createDirectory();

    EXPECT_EQ (platform::NewFile::create (taken), nullptr);
    EXPECT_EQ (taken.loadFileAsString(), "mine");

    auto fresh = temp.folder.getChildFile ("fresh.txt");
    auto created = platform::NewFile::create (fresh);
    ASSERT_NE (created, nullptr);
    EXPECT_TRUE (created->write ("new", 3));
    EXPECT_TRUE (created->close());

    EXPECT_FALSE (platform::renameNoReplace (fresh, taken));
    EXPECT_EQ (taken.loadFileAsString(), "mine");
    EXPECT_TRUE (platform::renameNoReplace (folder, temp.folder.getChildFile ("Moved.vst3")));
    EXPECT_TRUE (temp.folder.getChildFile ("Moved.vst3/Contents").isDirectory());
}

TEST (WindowsInstall, InstallsAndUpdatesWithTheWindowsTool)
{
    TempFolder temp;
    InstallOperation::Plan plan;
    plan.name = "Drum Foundry";
    plan.installName = "DrumFoundry";
    plan.installerFile = juce::File (QUILLOTONE_STANDIN_CONTENT).getChildFile ("installers/DrumFoundry.zip");
    plan.installerCache = temp.folder.getChildFile ("Cache/Installers");
    plan.installerCache.createDirectory();
    plan.tool = juce::File (QUILLOTONE_EXTRACTION_TOOL);
    plan.toolDigest = ServiceTexts::extractionToolDigest();
    plan.installFlags = { false, true, true, true, true };
    plan.targets = { juce::File(), temp.folder.getChildFile ("VSTPlugins/DrumFoundry.dll"),
                     temp.folder.getChildFile ("Common Files/VST3/DrumFoundry.vst3"),
                     temp.folder.getChildFile ("Common Files/Avid/Audio/Plug-Ins/DrumFoundry.aaxplugin"),
                     temp.folder.getChildFile ("Common Files/CLAP/DrumFoundry.clap") };
    plan.presetsTarget = temp.folder.getChildFile ("Quillotone/Presets/DrumFoundry");
    plan.samplesTarget = temp.folder.getChildFile ("Quillotone/Samples/DrumFoundry");

    for (int round = 0; round < 2; ++round)
    {
        auto result = InstallOperation::run (plan, {});
        ASSERT_TRUE (result.succeeded) << result.errorMessage;

        for (auto f : PluginFormat::installable)
            EXPECT_EQ (VersionProbe::normaliseVersion (VersionProbe::probeVersion (plan.targets[f].getFullPathName(), {})), "1.5.1");
    }

    EXPECT_TRUE (plan.samplesTarget.getChildFile ("Kits").isDirectory());
    EXPECT_TRUE (temp.folder.getChildFile ("Common Files/VST3").findChildFiles (juce::File::findFilesAndDirectories, false, "*.backup.*").isEmpty());

    // A host holding the old plugin open without sharing it: kept, and said so.
    auto held = CreateFileW (plan.targets[PluginFormat::VST2].getFullPathName().toWideCharPointer(), GENERIC_READ,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE (held, INVALID_HANDLE_VALUE);
    auto refused = InstallOperation::run (plan, {});
    CloseHandle (held);
    EXPECT_EQ (refused.errorMessage, "Could not install the VST2 format for Drum Foundry. The previous version was kept.");
    EXPECT_TRUE (plan.targets[PluginFormat::VST2].existsAsFile());
}

TEST (WindowsInstall, ToolRunsLeaveNothingInTheTempFolder)
{
    // The tool's private copy and its output file live in the temp folder;
    // a console host that outlived the tool once kept the output file open,
    // so every install left a folder behind.
    TempFolder temp;
    ASSERT_TRUE (SetEnvironmentVariableW (L"TMP", temp.folder.getFullPathName().toWideCharPointer()));
    ASSERT_TRUE (SetEnvironmentVariableW (L"TEMP", temp.folder.getFullPathName().toWideCharPointer()));
    ASSERT_EQ (juce::File::getSpecialLocation (juce::File::tempDirectory), temp.folder);

    const auto tool = windows_testing::buildFile (QUILLOTONE_EXTRACTION_TOOL);
    auto outcome = ExtractionTool::run (tool, ServiceTexts::extractionToolDigest(), tool,
                                        temp.folder.getChildFile ("Expand"), {});

    EXPECT_EQ (outcome.kind, ExtractionTool::Outcome::exited);
    EXPECT_EQ (outcome.exitCode, 2) << outcome.output;
    EXPECT_TRUE (outcome.output.isNotEmpty());
    EXPECT_EQ (temp.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
}
