// quillex, the extraction tool, run as the manager runs it on installers that
// tools/fixtures/make-installer-fixtures.py builds. The same tests run the
// Linux tool here and the Windows tool under Wine (tests/windows).

#include <gtest/gtest.h>

#include <juce_cryptography/juce_cryptography.h>

#include "account/ServiceTexts.h"

#include <map>

#ifdef _WIN32
 #include "windows/WindowsTestSupport.h"
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>
#endif

namespace
{
    juce::File buildFile (const char* hostPath)
    {
       #ifdef _WIN32
        return windows_testing::buildFile (hostPath);
       #else
        return juce::File (hostPath);
       #endif
    }

    juce::File tool()       { return buildFile (QUILLOTONE_EXTRACTION_TOOL); }
    juce::File fixtures()   { return buildFile (QUILLOTONE_FIXTURES_DIR).getChildFile ("installers"); }

    struct Sandbox
    {
        Sandbox()   { folder.createDirectory(); }
        ~Sandbox()  { folder.deleteRecursively (false); }

        // A random name: the tests run in parallel processes.
        juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getChildFile ("quillex-test-" + juce::Uuid().toDashedString());
        juce::File out = folder.getChildFile ("out");
    };

    struct Run
    {
        int exitCode = -1;
        juce::String output;

        bool isOneLine() const   { return output.trim().isNotEmpty() && ! output.trim().containsAnyOf ("\r\n"); }
    };

    /** The tool with these arguments: its exit code and everything it printed. */
    Run runTool (const juce::StringArray& arguments)
    {
        Run run;

       #ifdef _WIN32
        // Not juce::ChildProcess: Wine does not reproduce its pipes faithfully,
        // so the output goes through a file.
        auto capture = juce::File::getSpecialLocation (juce::File::tempDirectory)
                           .getChildFile ("quillex-output-" + juce::Uuid().toDashedString() + ".txt");
        SECURITY_ATTRIBUTES inherit { sizeof (inherit), nullptr, TRUE };
        auto file = CreateFileW (capture.getFullPathName().toWideCharPointer(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);

        if (file == INVALID_HANDLE_VALUE)
            return run;

        juce::String commandLine = tool().getFullPathName().quoted();

        for (auto& argument : arguments)
            commandLine << " " << argument.quoted();

        std::wstring buffer (commandLine.toWideCharPointer());
        STARTUPINFOW startup {};
        startup.cb = sizeof (startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = file;
        PROCESS_INFORMATION process {};

        // Detached: a console host would keep the capture file open after the
        // tool ended (see platform::runProcess).
        if (CreateProcessW (nullptr, buffer.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &startup, &process))
        {
            DWORD exitCode = 0;

            if (WaitForSingleObject (process.hProcess, 60000) == WAIT_OBJECT_0 && GetExitCodeProcess (process.hProcess, &exitCode))
                run.exitCode = (int) exitCode;
            else
                TerminateProcess (process.hProcess, 99);

            CloseHandle (process.hThread);
            CloseHandle (process.hProcess);
        }

        CloseHandle (file);
        run.output = capture.loadFileAsString();
        capture.deleteFile();
       #else
        juce::StringArray command { tool().getFullPathName() };
        command.addArray (arguments);
        juce::ChildProcess process;

        if (process.start (command))
        {
            run.output = process.readAllProcessOutput();

            if (process.waitForProcessToFinish (60000))
                run.exitCode = (int) process.getExitCode();
        }
       #endif

        return run;
    }

    Run extract (const juce::File& installer, const juce::File& out)
    {
        return runTool ({ "-x", installer.getFullPathName(), "-d" + out.getFullPathName(), "-q", "-y" });
    }

    /** Every file and folder below a root: relative path -> content digest, or
        "folder".
    */
    std::map<juce::String, juce::String> snapshot (const juce::File& root)
    {
        std::map<juce::String, juce::String> entries;

        for (const auto& item : juce::RangedDirectoryIterator (root, true, "*", juce::File::findFilesAndDirectories))
        {
            auto file = item.getFile();
            entries[file.getRelativePathFrom (root).replaceCharacter ('\\', '/')]
                = item.isDirectory() ? juce::String ("folder") : juce::MD5 (file).toHexString();
        }

        return entries;
    }
}

//==============================================================================
TEST (Extractor, EveryLayoutRoundTripsByteForByte)
{
    for (auto* layout : { "vst2", "vst3-bundle", "aax-bundle", "clap", "presets", "samples-in-sample-folder",
                          "samples-in-shared-documents", "other-constants", "edge-content" })
    {
        SCOPED_TRACE (layout);
        Sandbox box;
        auto tree = fixtures().getChildFile ("layouts").getChildFile (layout);
        ASSERT_TRUE (tree.isDirectory()) << tree.getFullPathName();

        auto run = extract (tree.withFileExtension ("exe"), box.out);
        EXPECT_EQ (run.exitCode, 0) << run.output;
        EXPECT_EQ (run.output, "") << "-q prints nothing on success";
        EXPECT_EQ (snapshot (box.out), snapshot (tree));
    }
}

TEST (Extractor, UnsafeEntriesAreRefusedBeforeAnythingIsWritten)
{
    const std::pair<const char*, const char*> cases[] = {
        { "absolute",                 "\"/quillex-probe/absolute.txt\" is an absolute path." },
        { "absolute-backslash",       "\"/quillex-probe/absolute.txt\" is an absolute path." },
        { "drive-letter",             "starts with a drive letter." },
        { "drive-relative",           "\"C:quillex-probe.txt\" starts with a drive letter." },
        { "dot-dot",                  "has a \"..\" piece." },
        { "dot-dot-backslash",        "has a \"..\" piece." },
        { "dot-piece",                "has an empty or \".\" piece." },
        { "empty-piece",              "has an empty or \".\" piece." },
        { "no-constant",              "\"loose.txt\" is not under a destination constant" },
        { "constant-as-file",         "\"{cf64}\" is not under a destination constant" },
        { "case-pair",                "\"{cf64}/VST3/Plugin.vst3\" and \"{cf64}/VST3/plugin.vst3\" differ only by letter case." },
        { "case-folders",             "\"{cf64}/VST3/a.txt\" and \"{cf64}/vst3/b.txt\" differ only by letter case." },
        { "case-accented",            "differ only by letter case." },
        { "twice",                    "\"{cf64}/x.txt\" appears twice." },
        { "link",                     "\"{cf64}/link\" is a link." },
        { "through-earlier-file",     "\"{cf64}/a/b.txt\" would write through the file \"{cf64}/a\"." },
        { "file-over-earlier-folder", "\"{cf64}/a/b.txt\" would write through the file \"{cf64}/a\"." },
        { "device-name",              "\"{cf64}/CON.txt\" names a Windows device." },
        { "stream-name",              "has a character that Windows does not allow in names." },
        { "trailing-dot",             "has a piece ending in a dot or a space." },
        { "control-character",        "\"{cf64}/a\\x01b.txt\" has a control character." },
        { "not-utf8",                 "\"{cf64}/\\xFF.txt\" is not valid UTF-8." },
        { "long-piece",               "has a piece longer than 255 bytes." },
        { "too-deep",                 "is nested more than 64 folders deep." },
        { "too-many-entries",         "has more than 100000 entries." },
        { "too-large",                "holds more than 16 GiB." },
    };

    for (auto& [name, complaint] : cases)
    {
        SCOPED_TRACE (name);
        Sandbox box;

        auto run = extract (fixtures().getChildFile ("unsafe").getChildFile (name).withFileExtension ("exe"), box.out);
        EXPECT_EQ (run.exitCode, 4);
        EXPECT_TRUE (run.isOneLine()) << run.output;
        EXPECT_TRUE (run.output.contains (complaint)) << run.output;

        // Not even the harmless first entry, nor the output folder itself.
        EXPECT_EQ (box.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
        EXPECT_FALSE (box.folder.getSiblingFile ("quillex-escape.txt").exists());
       #ifdef _WIN32
        EXPECT_FALSE (juce::File ("C:\\quillex-probe").exists());
       #else
        EXPECT_FALSE (juce::File ("/quillex-probe").exists());
       #endif
    }
}

TEST (Extractor, BrokenOrForeignFilesWriteNothingAtAll)
{
    struct Case { const char* name; int exitCode; const char* complaint; };
    const Case cases[] = {
        { "truncated.exe",          3, "Damaged installer: truncated.exe is truncated." },
        { "truncated-in-stub.exe",  3, "Damaged installer: truncated-in-stub.exe is truncated." },
        { "flipped-byte.exe",       3, "Damaged installer: flipped-byte.exe fails its checksum." },
        { "flipped-stub-byte.exe",  3, "Damaged installer: flipped-stub-byte.exe fails its checksum." },
        { "extended.exe",           3, "Damaged installer: extended.exe has bytes after its payload." },
        // The checksum holds, so this one is caught while writing and rolled back.
        { "bad-content.exe",        3, "\"{cf64}/Bad/last.bin\" does not unpack to its recorded content." },
        { "no-payload.exe",         2, "Not an installer: no-payload.exe carries no payload." },
        { "foreign-payload.exe",    2, "Not an installer: foreign-payload.exe carries no payload that this tool reads." },
        { "plain.zip",              2, "Not an installer: plain.zip is not a Windows program." },
        { "empty.exe",              2, "Not an installer: empty.exe is empty." },
        { "folder.exe",             2, "Not an installer: folder.exe is a folder." },
        { "missing.exe",            2, "Cannot open the installer missing.exe: " },
        { "future-version.exe",     2, "Unsupported installer: future-version.exe uses format version 2" },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Sandbox box;

        auto run = extract (fixtures().getChildFile ("damaged").getChildFile (c.name), box.out);
        EXPECT_EQ (run.exitCode, c.exitCode);
        EXPECT_TRUE (run.isOneLine()) << run.output;
        EXPECT_TRUE (run.output.contains (c.complaint)) << run.output;
        EXPECT_EQ (box.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
    }
}

TEST (Extractor, FilesInTheWayNeedYesAndLinksBelowTheOutputAreRefused)
{
    Sandbox box;
    auto installer = fixtures().getChildFile ("layouts/clap.exe");
    auto existing = box.out.getChildFile ("{cf64}/CLAP/Fixture.clap");
    ASSERT_TRUE (existing.create().wasOk() && existing.replaceWithText ("old"));

    auto refused = runTool ({ "-x", installer.getFullPathName(), "-d" + box.out.getFullPathName(), "-q" });
    EXPECT_EQ (refused.exitCode, 4);
    EXPECT_TRUE (refused.isOneLine() && refused.output.contains ("exists already (-y replaces files).")) << refused.output;
    EXPECT_EQ (existing.loadFileAsString(), "old");
    EXPECT_FALSE (box.out.getChildFile ("{cf64}/CLAP/Quillotone").exists()) << "checked before writing";

    // The output folder given as its own argument, as some callers do.
    auto replaced = runTool ({ "-x", installer.getFullPathName(), "-d", box.out.getFullPathName(), "-q", "-y" });
    EXPECT_EQ (replaced.exitCode, 0) << replaced.output;
    auto unpacked = snapshot (box.out);
    EXPECT_EQ (unpacked, snapshot (fixtures().getChildFile ("layouts/clap")));

    // A failure while writing takes back what that run wrote, and only that.
    auto failed = extract (fixtures().getChildFile ("damaged/bad-content.exe"), box.out);
    EXPECT_EQ (failed.exitCode, 3) << failed.output;
    EXPECT_EQ (snapshot (box.out), unpacked);

   #ifndef _WIN32
    // A link below the output folder would lead the writes elsewhere. (Wine
    // cannot make links, so this part runs on Linux only.)
    auto elsewhere = box.folder.getChildFile ("elsewhere");
    auto linked = box.folder.getChildFile ("linked");
    ASSERT_TRUE (elsewhere.createDirectory() && linked.createDirectory());
    ASSERT_TRUE (elsewhere.createSymbolicLink (linked.getChildFile ("{cf64}"), true));

    auto run = extract (installer, linked);
    EXPECT_EQ (run.exitCode, 4);
    EXPECT_TRUE (run.isOneLine() && run.output.contains ("{cf64} in the output folder is a link.")) << run.output;
    EXPECT_EQ (elsewhere.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
   #endif
}

TEST (Extractor, CommandLine)
{
    auto layout = fixtures().getChildFile ("layouts/vst2.exe").getFullPathName();

    struct Case { juce::StringArray arguments; int exitCode; const char* output; };
    const Case cases[] = {
        { {},                                    1, "Usage: quillex -x <installer> -d<folder>" },
        { { "-x" },                              1, "Usage:" },
        { { "-q", "-y" },                        1, "Usage:" },
        { { "-x", layout, "-t", layout },        1, "Usage:" },
        { { "--unknown" },                       1, "Usage:" },
        { { "-v" },                              0, "quillex " },
        { { "-t", layout },                      0, "vst2.exe: 2 entries, 44000 bytes, all intact" },
        { { "-l", layout },                      0, "24000  {code_GetVST264}/Fixture_x64.dll" },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.arguments.joinIntoString (" "));
        auto run = runTool (c.arguments);
        EXPECT_EQ (run.exitCode, c.exitCode);
        EXPECT_TRUE (run.output.contains (c.output)) << run.output;
    }
}

TEST (Extractor, TheManagerPinsTheToolThisBuildMade)
{
    ASSERT_TRUE (tool().existsAsFile()) << tool().getFullPathName();
    EXPECT_EQ (ServiceTexts::extractionToolDigest(), juce::SHA256 (tool()).toHexString());
    EXPECT_TRUE (ServiceTexts::extractionToolPath().endsWith ("/" + tool().getFileName()));
    EXPECT_TRUE (ServiceTexts::extractionToolURL().endsWith ("/" + tool().getFileName()));
}
