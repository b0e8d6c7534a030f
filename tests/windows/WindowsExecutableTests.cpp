#include "windows/WindowsTestSupport.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include <vector>

using WindowsExecutable = windows_testing::WineAwareTest;

namespace
{
    // Missing from mingw-w64's winerror.h.
    constexpr DWORD errorElevationRequired = 740;

    juce::File appExecutable()
    {
        return windows_testing::buildFile (QUILLOTONE_APP_EXECUTABLE);
    }

    juce::String versionString (const std::vector<char>& block, const wchar_t* key)
    {
        void* value = nullptr;
        UINT length = 0;

        if (! VerQueryValueW (block.data(), key, &value, &length) || length == 0)
            return {};

        return juce::String (static_cast<const wchar_t*> (value));
    }
}

// The same API the installed-version probe reads plug-ins with, pointed at
// our own executable.
TEST_F (WindowsExecutable, VersionResourceCarriesTheProjectVersion)
{
    auto path = appExecutable().getFullPathName();
    ASSERT_TRUE (appExecutable().existsAsFile()) << path;

    DWORD ignored = 0;
    auto size = GetFileVersionInfoSizeW (path.toWideCharPointer(), &ignored);
    ASSERT_GT (size, 0u);
    std::vector<char> block (size);
    ASSERT_TRUE (GetFileVersionInfoW (path.toWideCharPointer(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE (VerQueryValueW (block.data(), L"\\", reinterpret_cast<void**> (&fixed), &length));
    ASSERT_EQ (fixed->dwSignature, 0xFEEF04BDu);
    auto numbers = juce::String (HIWORD (fixed->dwFileVersionMS)) + "." + juce::String (LOWORD (fixed->dwFileVersionMS))
                   + "." + juce::String (HIWORD (fixed->dwFileVersionLS));
    EXPECT_EQ (numbers, QUILLOTONE_PROJECT_VERSION);

    EXPECT_EQ (versionString (block, L"\\StringFileInfo\\040904B0\\FileVersion"), QUILLOTONE_PROJECT_VERSION);
    EXPECT_EQ (versionString (block, L"\\StringFileInfo\\040904B0\\ProductVersion"), QUILLOTONE_PROJECT_VERSION);
    EXPECT_EQ (versionString (block, L"\\StringFileInfo\\040904B0\\ProductName"), "Quillotone Plugin Manager");

    // The framework's reader goes through the same API.
    EXPECT_EQ (appExecutable().getVersion(), juce::String (QUILLOTONE_PROJECT_VERSION) + ".0");
}

TEST_F (WindowsExecutable, ManifestAsksForAdministratorAndIconIsPresent)
{
    auto module = LoadLibraryExW (appExecutable().getFullPathName().toWideCharPointer(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE (module, nullptr);

    auto manifest = FindResourceW (module, MAKEINTRESOURCEW (1), MAKEINTRESOURCEW (24));   // RT_MANIFEST
    ASSERT_NE (manifest, nullptr);
    auto* text = static_cast<const char*> (LockResource (LoadResource (module, manifest)));
    juce::String xml (text, SizeofResource (module, manifest));
    EXPECT_TRUE (xml.contains ("level=\"requireAdministrator\"")) << xml;

    // The framework gives windows the executable's first icon.
    EXPECT_NE (FindResourceW (module, MAKEINTRESOURCEW (1), MAKEINTRESOURCEW (14)), nullptr);   // RT_GROUP_ICON

    FreeLibrary (module);
}

TEST_F (WindowsExecutable, UnelevatedStartOfTheAppIsRefused)
{
    HANDLE token = nullptr;
    ASSERT_TRUE (OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token));
    TOKEN_ELEVATION elevation {};
    DWORD size = 0;
    ASSERT_TRUE (GetTokenInformation (token, TokenElevation, &elevation, sizeof (elevation), &size));
    CloseHandle (token);

    if (elevation.TokenIsElevated)
        GTEST_SKIP() << "the tests run elevated, so the app would start";

    std::wstring line = appExecutable().getFullPathName().quoted().toWideCharPointer();
    STARTUPINFOW startup {};
    startup.cb = sizeof (startup);
    PROCESS_INFORMATION process {};
    auto started = CreateProcessW (nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    auto error = GetLastError();

    if (started)
    {
        TerminateProcess (process.hProcess, 1);
        CloseHandle (process.hThread);
        CloseHandle (process.hProcess);
    }

    EXPECT_FALSE (started);
    EXPECT_EQ (error, errorElevationRequired);
}
