#include "windows/WindowsTestSupport.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <aclapi.h>
#include <sddl.h>

#include "platform/Platform.h"
#include "products/PlacementJournal.h"
#include "products/PluginPlacement.h"

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

//==============================================================================
namespace
{
    /** The owner and DACL of a folder as SDDL text, read without following a link. */
    juce::String securityOf (const juce::File& folder)
    {
        auto handle = CreateFileW (folder.getFullPathName().toWideCharPointer(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        LPWSTR text = nullptr;
        juce::String result;

        if (handle != INVALID_HANDLE_VALUE
             && GetSecurityInfo (handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS
             && ConvertSecurityDescriptorToStringSecurityDescriptorW (descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
            result = juce::String (text);

        if (text != nullptr)                 LocalFree (text);
        if (descriptor != nullptr)           LocalFree (descriptor);
        if (handle != INVALID_HANDLE_VALUE)  CloseHandle (handle);
        return result;
    }
}

TEST_F (WindowsFolders, ThePrivateFolderIsForAdministratorsAndSystemOnly)
{
    wchar_t data[MAX_PATH + 1] = {};
    ASSERT_TRUE (SHGetSpecialFolderPathW (nullptr, data, CSIDL_COMMON_APPDATA, FALSE));
    const auto expected = juce::File (juce::String (data)).getChildFile ("Quillotone/PluginManager");

    // One someone else made first, open to everyone, is moved aside.
    expected.getParentDirectory().createDirectory();
    expected.deleteRecursively (false);
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE (ConvertStringSecurityDescriptorToSecurityDescriptorW (L"D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    ASSERT_TRUE (expected.createDirectory());
    BOOL present = FALSE, defaulted = FALSE;
    PACL everyone = nullptr;
    ASSERT_TRUE (GetSecurityDescriptorDacl (open, &present, &everyone, &defaulted));
    std::wstring path (expected.getFullPathName().toWideCharPointer());
    ASSERT_EQ (SetNamedSecurityInfoW (path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, everyone, nullptr), (DWORD) ERROR_SUCCESS);
    LocalFree (open);

    // Wine keeps no DACL of its own: it shows one made from the Unix mode,
    // which for this folder lets everyone write as well.
    const auto planted = securityOf (expected);
    ASSERT_TRUE (planted == "D:P(A;OICI;FA;;;WD)" || (windows_testing::runningUnderWine() && planted.contains (";;;WD)"))) << planted;
    ASSERT_TRUE (expected.getChildFile ("planted.txt").replaceWithText ("x"));

    const auto prepared = platform::preparePrivateFolder();
    ASSERT_EQ (prepared.folder, expected) << prepared.problem;
    EXPECT_EQ (prepared.problem, "");
    EXPECT_FALSE (expected.getChildFile ("planted.txt").exists());

    if (! windows_testing::runningUnderWine())
    {
        EXPECT_EQ (securityOf (expected), "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)");
    }

    // Checked again on every call: still ours, kept as it is.
    ASSERT_TRUE (expected.getChildFile ("kept.txt").replaceWithText ("x"));
    EXPECT_EQ (platform::preparePrivateFolder().folder, expected);
    EXPECT_TRUE (expected.getChildFile ("kept.txt").existsAsFile());

    const auto fresh = platform::createFreshPrivateFolder (expected, "tool-");
    ASSERT_TRUE (fresh.isDirectory());

    if (! windows_testing::runningUnderWine())
    {
        EXPECT_EQ (securityOf (fresh), "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)");
    }
}

TEST_F (WindowsFolders, FolderHandlesNameEverythingRelativeToTheFolderTheyOpened)
{
    TempFolder temp;
    auto folder = platform::FolderHandle::open (temp.folder);
    ASSERT_NE (folder, nullptr);

    using Kind = platform::FolderHandle::Kind;
    ASSERT_TRUE (folder->createFolder ("sub"));
    EXPECT_FALSE (folder->createFolder ("sub"));
    auto file = folder->createFile ("a.txt");
    ASSERT_NE (file, nullptr);
    EXPECT_TRUE (file->write ("abc", 3));
    EXPECT_TRUE (file->close());
    EXPECT_EQ (folder->createFile ("a.txt"), nullptr);
    EXPECT_EQ (folder->createFile ("..\\escape.txt"), nullptr);

    EXPECT_EQ (folder->kindOf ("sub"), Kind::folder);
    EXPECT_EQ (folder->kindOf ("a.txt"), Kind::file);
    EXPECT_EQ (folder->kindOf ("none"), Kind::missing);
    EXPECT_TRUE (folder->renameNoReplace ("a.txt", "b.txt"));
    ASSERT_TRUE (folder->createFile ("c.txt") != nullptr);
    EXPECT_FALSE (folder->renameNoReplace ("b.txt", "c.txt"));
    EXPECT_EQ (temp.folder.getChildFile ("b.txt").loadFileAsString(), "abc");

    auto names = folder->names();
    names.sort (true);
    EXPECT_EQ (names, juce::StringArray ({ "b.txt", "c.txt", "sub" }));

    // A folder renamed away is no longer the one its name holds, and the
    // handle keeps naming the folder it opened.
    auto sub = folder->openChild ("sub");
    ASSERT_NE (sub, nullptr);
    EXPECT_TRUE (folder->stillHolds ("sub", *sub));
    ASSERT_TRUE (temp.folder.getChildFile ("sub").moveFileTo (temp.folder.getChildFile ("moved")));
    ASSERT_TRUE (temp.folder.getChildFile ("sub").createDirectory());
    EXPECT_FALSE (folder->stillHolds ("sub", *sub));
    ASSERT_TRUE (sub->createFile ("inside.txt") != nullptr);
    EXPECT_TRUE (temp.folder.getChildFile ("moved/inside.txt").existsAsFile());

    EXPECT_TRUE (folder->remove ("b.txt"));
    EXPECT_FALSE (temp.folder.getChildFile ("b.txt").exists());

    // The host-made folder link is a reparse point, never entered.
    auto links = platform::FolderHandle::open (windows_testing::buildFile (QUILLOTONE_HOST_LINK_FIXTURES));
    ASSERT_NE (links, nullptr);
    EXPECT_EQ (links->kindOf ("first"), Kind::link);
    EXPECT_EQ (links->openChild ("first"), nullptr);
    EXPECT_EQ (platform::FolderHandle::open (windows_testing::buildFile (QUILLOTONE_HOST_LINK_FIXTURES).getChildFile ("first")), nullptr);
}

TEST_F (WindowsFolders, AMergeWhoseFolderIsReplacedMidWayFails)
{
    TempFolder temp;
    const auto source = temp.folder.getChildFile ("unpacked"), destination = temp.folder.getChildFile ("Samples");

    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE (source.getChildFile ("Kits/Kit" + juce::String (i) + ".wav").create().wasOk());

    bool swapped = false;
    auto swapAfterTwo = [&]
    {
        if (! swapped && destination.findChildFiles (juce::File::findFiles, true, "Kit*.wav").size() >= 2)
            swapped = destination.getChildFile ("Kits").moveFileTo (temp.folder.getChildFile ("moved"))
                   && destination.getChildFile ("Kits").createDirectory();

        return false;
    };

    PlacementJournal journal (temp.folder.getChildFile ("journal"));
    ASSERT_TRUE (temp.folder.getChildFile ("journal").createDirectory());
    const auto merged = PluginPlacement::transferContent (source, destination, "m", swapAfterTwo, journal);
    ASSERT_TRUE (swapped);
    EXPECT_FALSE (merged.succeeded);
    EXPECT_TRUE (merged.failure.contains ("changed during the copy")) << merged.failure;
    EXPECT_EQ (destination.getChildFile ("Kits").getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
    EXPECT_EQ (temp.folder.getChildFile ("moved").getNumberOfChildFiles (juce::File::findFiles), 2);
}
