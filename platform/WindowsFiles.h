#pragma once

// What the Windows files of the platform layer share: wide paths and the
// plain-folder check on an open handle.
#include <juce_core/juce_core.h>

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace platform::win
{
    inline std::wstring widePath (const juce::File& file)
    {
        return file.getFullPathName().toWideCharPointer();
    }

    inline juce::File fromWide (const wchar_t* text)
    {
        return juce::File (juce::String (text));
    }

    constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

    inline bool informationOf (HANDLE handle, BY_HANDLE_FILE_INFORMATION& info)
    {
        return handle != nullptr && GetFileInformationByHandle (handle, &info) != 0;
    }

    /** A folder, and not a reparse point (link, junction or mount). */
    inline bool isPlainFolder (const BY_HANDLE_FILE_INFORMATION& info)
    {
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    }
}
