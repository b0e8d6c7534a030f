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

//==============================================================================
void* loadPluginLibrary (const juce::File& file)
{
    // No "cannot find DLL" message box for a plugin with a missing dependency:
    // a probe fails quietly.
    DWORD previousMode = 0;
    const auto modeSet = SetThreadErrorMode (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);

    auto* module = LoadLibraryExW (widePath (file).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);

    if (modeSet)
        SetThreadErrorMode (previousMode, nullptr);

    return module;
}

void* findLibrarySymbol (void* library, const char* name)
{
    if (library == nullptr)
        return nullptr;

    return reinterpret_cast<void*> (GetProcAddress (static_cast<HMODULE> (library), name));
}

void unloadPluginLibrary (void* library)
{
    if (library != nullptr)
        FreeLibrary (static_cast<HMODULE> (library));
}

juce::String readSystemFileVersion (const juce::File& file)
{
    const auto path = widePath (file);
    DWORD ignored = 0;
    const auto size = GetFileVersionInfoSizeW (path.c_str(), &ignored);

    if (size == 0)
        return {};

    std::vector<char> block (size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;

    if (! GetFileVersionInfoW (path.c_str(), 0, size, block.data())
         || ! VerQueryValueW (block.data(), L"\\", reinterpret_cast<void**> (&fixed), &length)
         || fixed == nullptr || length < sizeof (VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
        return {};

    return juce::String (HIWORD (fixed->dwFileVersionMS)) + "." + juce::String (LOWORD (fixed->dwFileVersionMS)) + "."
         + juce::String (HIWORD (fixed->dwFileVersionLS)) + "." + juce::String (LOWORD (fixed->dwFileVersionLS));
}

} // namespace platform
