// Folder handles on Windows: every name is opened relative to a folder's
// handle through NtCreateFile, and a reparse point is never entered.
#include "platform/Platform.h"
#include "platform/WindowsFiles.h"

#include <cstddef>
#include <cstring>

#include <vector>

namespace platform
{

using win::informationOf;
using win::isPlainFolder;
using win::shareAll;
using win::widePath;

bool isSinglePiece (const juce::String& name)
{
    return name.isNotEmpty() && name != "." && name != ".." && ! name.containsAnyOf ("/\\:") && ! name.containsChar (0);
}

namespace
{
    // The native calls that open names relative to a folder handle; they
    // are reached through ntdll's exports, which every Windows has.
    struct NtName       { USHORT length, maximumLength; const wchar_t* buffer; };
    struct NtAttributes { ULONG length; HANDLE root; NtName* name; ULONG attributes; void* security; void* quality; };
    struct NtIoStatus   { union { LONG status; void* pointer; }; ULONG_PTR information; };

    using NtCreateFileFn = LONG (NTAPI*) (HANDLE*, ACCESS_MASK, NtAttributes*, NtIoStatus*, LARGE_INTEGER*, ULONG, ULONG,
                                          ULONG, ULONG, void*, ULONG);
    using NtSetInformationFileFn = LONG (NTAPI*) (HANDLE, NtIoStatus*, void*, ULONG, ULONG);
    using NtQueryDirectoryFileFn = LONG (NTAPI*) (HANDLE, HANDLE, void*, void*, NtIoStatus*, void*, ULONG, ULONG,
                                                  BOOLEAN, NtName*, BOOLEAN);

    constexpr ULONG ntOpen = 1, ntCreate = 2;
    constexpr ULONG ntDirectoryFile = 0x1, ntSynchronous = 0x20, ntNonDirectoryFile = 0x40, ntOpenReparsePoint = 0x200000;
    constexpr ULONG ntCaseInsensitive = 0x40;
    constexpr ULONG ntFileDirectoryInformation = 1, ntFileRenameInformation = 10;
    constexpr LONG ntNoMoreFiles = (LONG) 0x80000006;
    constexpr DWORD folderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

    template <typename Function>
    Function ntFunction (const char* name)
    {
        return reinterpret_cast<Function> (reinterpret_cast<void*> (GetProcAddress (GetModuleHandleW (L"ntdll.dll"), name)));
    }

    /** Opens a name relative to a folder handle, never following a reparse point. */
    HANDLE openRelative (HANDLE folder, const juce::String& name, ACCESS_MASK access, ULONG disposition, ULONG options,
                         DWORD share = shareAll, LONG* status = nullptr)
    {
        static const auto create = ntFunction<NtCreateFileFn> ("NtCreateFile");

        if (create == nullptr || ! isSinglePiece (name))
            return nullptr;

        std::wstring wide (name.toWideCharPointer());
        NtName text { (USHORT) (wide.size() * sizeof (wchar_t)), (USHORT) (wide.size() * sizeof (wchar_t)), wide.c_str() };
        NtAttributes attributes { sizeof (NtAttributes), folder, &text, ntCaseInsensitive, nullptr, nullptr };
        NtIoStatus io {};
        HANDLE opened = nullptr;

        const auto result = create (&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                                    disposition, options | ntSynchronous | ntOpenReparsePoint, nullptr, 0);

        if (status != nullptr)
            *status = result;

        return result >= 0 ? opened : nullptr;
    }

    HANDLE openFolderPath (const juce::File& folder, bool followLink)
    {
        auto handle = CreateFileW (widePath (folder).c_str(), folderAccess, shareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);

        BY_HANDLE_FILE_INFORMATION info {};

        if (handle != INVALID_HANDLE_VALUE && informationOf (handle, info) && isPlainFolder (info))
            return handle;

        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle (handle);

        return nullptr;
    }
}

std::unique_ptr<FolderHandle> FolderHandle::adopt (Native opened, const juce::File& path)
{
    if (opened == nullptr)
        return nullptr;

    std::unique_ptr<FolderHandle> folder (new FolderHandle());
    folder->handle = opened;
    folder->openedPath = path;
    return folder;
}

std::unique_ptr<FolderHandle> FolderHandle::open (const juce::File& folder)
{
    // The attributes of the name as well: Wine opens a folder link made on
    // its host even with FILE_OPEN_REPARSE_POINT, but flags it there.
    return adopt (isLink (folder) ? nullptr : openFolderPath (folder, false), folder);
}

std::unique_ptr<FolderHandle> FolderHandle::openFollowing (const juce::File& folder)
{
    return adopt (openFolderPath (folder, true), folder);
}

FolderHandle::~FolderHandle()
{
    if (handle != nullptr)
        CloseHandle ((HANDLE) handle);
}

FolderHandle::Kind FolderHandle::kindOf (const juce::String& name) const
{
    if (isSinglePiece (name) && isLink (openedPath.getChildFile (name)))
        return Kind::link;

    LONG status = 0;
    auto opened = openRelative ((HANDLE) handle, name, FILE_READ_ATTRIBUTES, ntOpen, 0, shareAll, &status);

    if (opened == nullptr)
        return status == (LONG) 0xC0000034 || status == (LONG) 0xC000003A ? Kind::missing : Kind::other;

    BY_HANDLE_FILE_INFORMATION info {};
    const auto known = informationOf (opened, info);
    CloseHandle (opened);

    if (! known)                                                    return Kind::other;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Kind::link;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)     return Kind::folder;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0)        return Kind::other;
    return Kind::file;
}

std::unique_ptr<FolderHandle> FolderHandle::openChild (const juce::String& name) const
{
    if (isSinglePiece (name) && isLink (openedPath.getChildFile (name)))
        return nullptr;

    auto opened = openRelative ((HANDLE) handle, name, folderAccess, ntOpen, ntDirectoryFile);
    BY_HANDLE_FILE_INFORMATION info {};

    if (! informationOf (opened, info) || ! isPlainFolder (info))
    {
        if (opened != nullptr)
            CloseHandle (opened);

        return nullptr;
    }

    return adopt (opened, openedPath.getChildFile (name));
}

bool FolderHandle::createFolder (const juce::String& name) const
{
    auto created = openRelative ((HANDLE) handle, name, FILE_LIST_DIRECTORY, ntCreate, ntDirectoryFile);

    if (created == nullptr)
        return false;

    CloseHandle (created);
    return true;
}

std::unique_ptr<NewFile> FolderHandle::createFile (const juce::String& name) const
{
    auto created = openRelative ((HANDLE) handle, name, GENERIC_WRITE, ntCreate, ntNonDirectoryFile, 0);

    if (created == nullptr)
        return nullptr;

    std::unique_ptr<NewFile> file (new NewFile());
    file->handle = created;
    return file;
}

bool FolderHandle::renameNoReplace (const juce::String& from, const juce::String& to) const
{
    static const auto setInformation = ntFunction<NtSetInformationFileFn> ("NtSetInformationFile");

    if (setInformation == nullptr || ! isSinglePiece (to))
        return false;

    auto moving = openRelative ((HANDLE) handle, from, DELETE | FILE_READ_ATTRIBUTES, ntOpen, 0);

    if (moving == nullptr)
        return false;

    // FILE_RENAME_INFORMATION: the new name relative to this folder's handle,
    // and no replacing.
    struct RenameHead { ULONG replaceIfExists; HANDLE root; ULONG nameBytes; };
    std::wstring wide (to.toWideCharPointer());
    std::vector<char> buffer (offsetof (RenameHead, nameBytes) + sizeof (ULONG) + (wide.size() + 1) * sizeof (wchar_t));
    RenameHead head { 0, (HANDLE) handle, (ULONG) (wide.size() * sizeof (wchar_t)) };
    std::memcpy (buffer.data(), &head, offsetof (RenameHead, nameBytes) + sizeof (ULONG));
    std::memcpy (buffer.data() + offsetof (RenameHead, nameBytes) + sizeof (ULONG), wide.c_str(), wide.size() * sizeof (wchar_t));

    NtIoStatus io {};
    const auto status = setInformation (moving, &io, buffer.data(), (ULONG) buffer.size(), ntFileRenameInformation);
    CloseHandle (moving);
    return status >= 0;
}

bool FolderHandle::remove (const juce::String& name) const
{
    auto doomed = openRelative ((HANDLE) handle, name, DELETE | FILE_READ_ATTRIBUTES, ntOpen, 0);

    if (doomed == nullptr)
        return false;

    FILE_DISPOSITION_INFO disposition { TRUE };
    const auto marked = SetFileInformationByHandle (doomed, FileDispositionInfo, &disposition, sizeof (disposition)) != 0;
    CloseHandle (doomed);
    return marked;
}

juce::StringArray FolderHandle::names() const
{
    static const auto query = ntFunction<NtQueryDirectoryFileFn> ("NtQueryDirectoryFile");
    juce::StringArray result;

    if (query == nullptr)
        return result;

    // FILE_DIRECTORY_INFORMATION: the offsets of the fields read here.
    constexpr size_t nextOffset = 0, nameLengthOffset = 60, nameOffset = 64;
    std::vector<char> buffer (65536);
    bool restart = true;

    for (;;)
    {
        NtIoStatus io {};
        const auto status = query ((HANDLE) handle, nullptr, nullptr, nullptr, &io, buffer.data(), (ULONG) buffer.size(),
                                   ntFileDirectoryInformation, FALSE, nullptr, restart ? TRUE : FALSE);
        restart = false;

        if (status == ntNoMoreFiles || status < 0)
            break;

        for (size_t at = 0;;)
        {
            ULONG next = 0, nameBytes = 0;
            std::memcpy (&next, buffer.data() + at + nextOffset, sizeof (ULONG));
            std::memcpy (&nameBytes, buffer.data() + at + nameLengthOffset, sizeof (ULONG));
            const auto name = juce::String (reinterpret_cast<const wchar_t*> (buffer.data() + at + nameOffset),
                                            (size_t) nameBytes / sizeof (wchar_t));

            if (name != "." && name != "..")
                result.add (name);

            if (next == 0)
                break;

            at += next;
        }
    }

    return result;
}

bool FolderHandle::stillHolds (const juce::String& name, const FolderHandle& child) const
{
    auto named = openRelative ((HANDLE) handle, name, FILE_READ_ATTRIBUTES, ntOpen, 0);
    BY_HANDLE_FILE_INFORMATION now {}, held {};
    const auto same = informationOf (named, now) && informationOf ((HANDLE) child.handle, held) && isPlainFolder (now)
                   && now.dwVolumeSerialNumber == held.dwVolumeSerialNumber
                   && now.nFileIndexHigh == held.nFileIndexHigh && now.nFileIndexLow == held.nFileIndexLow;

    if (named != nullptr)
        CloseHandle (named);

    return same;
}

bool isSameObject (const juce::File& a, const juce::File& b)
{
    auto open = [] (const juce::File& f)
    {
        return CreateFileW (widePath (f).c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };

    auto first = open (a), second = open (b);
    BY_HANDLE_FILE_INFORMATION one {}, two {};
    const auto same = first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE
                   && informationOf (first, one) && informationOf (second, two)
                   && one.dwVolumeSerialNumber == two.dwVolumeSerialNumber
                   && one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;

    if (first != INVALID_HANDLE_VALUE)  CloseHandle (first);
    if (second != INVALID_HANDLE_VALUE) CloseHandle (second);
    return same;
}

} // namespace platform
