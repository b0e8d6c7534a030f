#include "windows/WindowsTestSupport.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include "platform/Platform.h"

using windows_testing::TempFolder;
using WindowsTrash = windows_testing::WineAwareTest;

namespace
{
    juce::int64 itemsInRecycleBin (const juce::File& onDrive)
    {
        SHQUERYRBINFO info {};
        info.cbSize = sizeof (info);

        if (FAILED (SHQueryRecycleBinW (onDrive.getFullPathName().toWideCharPointer(), &info)))
            return -1;

        return info.i64NumItems;
    }
}

// Wine keeps its recycle bin in the freedesktop trash of the host user
// (scripts/test-windows points HOME into the build folder).
TEST_F (WindowsTrash, FilesAndWholeBundlesGoToTheRecycleBin)
{
    TempFolder temp;
    auto file = temp.folder.getChildFile ("Plugin.clap");
    auto bundle = temp.folder.getChildFile ("My Plugin.vst3");
    ASSERT_TRUE (file.replaceWithText ("binary"));
    ASSERT_TRUE (bundle.getChildFile ("Contents/x86_64-win/My Plugin.vst3").create());

    auto before = itemsInRecycleBin (temp.folder);
    ASSERT_GE (before, 0);

    EXPECT_TRUE (platform::moveToTrash (file));
    EXPECT_FALSE (file.exists());
    auto afterFile = itemsInRecycleBin (temp.folder);
    EXPECT_GT (afterFile, before);

    EXPECT_TRUE (platform::moveToTrash (bundle));
    EXPECT_FALSE (bundle.exists());
    EXPECT_GT (itemsInRecycleBin (temp.folder), afterFile);
}

TEST_F (WindowsTrash, NothingMovedMeansFalseAndTheFileStays)
{
    TempFolder temp;
    EXPECT_FALSE (platform::moveToTrash (temp.folder.getChildFile ("missing.dll")));

    // A plug-in a host still has open without delete sharing.
    auto file = temp.folder.getChildFile ("In Use.vst3");
    ASSERT_TRUE (file.replaceWithText ("binary"));
    auto handle = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE (handle, INVALID_HANDLE_VALUE);

    EXPECT_FALSE (platform::moveToTrash (file));
    EXPECT_TRUE (file.existsAsFile());

    CloseHandle (handle);
    EXPECT_TRUE (platform::moveToTrash (file));
    EXPECT_FALSE (file.exists());
}

TEST_F (WindowsTrash, WithoutARecycleBinNothingIsDeleted)
{
    // Where there is no bin, the shell would delete for good; the caller must
    // get false and the file back. Wine has no bin when its trash folder
    // cannot be made, which a child process with its own XDG_DATA_HOME shows.
    if (! windows_testing::runningUnderWine())
        GTEST_SKIP() << "needs a drive without a recycle bin, which Windows test machines rarely have";

    TempFolder temp;
    auto data = temp.folder.getChildFile ("data");
    ASSERT_TRUE (data.createDirectory());
    ASSERT_TRUE (data.getChildFile ("Trash").replaceWithText ("a file where the trash folder belongs"));
    auto file = temp.folder.getChildFile ("Plugin.dll");
    ASSERT_TRUE (file.replaceWithText ("binary"));

    auto hostData = windows_testing::hostPathOf (data);
    ASSERT_TRUE (hostData.isNotEmpty());
    ASSERT_TRUE (SetEnvironmentVariableW (L"XDG_DATA_HOME", hostData.toWideCharPointer()));

    EXPECT_EQ (windows_testing::runChildOfThisProgram ({ "--move-to-trash", file.getFullPathName() }), 1);
    EXPECT_TRUE (file.existsAsFile());

    SetEnvironmentVariableW (L"XDG_DATA_HOME", nullptr);
}
