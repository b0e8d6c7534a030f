#include "windows/WindowsTestSupport.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/Platform.h"

using windows_testing::TempFolder;
using WindowsFolders = windows_testing::WineAwareTest;

TEST_F (WindowsFolders, SharedDocumentsIsThePublicDocumentsFolderAndWritable)
{
    // The known-folder API is the newer way to the same folder.
    PWSTR known = nullptr;
    ASSERT_EQ (SHGetKnownFolderPath (FOLDERID_PublicDocuments, 0, nullptr, &known), S_OK);
    juce::File expected { juce::String (known) };
    CoTaskMemFree (known);

    auto folder = platform::sharedDocumentsFolder();
    EXPECT_EQ (folder, expected);
    ASSERT_TRUE (folder.isDirectory());

    auto probe = folder.getNonexistentChildFile ("quillotone-probe", ".txt", false);
    EXPECT_TRUE (probe.replaceWithText ("x"));
    EXPECT_TRUE (probe.deleteFile());
}

TEST_F (WindowsFolders, SystemFolderIsWhereKernel32WasLoadedFrom)
{
    wchar_t kernel[MAX_PATH + 1] = {};
    ASSERT_GT (GetModuleFileNameW (GetModuleHandleW (L"kernel32.dll"), kernel, MAX_PATH), 0u);

    auto folder = platform::systemFolder();
    EXPECT_EQ (folder, juce::File (juce::String (kernel)).getParentDirectory());
    EXPECT_TRUE (folder.getChildFile ("cmd.exe").existsAsFile());
}

TEST_F (WindowsFolders, RunningExecutableIsThisProgram)
{
    auto exe = platform::runningExecutable();
    EXPECT_TRUE (exe.existsAsFile());
    EXPECT_EQ (exe, juce::File::getSpecialLocation (juce::File::currentExecutableFile));
    EXPECT_TRUE (exe.getFileName().equalsIgnoreCase ("quillotone_windows_tests.exe"));
}

TEST_F (WindowsFolders, RunningExecutableKeepsNonAsciiAndSpacesInItsPath)
{
    // A copy under a name the ANSI code page cannot hold.
    TempFolder temp;
    auto folder = temp.folder.getChildFile (juce::String::fromUTF8 ("Pr\xc3\xbc" "fung \xe6\xb5\x8b\xe8\xaf\x95"));
    ASSERT_TRUE (folder.createDirectory());
    auto copy = folder.getChildFile (juce::String::fromUTF8 ("Qu\xc3\xa9 tests.exe"));
    ASSERT_TRUE (platform::runningExecutable().copyFileTo (copy));

    auto report = temp.folder.getChildFile ("report.txt");
    juce::StringArray command { copy.getFullPathName(), "--write-running-executable", report.getFullPathName() };

    // Start the copy, not this program.
    std::wstring line;
    for (auto& part : command)
        line += (line.empty() ? L"" : L" ") + std::wstring (part.quoted().toWideCharPointer());

    STARTUPINFOW startup {};
    startup.cb = sizeof (startup);
    PROCESS_INFORMATION process {};
    ASSERT_TRUE (CreateProcessW (nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, &process));
    ASSERT_EQ (WaitForSingleObject (process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess (process.hProcess, &exitCode);
    CloseHandle (process.hThread);
    CloseHandle (process.hProcess);

    ASSERT_EQ (exitCode, 0u);
    EXPECT_EQ (juce::File (report.loadFileAsString()), copy);
}
