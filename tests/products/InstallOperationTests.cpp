// The install step on the demo catalogue's real archives, with the build's
// own extraction tool, and each way it can fail or be stopped.
#include <gtest/gtest.h>

#include "account/ServiceTexts.h"
#include "products/ExtractionTool.h"
#include "products/InstallOperation.h"
#include "products/InstallerArchive.h"
#include "products/VersionProbe.h"
#include "support/TestHelpers.h"
#include "support/ZipMaker.h"

#include <juce_cryptography/juce_cryptography.h>

using testing_support::TempFolder;
using testing_support::ZipEntrySpec;

namespace
{
    juce::File demoArchive (const char* name)
    {
        return juce::File (QUILLOTONE_STANDIN_CONTENT).getChildFile ("installers").getChildFile (name);
    }

    struct Install
    {
        explicit Install (const juce::String& productName, const char* archive = nullptr)
        {
            plan.name = productName;
            plan.installName = productName.removeCharacters (" ");
            plan.installerCache = temp.folder.getChildFile ("cache/Installers");
            plan.installerFile = archive != nullptr ? demoArchive (archive) : juce::File();
            plan.tool = juce::File (QUILLOTONE_EXTRACTION_TOOL);
            plan.toolDigest = ServiceTexts::extractionToolDigest();
            plan.installFlags = { false, true, true, true, true };

            const char* extensions[] = { "", ".dll", ".vst3", ".aaxplugin", ".clap" };

            for (int f = PluginFormat::VST2; f < PluginFormat::count; ++f)
                plan.targets[(size_t) f] = temp.folder.getChildFile ("plugins/" + PluginFormat::name ((PluginFormat::Format) f))
                                               .getChildFile (plan.installName + extensions[f]);

            plan.legacyClapTarget = temp.folder.getChildFile ("plugins/CLAP/Quillotone").getChildFile (plan.installName + ".clap");
            plan.presetsTarget = temp.folder.getChildFile ("Quillotone/Presets").getChildFile (plan.installName);
            plan.samplesTarget = temp.folder.getChildFile ("Samples").getChildFile (plan.installName);
            plan.installerCache.createDirectory();

            hooks.setProgress = [this] (double p) { steps.add (p); };
            hooks.shouldStop = [this] { return stopAfter >= 0 && juce::Time::getMillisecondCounter() > stopAfter; };
        }

        InstallOperation::Result run()      { return InstallOperation::run (plan, hooks); }

        juce::String versionOf (PluginFormat::Format f) const
        {
            return VersionProbe::normaliseVersion (VersionProbe::probeVersion (plan.targets[f].getFullPathName(), {}));
        }

        TempFolder temp;
        InstallOperation::Plan plan;
        InstallOperation::Hooks hooks;
        juce::Array<double> steps;
        juce::int64 stopAfter = -1;
    };

    juce::File archiveWith (const juce::File& folder, const juce::String& entryName, const juce::String& content,
                            bool asLink = false)
    {
        auto archive = folder.getChildFile ("made.zip");
        juce::ZipFile::Builder builder;
        auto source = folder.getChildFile ("entry-source");
        source.replaceWithText (content);

        if (asLink)
        {
            source.deleteFile();
            juce::File ("/etc/hostname").createSymbolicLink (source, true);
        }

        builder.addFile (source, 9, entryName);
        juce::FileOutputStream out (archive);
        builder.writeToStream (out, nullptr);
        return archive;
    }
}

TEST (InstallOperation, PlacesEveryFormatAndTheContentThenUpdatesCleanly)
{
    Install install ("Drum Foundry", "DrumFoundry.zip");
    install.plan.presetsTarget.getChildFile ("Mine.qpreset").create();

    auto result = install.run();
    ASSERT_TRUE (result.succeeded) << result.errorMessage;
    EXPECT_EQ (result.errorMessage, "");

    for (auto f : PluginFormat::installable)
        EXPECT_EQ (install.versionOf (f), "1.5.1") << PluginFormat::name (f);

    EXPECT_TRUE (install.plan.samplesTarget.getChildFile ("Kits/Kit 110 Hz.wav").existsAsFile());
    EXPECT_TRUE (install.plan.presetsTarget.getChildFile ("Mine.qpreset").existsAsFile());
    EXPECT_GT (install.plan.presetsTarget.findChildFiles (juce::File::findFiles, true).size(), 1);
    EXPECT_FALSE (InstallOperation::workFolderOf (install.plan).exists());
    EXPECT_TRUE (install.plan.installerFile.existsAsFile());

    // Unpacked, tool, four formats, presets, samples: 0.025 each from 0.7.
    const juce::Array<double> expected { 0.7, 0.725, 0.75, 0.775, 0.8, 0.825, 0.85, 0.875, 0.9, 1.0 };
    ASSERT_EQ (install.steps.size(), expected.size());

    for (int i = 0; i < expected.size(); ++i)
        EXPECT_NEAR (install.steps[i], expected[i], 1e-9) << i;

    // The same again is an update: swapped in, nothing left under staging names.
    install.steps.clear();
    ASSERT_TRUE (install.run().succeeded);

    for (const auto& entry : juce::RangedDirectoryIterator (install.temp.folder.getChildFile ("plugins"), true, "*",
                                                            juce::File::findFilesAndDirectories))
        EXPECT_FALSE (entry.getFile().getFileName().containsAnyOf ("~") || entry.getFile().getFileName().contains (".pending.")
                      || entry.getFile().getFileName().contains (".backup.")) << entry.getFile().getFullPathName();
}

TEST (InstallOperation, EachFailureSaysWhatAndLeavesNoWorkFolder)
{
    struct Case
    {
        const char* what;
        std::function<void (Install&)> arrange;
        juce::String expected;
    };

    const Case cases[] = {
        { "no archive", [] (Install&) {}, "The installer for Big Room Verb could not be found." },
        { "no program in the archive", [] (Install& i) { i.plan.installerFile = archiveWith (i.temp.folder, "readme.txt", "hi"); },
          "Could not find the Windows installer executable for Big Room Verb." },
        { "a link entry", [] (Install& i) { i.plan.installerFile = archiveWith (i.temp.folder, "Setup.exe", "", true); },
          "Entry Setup.exe is a link, which an installer archive may not hold" },
        { "an entry leaving the folder", [] (Install& i) { i.plan.installerFile = archiveWith (i.temp.folder, "../../evil.exe", "x"); },
          "Entry ../../evil.exe is outside the target directory" },
        { "a tool that is not the pinned one", [] (Install& i) { i.plan.installerFile = demoArchive ("BigRoomVerb.zip"); i.plan.toolDigest = "0123"; },
          "Could not extract the Windows installer for Big Room Verb." },
        { "a program that is no installer", [] (Install& i) { i.plan.installerFile = archiveWith (i.temp.folder, "Setup.exe", "MZ not really"); },
          "<the tool's line>" },
        { "a folder that cannot be made", [] (Install& i) { i.plan.installerFile = demoArchive ("BigRoomVerb.zip");
                                                             i.plan.targets[PluginFormat::VST2].getParentDirectory().getParentDirectory().deleteRecursively();
                                                             i.plan.targets[PluginFormat::VST2].getParentDirectory().getParentDirectory().replaceWithText ("file"); },
          "Could not create the VST2 folder for Big Room Verb." },
        { "samples with no samples folder", [] (Install& i) { i.plan.installerFile = demoArchive ("DrumFoundry.zip");
                                                               i.plan.installName = "DrumFoundry"; i.plan.samplesTarget = juce::File(); },
          "The folder for samples in Settings is empty or not a full path, so Big Room Verb was not installed. "
          "Choose a folder in Settings." },
        { "a format the installer lacks", [] (Install& i) { i.plan.installerFile = demoArchive ("BigRoomVerb.zip"); i.plan.installName = "Nothing"; },
          "Could not install the VST2 format for Big Room Verb." },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Install install ("Big Room Verb");
        c.arrange (install);
        auto result = install.run();

        EXPECT_FALSE (result.succeeded);

        if (c.expected == "<the tool's line>")
        {
            // The tool's complaint, shown as it said it: one line.
            EXPECT_TRUE (result.errorMessage.isNotEmpty());
            EXPECT_FALSE (result.errorMessage.containsAnyOf ("\r\n"));
            EXPECT_NE (result.errorMessage, "Could not extract the Windows installer for Big Room Verb.");
        }
        else
        {
            EXPECT_EQ (result.errorMessage, c.expected);
        }

        EXPECT_FALSE (InstallOperation::workFolderOf (install.plan).exists());
        EXPECT_FALSE (install.plan.targets[PluginFormat::VST3].exists());
        EXPECT_EQ (install.steps.getLast(), 1.0);
    }
}

TEST (InstallOperation, AnArchiveNamedLikeTheProductIsNotItsWorkFolder)
{
    Install install ("Drum Foundry");
    install.plan.installerFile = install.plan.installerCache.getChildFile ("DrumFoundry");
    ASSERT_TRUE (demoArchive ("DrumFoundry.zip").copyFileTo (install.plan.installerFile));

    const auto result = install.run();
    EXPECT_TRUE (result.succeeded) << result.errorMessage;
    EXPECT_TRUE (install.plan.installerFile.existsAsFile());
    EXPECT_FALSE (InstallOperation::workFolderOf (install.plan).exists());
}

TEST (InstallOperation, StopsWhileTheToolRunsOrTakesTooLong)
{
    // A tool that never ends: terminated on a stop, silently, or at the limit.
    TempFolder scripts;
    auto hanging = scripts.folder.getChildFile ("hanging-tool");
    hanging.replaceWithText ("#!/bin/sh\nsleep 60\n", false, false, "\n");
    auto digest = juce::SHA256 (hanging).toHexString();

    for (auto stop : { true, false })
    {
        SCOPED_TRACE (stop ? "stop" : "time limit");
        Install install ("Big Room Verb", "BigRoomVerb.zip");
        install.plan.tool = hanging;
        install.plan.toolDigest = digest;
        install.hooks.toolTimeLimitMs = stop ? 60000 : 700;

        if (stop)
            install.stopAfter = juce::Time::getMillisecondCounter() + 700;

        auto started = juce::Time::getMillisecondCounter();
        auto result = install.run();

        EXPECT_LT (juce::Time::getMillisecondCounter() - started, 3000u);
        EXPECT_FALSE (result.succeeded);
        EXPECT_EQ (result.errorMessage, stop ? juce::String() : "Could not extract the Windows installer for Big Room Verb.");
        EXPECT_FALSE (InstallOperation::workFolderOf (install.plan).exists());
        EXPECT_FALSE (install.plan.targets[PluginFormat::VST2].exists());
    }
}

//==============================================================================
namespace
{
    constexpr juce::int64 GiB = (juce::int64) 1 << 30;

    juce::int64 plenty (const juce::File&)   { return (juce::int64) 1 << 50; }

    bool isEmptyFolder (const juce::File& folder)
    {
        return folder.isDirectory() && folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories) == 0;
    }
}

TEST (InstallerArchive, RefusesBeforeAnythingIsLeft)
{
    struct Case
    {
        const char* what;
        std::vector<ZipEntrySpec> entries;
        juce::String errorStart;
        juce::int64 freeBytes = (juce::int64) 1 << 50;
    };

    std::vector<ZipEntrySpec> shared { { "Setup.exe", "MZ" } }, overCap;

    for (int i = 0; i < 200; ++i)
        shared.push_back ({ "copy" + juce::String (i) + ".exe", "MZ", false, -1, false, 0, false, 0 });

    for (int i = 0; i < 5; ++i)
        overCap.push_back ({ "part" + juce::String (i), "x", false, 4 * GiB });

    const Case cases[] = {
        { "200 names for one local entry",   shared,                                                 "Entry copy0.exe shares its data with another entry" },
        { "an entry inside another's data",  { { "a.bin", "aaaa", false, -1, false, 0, false, -1, true }, { "Setup.exe", "MZ" } },
                                             "Entry Setup.exe shares its data with another entry" },
        { "an entry inflating past its size", { { "Setup.exe", juce::String::repeatedString ("MZ", 4000), false, 6000, true } },
                                             "Entry Setup.exe holds more than it says" },
        { "entries together past the cap",   overCap,                                                "The archive's entries hold more than 16" },
        { "a name twice, in other case",     { { "Setup.exe", "MZ" }, { "SETUP.EXE", "MZ" } },      "Entry SETUP.EXE appears twice in the archive" },
        { "a file below a file",             { { "Setup.exe", "MZ" }, { "Setup.exe/x", "MZ" } },    "Entry Setup.exe/x appears twice in the archive" },
        { "no room on the volume",           { { "Setup.exe", {}, false, -1, false, 100 << 20 } },  "There is not enough free disk space", 150 << 20 },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TempFolder temp;
        const auto archive = temp.folder.getChildFile ("made.zip");
        const auto work = temp.folder.getChildFile ("work");
        ASSERT_TRUE (testing_support::writeZip (archive, c.entries));
        ASSERT_TRUE (work.createDirectory());

        const auto free = c.freeBytes;
        const auto outcome = InstallerArchive::unpack (archive, work, nullptr, [free] (const juce::File&) { return free; });

        EXPECT_FALSE (outcome.succeeded);
        EXPECT_TRUE (outcome.error.startsWith (c.errorStart)) << outcome.error;
        EXPECT_TRUE (isEmptyFolder (work));
    }
}

TEST (InstallerArchive, ReadsZip64)
{
    struct Case { const char* what; ZipEntrySpec entry; juce::int64 gapBefore; };
    const auto program = "MZ" + juce::String::repeatedString ("installer ", 5000);

    const Case cases[] = {
        { "deflated, sizes in zip64 fields", { "Setup.exe", program, false, -1, true, 0, true }, 0 },
        // A sparse hole: the entry's own offset needs zip64.
        { "stored, 4 GiB into the file",     { "Setup.exe", program },                           4 * GiB + 7 },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TempFolder temp;
        const auto archive = temp.folder.getChildFile ("made.zip");
        ASSERT_TRUE (testing_support::writeZip (archive, { c.entry }, c.gapBefore));

        const auto outcome = InstallerArchive::unpack (archive, temp.folder, nullptr, plenty);
        EXPECT_TRUE (outcome.succeeded) << outcome.error;
        EXPECT_EQ (temp.folder.getChildFile ("Setup.exe").loadFileAsString(), program);
    }
}

TEST (InstallerArchive, StopEndsOneLargeEntryAtOnce)
{
    // 6 GiB of zeros in about 6 MB of zip64 archive.
    TempFolder temp;
    const auto archive = temp.folder.getChildFile ("made.zip");
    const auto work = temp.folder.getChildFile ("work");
    ASSERT_TRUE (testing_support::writeZip (archive, { { "Setup.exe", {}, false, -1, true, 6 * GiB } }));
    ASSERT_TRUE (work.createDirectory());

    // Asked only once the entry is well under way, so the stop lands inside it.
    juce::uint32 askedAt = 0;
    const auto shouldStop = [&]
    {
        if (askedAt == 0 && work.getChildFile ("Setup.exe").getSize() > (32 << 20))
            askedAt = juce::Time::getMillisecondCounter();

        return askedAt != 0;
    };

    const auto outcome = InstallerArchive::unpack (archive, work, shouldStop, plenty);

    ASSERT_NE (askedAt, 0u);
    EXPECT_TRUE (outcome.stopped);
    EXPECT_LT (juce::Time::getMillisecondCounter() - askedAt, 500u);
    EXPECT_TRUE (isEmptyFolder (work));
}

TEST (InstallOperation, ACLAPFolderThatIsTheOldPlaceKeepsTheFreshPlugin)
{
    // The CLAP folder set to .../CLAP/Quillotone, spelled as the old place or
    // reached through a link to it: one place, so nothing goes to the trash.
    for (auto throughLink : { false, true })
    {
        SCOPED_TRACE (throughLink ? "through a link" : "the same path");
        Install install ("Big Room Verb", "BigRoomVerb.zip");
        const auto old = install.plan.legacyClapTarget;
        ASSERT_TRUE (old.getParentDirectory().createDirectory());
        auto& target = install.plan.targets[PluginFormat::CLAP];
        target = old;

        if (throughLink)
        {
            const auto link = install.temp.folder.getChildFile ("plugins/MyClap");
            ASSERT_TRUE (old.getParentDirectory().createSymbolicLink (link, true));
            target = link.getChildFile (old.getFileName());
        }

        install.hooks.moveToTrash = [] (const juce::File& f) { return f.deleteRecursively(); };
        const auto result = install.run();
        ASSERT_TRUE (result.succeeded) << result.errorMessage;
        EXPECT_TRUE (old.exists());
    }
}

TEST (ExtractionTool, RunsAPrivateCopyOfTheBytesItChecked)
{
    TempFolder temp;
    const auto cached = temp.folder.getChildFile ("quillex"), marker = temp.folder.getChildFile ("swapped-tool-ran");
    const auto installer = temp.folder.getChildFile ("Setup.exe");
    ASSERT_TRUE (juce::File (QUILLOTONE_EXTRACTION_TOOL).copyFileTo (cached));
    installer.replaceWithText ("not an installer");

    // Another account replaces the cached tool right after the check.
    auto swap = [&]
    {
        cached.replaceWithText ("#!/bin/sh\ntouch '" + marker.getFullPathName() + "'\n", false, false, "\n");
        cached.setExecutePermission (true);
    };

    const auto outcome = ExtractionTool::run (cached, juce::SHA256 (cached).toHexString(), installer,
                                              temp.folder.getChildFile ("out"), {}, 20000, swap);
    EXPECT_EQ (outcome.kind, ExtractionTool::Outcome::exited);
    EXPECT_EQ (outcome.exitCode, 2) << outcome.output;
    EXPECT_FALSE (marker.exists());
}
