// quillex, the extraction tool, run as the manager runs it on installers that
// tools/fixtures/make-installer-fixtures.py builds. The same tests run the
// Linux tool here and the Windows tool under Wine (tests/windows).

#include <gtest/gtest.h>

#include <juce_cryptography/juce_cryptography.h>

#include "account/ServiceTexts.h"

#include <map>

#ifndef _WIN32
 #include <sys/resource.h>
 #include <sys/socket.h>
 #include <sys/stat.h>
 #include <sys/un.h>
 #include <unistd.h>
#endif

#ifdef _WIN32
 #include "windows/WindowsTestSupport.h"
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>
 #include <psapi.h>
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
        std::uint64_t peakBytes = 0;    // the tool's largest memory use

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

            // Sampled while it runs: Wine forgets the figures once it ended.
            auto waited = WAIT_TIMEOUT;

            for (int i = 0; i < 3000 && waited == WAIT_TIMEOUT; ++i)
            {
                waited = WaitForSingleObject (process.hProcess, 20);
                PROCESS_MEMORY_COUNTERS memory {};

                if (GetProcessMemoryInfo (process.hProcess, &memory, sizeof (memory)))
                    run.peakBytes = std::max<std::uint64_t> ({ run.peakBytes, memory.PeakWorkingSetSize, memory.WorkingSetSize,
                                                               memory.PeakPagefileUsage });
            }

            if (waited == WAIT_OBJECT_0 && GetExitCodeProcess (process.hProcess, &exitCode))
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

        // Each test runs in a process of its own, so the children are the tool's runs.
        rusage usage {};

        if (getrusage (RUSAGE_CHILDREN, &usage) == 0)
            run.peakBytes = (std::uint64_t) usage.ru_maxrss * 1024;
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
                          "samples-in-shared-documents", "other-constants", "edge-content", "at-the-limits" })
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
        { "one-past-the-depth",       "is nested more than 64 folders deep." },
        { "encoded-surrogate",        "\"{cf64}/\\xED\\xA0\\x80.txt\" is not valid UTF-8." },
        { "trailing-space",           "\"{cf64}/name \" has a piece ending in a dot or a space." },
        { "c1-control",               "\"{cf64}/a\\u0085b.txt\" has a control character." },
        { "bidi-override",            "\"{cf64}/report\\u202Etxt.exe\" has a control character." },
        { "device-com0",              "\"{cf64}/COM0\" names a Windows device." },
        { "device-superscript",       "names a Windows device." },
        { "device-superscript-two",   "names a Windows device." },
        { "case-fullwidth",           "differ only by letter case." },
        { "case-armenian",            "differ only by letter case." },
        { "case-latin-extended-b",    "differ only by letter case." },
        { "case-final-sigma",         "differ only by letter case." },
        { "case-roman-numeral",       "differ only by letter case." },
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
        { "overlapping.exe",        3, "Damaged installer: overlapping.exe has a malformed directory." },
        { "deflate-trailing-bytes.exe", 3, "\"{cf64}/Bad/trailing.bin\" does not unpack to its recorded content." },
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

TEST (Extractor, ReplacingWritesANewFileAndAFailedRunPutsTheOldOneBack)
{
    Sandbox box;
    auto outside = box.folder.getChildFile ("outside.dll");
    ASSERT_TRUE (outside.replaceWithText ("not the tool's"));

    // -y over a hard link to a file outside the output folder.
    auto linked = box.out.getChildFile ("{code_GetVST264}/Fixture.dll");
    ASSERT_TRUE (linked.getParentDirectory().createDirectory());
   #ifdef _WIN32
    ASSERT_TRUE (CreateHardLinkW (linked.getFullPathName().toWideCharPointer(), outside.getFullPathName().toWideCharPointer(), nullptr));
   #else
    ASSERT_EQ (::link (outside.getFullPathName().toRawUTF8(), linked.getFullPathName().toRawUTF8()), 0);
   #endif

    auto run = extract (fixtures().getChildFile ("layouts/vst2.exe"), box.out);
    EXPECT_EQ (run.exitCode, 0) << run.output;
    EXPECT_EQ (outside.loadFileAsString(), "not the tool's");
    EXPECT_EQ (juce::MD5 (linked).toHexString(), juce::MD5 (fixtures().getChildFile ("layouts/vst2/{code_GetVST264}/Fixture.dll")).toHexString());

    // A file the run replaced before it failed comes back as it was.
    auto foreign = box.out.getChildFile ("{cf64}/Good/first.txt");
    ASSERT_TRUE (foreign.create().wasOk() && foreign.replaceWithText ("someone else's"));
    auto before = snapshot (box.out);

    auto failed = extract (fixtures().getChildFile ("damaged/bad-content.exe"), box.out);
    EXPECT_EQ (failed.exitCode, 3) << failed.output;
    EXPECT_EQ (foreign.loadFileAsString(), "someone else's");
    EXPECT_EQ (snapshot (box.out), before);
}

#ifndef _WIN32
// Wine can make neither links nor FIFOs, so these run on Linux only.
TEST (Extractor, AFolderSwappedForALinkMidRunLeadsNowhere)
{
    Sandbox box;
    auto victim = box.folder.getChildFile ("victim");
    ASSERT_TRUE (victim.getChildFile ("first.txt").create().wasOk() && victim.getChildFile ("first.txt").replaceWithText ("keep"));
    auto base = box.folder.getChildFile ("hook").getFullPathName();

    // The run pauses after its first file; the folder it wrote that file into
    // goes elsewhere and a link to the victim takes its place. The last entry
    // then fails, and the rollback must not follow the link.
    ::setenv ("QUILLEX_TEST_PAUSE", ("1:" + base).toRawUTF8(), 1);
    juce::ChildProcess process;
    ASSERT_TRUE (process.start (juce::StringArray { tool().getFullPathName(), "-x",
                                                    fixtures().getChildFile ("damaged/bad-content.exe").getFullPathName(),
                                                    "-d" + box.out.getFullPathName(), "-q", "-y" }));
    ::unsetenv ("QUILLEX_TEST_PAUSE");

    for (int i = 0; i < 1000 && ! juce::File (base + ".paused").exists(); ++i)
        juce::Thread::sleep (10);

    ASSERT_TRUE (juce::File (base + ".paused").exists());
    auto good = box.out.getChildFile ("{cf64}/Good");
    ASSERT_TRUE (good.moveFileTo (box.folder.getChildFile ("moved")));
    ASSERT_TRUE (victim.createSymbolicLink (good, true));
    ASSERT_TRUE (juce::File (base + ".go").create().wasOk());

    auto output = process.readAllProcessOutput();
    ASSERT_TRUE (process.waitForProcessToFinish (60000));
    EXPECT_EQ (process.getExitCode(), 3u) << output;
    EXPECT_EQ (victim.getChildFile ("first.txt").loadFileAsString(), "keep");
    EXPECT_EQ (victim.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}

TEST (Extractor, OnlyARegularFileIsOpenedAsTheInstaller)
{
    Sandbox box;
    auto fifo = box.folder.getChildFile ("fifo.exe");
    auto link = box.folder.getChildFile ("link.exe");
    auto socketFile = box.folder.getChildFile ("socket.exe");
    ASSERT_EQ (::mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);
    ASSERT_TRUE (fixtures().getChildFile ("layouts/vst2.exe").createSymbolicLink (link, true));

    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    socketFile.getFullPathName().copyToUTF8 (address.sun_path, sizeof (address.sun_path));
    auto listener = ::socket (AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ (::bind (listener, reinterpret_cast<sockaddr*> (&address), sizeof (address)), 0);

    const std::pair<juce::String, const char*> cases[] = {
        { fifo.getFullPathName(),       "Not an installer: fifo.exe is not a file." },
        { socketFile.getFullPathName(), "Not an installer: socket.exe is not a file." },
        { "/dev/zero",                  "Not an installer: zero is not a file." },
        { link.getFullPathName(),       "Not an installer: link.exe is a link." },
    };

    for (auto& [path, complaint] : cases)
    {
        SCOPED_TRACE (path);
        auto run = extract (juce::File (path), box.out);
        EXPECT_EQ (run.exitCode, 2);
        EXPECT_TRUE (run.isOneLine() && run.output.contains (complaint)) << run.output;
    }

    ::close (listener);
}
#endif

TEST (Extractor, TheLargestDirectoryIsCheckedInBoundedMemory)
{
    auto run = runTool ({ "-t", fixtures().getChildFile ("limits/many-long-names.exe").getFullPathName() });
    EXPECT_EQ (run.exitCode, 0) << run.output;
    EXPECT_TRUE (run.output.contains ("60000 entries")) << run.output;
    EXPECT_GT (run.peakBytes, 0u);
    EXPECT_LT (run.peakBytes, 256u << 20);
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
