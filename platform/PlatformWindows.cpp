#include "platform/Platform.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace platform
{

namespace
{
    std::wstring widePath (const juce::File& file)
    {
        return file.getFullPathName().toWideCharPointer();
    }

    juce::File fromWide (const wchar_t* text)
    {
        return juce::File (juce::String (text));
    }

    // GetFinalPathNameByHandleW answers in the extended-length form.
    juce::String stripExtendedPrefix (juce::String path)
    {
        if (path.startsWith ("\\\\?\\UNC\\"))
            return "\\\\" + path.substring (8);

        if (path.startsWith ("\\\\?\\"))
            return path.substring (4);

        return path;
    }
}

juce::File sharedDocumentsFolder()
{
    wchar_t path[MAX_PATH + 1] = {};

    if (! SHGetSpecialFolderPathW (nullptr, path, CSIDL_COMMON_DOCUMENTS, FALSE))
        return {};

    return fromWide (path);
}

bool isLink (const juce::File& path)
{
    auto attributes = GetFileAttributesW (widePath (path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

juce::File resolveLink (const juce::File& path)
{
    if (! isLink (path))
        return path;

    // Opening without FILE_FLAG_OPEN_REPARSE_POINT follows every hop.
    auto handle = CreateFileW (widePath (path).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);

    if (handle == INVALID_HANDLE_VALUE)
        return path;

    std::vector<wchar_t> buffer (MAX_PATH + 1);
    auto length = GetFinalPathNameByHandleW (handle, buffer.data(), static_cast<DWORD> (buffer.size()), FILE_NAME_NORMALIZED);

    if (length >= buffer.size())
    {
        buffer.resize (length + 1);
        length = GetFinalPathNameByHandleW (handle, buffer.data(), static_cast<DWORD> (buffer.size()), FILE_NAME_NORMALIZED);
    }

    CloseHandle (handle);

    if (length == 0 || length >= buffer.size())
        return path;

    return juce::File (stripExtendedPrefix (juce::String (buffer.data(), length)));
}

bool moveToTrash (const juce::File& path)
{
    if (! path.exists())
        return false;

    // Where there is no recycle bin (network shares, some removable drives, a
    // Wine prefix without a trash folder) the shell deletes for good without
    // asking when confirmations are off, so ask first whether a bin exists.
    SHQUERYRBINFO binInfo {};
    binInfo.cbSize = sizeof (binInfo);

    if (FAILED (SHQueryRecycleBinW (widePath (path.getParentDirectory()).c_str(), &binInfo)))
        return false;

    // The shell wants a list ending in two zeros.
    auto source = widePath (path);
    source.push_back (L'\0');

    SHFILEOPSTRUCTW operation {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = source.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;

    return SHFileOperationW (&operation) == 0 && ! operation.fAnyOperationsAborted && ! path.exists();
}

juce::File runningExecutable()
{
    std::vector<wchar_t> buffer (MAX_PATH + 1);

    for (;;)
    {
        auto length = GetModuleFileNameW (nullptr, buffer.data(), static_cast<DWORD> (buffer.size()));

        if (length == 0)
            return juce::File::getSpecialLocation (juce::File::currentExecutableFile);

        if (length < buffer.size())
            return juce::File (juce::String (buffer.data(), length));

        buffer.resize (buffer.size() * 2);
    }
}

juce::File systemFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    auto length = GetSystemDirectoryW (path, MAX_PATH);

    if (length == 0 || length > MAX_PATH)
        return juce::File ("C:\\Windows\\System32");

    return fromWide (path);
}

} // namespace platform
