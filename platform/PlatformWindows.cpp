#include "platform/Platform.h"

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstddef>
#include <cstring>

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

bool isRegularFile (const juce::File& path)
{
    auto attributes = GetFileAttributesW (widePath (path).c_str());

    return attributes != INVALID_FILE_ATTRIBUTES
        && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
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

//==============================================================================
juce::StringArray commandLineArguments (int, const char* const*)
{
    juce::StringArray args;
    int count = 0;

    if (auto* list = CommandLineToArgvW (GetCommandLineW(), &count))
    {
        for (int i = 0; i < count; ++i)
            args.add (juce::String (list[i]));

        LocalFree (list);
    }

    return args;
}

namespace
{
    // Quoted so that CommandLineToArgvW, which every program's start-up code
    // follows, gives the argument back unchanged.
    juce::String quotedArgument (const juce::String& argument)
    {
        if (argument.isNotEmpty() && ! argument.containsAnyOf (" \t\n\v\""))
            return argument;

        juce::String quoted ("\"");
        int backslashes = 0;

        for (auto c : argument)
        {
            if (c == '\\')
            {
                ++backslashes;
                continue;
            }

            quoted << juce::String::repeatedString ("\\", c == '"' ? backslashes * 2 + 1 : backslashes)
                   << juce::String::charToString (c);
            backslashes = 0;
        }

        return quoted + juce::String::repeatedString ("\\", backslashes * 2) + "\"";
    }
}

std::optional<int> runProcess (const juce::StringArray& command, int timeoutMs, const std::function<bool()>& shouldStop,
                               const juce::File& outputFile)
{
    if (command.isEmpty() || ! juce::File::isAbsolutePath (command[0]))
        return std::nullopt;

    juce::String commandLine;

    for (auto& item : command)
        commandLine << (commandLine.isEmpty() ? "" : " ") << quotedArgument (item);

    std::wstring program (command[0].toWideCharPointer());
    std::wstring buffer (commandLine.toWideCharPointer());

    // The output file is the one handle the child inherits; it must see none
    // of the manager's files or pipes, so the list names exactly that one.
    HANDLE output = INVALID_HANDLE_VALUE;
    STARTUPINFOEXW startup {};
    startup.StartupInfo.cb = sizeof (startup);
    std::vector<char> attributeList;
    // Detached rather than CREATE_NO_WINDOW: that gives a console program a
    // console host of its own, which (under Wine at least) holds the
    // inherited output handle for a while after the child has ended, so the
    // output file could not be removed right after the run.
    DWORD flags = DETACHED_PROCESS;
    BOOL inherit = FALSE;

    if (outputFile != juce::File())
    {
        SECURITY_ATTRIBUTES security { sizeof (SECURITY_ATTRIBUTES), nullptr, TRUE };
        output = CreateFileW (outputFile.getFullPathName().toWideCharPointer(), GENERIC_WRITE, FILE_SHARE_READ,
                              &security, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);

        if (output == INVALID_HANDLE_VALUE)
            return std::nullopt;

        SIZE_T size = 0;
        InitializeProcThreadAttributeList (nullptr, 1, 0, &size);
        attributeList.resize (size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST> (attributeList.data());

        const auto initialised = InitializeProcThreadAttributeList (list, 1, 0, &size);

        // Without the list the child would inherit every inheritable handle.
        if (! initialised
             || ! UpdateProcThreadAttribute (list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &output, sizeof (output), nullptr, nullptr))
        {
            if (initialised)
                DeleteProcThreadAttributeList (list);

            CloseHandle (output);
            return std::nullopt;
        }

        startup.lpAttributeList = list;
        flags |= EXTENDED_STARTUPINFO_PRESENT;

        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = nullptr;
        startup.StartupInfo.hStdOutput = output;
        startup.StartupInfo.hStdError = output;
        inherit = TRUE;
    }

    PROCESS_INFORMATION process {};
    const auto created = CreateProcessW (program.c_str(), buffer.data(), nullptr, nullptr, inherit, flags,
                                         nullptr, nullptr, &startup.StartupInfo, &process);

    if (startup.lpAttributeList != nullptr)
        DeleteProcThreadAttributeList (startup.lpAttributeList);

    if (output != INVALID_HANDLE_VALUE)
        CloseHandle (output);

    if (! created)
        return std::nullopt;

    CloseHandle (process.hThread);

    const auto started = juce::Time::getMillisecondCounter();
    std::optional<int> exitCode;

    for (;;)
    {
        if (WaitForSingleObject (process.hProcess, 10) == WAIT_OBJECT_0)
        {
            DWORD code = 0;

            if (GetExitCodeProcess (process.hProcess, &code))
                exitCode = (int) code;

            break;
        }

        if (juce::Time::getMillisecondCounter() - started >= (juce::uint32) timeoutMs
             || (shouldStop != nullptr && shouldStop()))
        {
            TerminateProcess (process.hProcess, 1);
            WaitForSingleObject (process.hProcess, 1000);
            break;
        }
    }

    CloseHandle (process.hProcess);
    return exitCode;
}

//==============================================================================
bool startDetached (const juce::File& program, const juce::StringArray&, const juce::String& commandLine)
{
    std::wstring path (program.getFullPathName().toWideCharPointer());
    std::wstring line (commandLine.toWideCharPointer());
    STARTUPINFOW startup {};
    startup.cb = sizeof (startup);
    PROCESS_INFORMATION process {};

    if (! CreateProcessW (path.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS,
                          nullptr, nullptr, &startup, &process))
        return false;

    CloseHandle (process.hThread);
    CloseHandle (process.hProcess);
    return true;
}

int currentProcessId()
{
    return (int) GetCurrentProcessId();
}

//==============================================================================
std::unique_ptr<NewFile> NewFile::create (const juce::File& file)
{
    // CREATE_NEW fails for any existing name, a reparse point included.
    auto handle = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);

    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;

    std::unique_ptr<NewFile> created (new NewFile());
    created->handle = handle;
    return created;
}

NewFile::~NewFile()
{
    close();
}

bool NewFile::write (const void* data, size_t size)
{
    auto* bytes = static_cast<const char*> (data);

    while (size > 0 && handle != nullptr)
    {
        DWORD written = 0;
        const auto chunk = (DWORD) juce::jmin (size, (size_t) (1 << 30));

        if (! WriteFile ((HANDLE) handle, bytes, chunk, &written, nullptr) || written == 0)
            return false;

        bytes += written;
        size -= written;
    }

    return size == 0;
}

bool NewFile::close()
{
    if (handle == nullptr)
        return true;

    const auto closed = CloseHandle ((HANDLE) handle) != 0;
    handle = nullptr;
    return closed;
}

bool renameNoReplace (const juce::File& from, const juce::File& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    return MoveFileExW (from.getFullPathName().toWideCharPointer(), to.getFullPathName().toWideCharPointer(), 0) != 0;
}

void prepareForUntrustedCode()
{
    // No "stopped working" box, no just-in-time debugger, no "cannot find
    // DLL" box: a crash simply ends the process with exit code 3.
    SetErrorMode (SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter ([] (EXCEPTION_POINTERS*) -> LONG { ExitProcess (3); });
}

//==============================================================================
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
    constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
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

    bool informationOf (HANDLE handle, BY_HANDLE_FILE_INFORMATION& info)
    {
        return handle != nullptr && GetFileInformationByHandle (handle, &info) != 0;
    }

    bool isPlainFolder (const BY_HANDLE_FILE_INFORMATION& info)
    {
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
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

std::unique_ptr<FolderHandle> FolderHandle::open (const juce::File& folder)
{
    // The attributes of the name as well: Wine opens a folder link made on
    // its host even with FILE_OPEN_REPARSE_POINT, but flags it there.
    auto handle = isLink (folder) ? nullptr : openFolderPath (folder, false);

    if (handle == nullptr)
        return nullptr;

    std::unique_ptr<FolderHandle> opened (new FolderHandle());
    opened->handle = handle;
    opened->openedPath = folder;
    return opened;
}

std::unique_ptr<FolderHandle> FolderHandle::openFollowing (const juce::File& folder)
{
    auto handle = openFolderPath (folder, true);

    if (handle == nullptr)
        return nullptr;

    std::unique_ptr<FolderHandle> opened (new FolderHandle());
    opened->handle = handle;
    opened->openedPath = folder;
    return opened;
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

    std::unique_ptr<FolderHandle> child (new FolderHandle());
    child->handle = opened;
    child->openedPath = openedPath.getChildFile (name);
    return child;
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

//==============================================================================
namespace
{
    /** Administrators and SYSTEM full control, inherited below, nothing from above. */
    constexpr const wchar_t* privateFolderSddl = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

    struct Sid final
    {
        explicit Sid (WELL_KNOWN_SID_TYPE type)
        {
            DWORD size = sizeof (bytes);
            valid = CreateWellKnownSid (type, nullptr, bytes, &size) != 0;
        }

        bool matches (PSID other) const     { return valid && other != nullptr && EqualSid ((PSID) bytes, other); }

        BYTE bytes[SECURITY_MAX_SID_SIZE] {};
        bool valid = false;
    };

    /** The SID of this process's user, in a buffer of its own. */
    std::vector<BYTE> currentUserSid()
    {
        HANDLE token = nullptr;
        std::vector<BYTE> sid;

        if (! OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token))
            return sid;

        DWORD size = 0;
        GetTokenInformation (token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> buffer (size);

        if (size > 0 && GetTokenInformation (token, TokenUser, buffer.data(), size, &size))
        {
            auto* user = reinterpret_cast<TOKEN_USER*> (buffer.data());
            sid.assign ((BYTE*) user->User.Sid, (BYTE*) user->User.Sid + GetLengthSid (user->User.Sid));
        }

        CloseHandle (token);
        return sid;
    }

    /** Rights that let someone change or replace what is in a folder, or the folder itself. */
    constexpr ACCESS_MASK writeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD
                                      | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER
                                      | GENERIC_WRITE | GENERIC_ALL;

    /** Rights that let someone take the folder itself away or over. */
    constexpr ACCESS_MASK takeoverRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

    /** Sets the private DACL, protected from inheritance, on a folder this process just made;
        the creation's own descriptor is not kept by every system (Wine drops it).
    */
    bool applyPrivateDacl (const juce::File& folder, PSECURITY_DESCRIPTOR descriptor)
    {
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;

        if (! GetSecurityDescriptorDacl (descriptor, &present, &dacl, &defaulted) || ! present)
            return false;

        auto handle = CreateFileW (widePath (folder).c_str(), WRITE_DAC | READ_CONTROL, shareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return false;

        const auto set = SetSecurityInfo (handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                          nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
        CloseHandle (handle);
        return set;
    }

    enum class Check { ours, foreign, link, missing };

    /** Checks the owner, the DACL and the type of a folder, without following a link. */
    Check checkFolder (const juce::File& folder, ACCESS_MASK forbidden)
    {
        auto handle = CreateFileW (widePath (folder).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, shareAll, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return Check::missing;

        BY_HANDLE_FILE_INFORMATION info {};
        PSID owner = nullptr;
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;

        const auto plain = informationOf (handle, info) && isPlainFolder (info);
        const auto read = plain && GetSecurityInfo (handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                    &owner, nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS;
        CloseHandle (handle);

        if (! plain)
            return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Check::link : Check::foreign;

        if (! read)
            return Check::foreign;

        const Sid administrators (WinBuiltinAdministratorsSid), system (WinLocalSystemSid);
        auto user = currentUserSid();
        auto trusted = [&] (PSID sid)
        {
            return administrators.matches (sid) || system.matches (sid) || (! user.empty() && sid != nullptr && EqualSid (user.data(), sid));
        };

        // A null DACL lets everyone do everything.
        auto ok = trusted (owner) && dacl != nullptr;

        for (DWORD i = 0; ok && dacl != nullptr && i < dacl->AceCount; ++i)
        {
            ACE_HEADER* ace = nullptr;

            if (! GetAce (dacl, i, (void**) &ace))
            {
                ok = false;
                break;
            }

            if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE) != 0)
                continue;

            auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*> (ace);

            if ((allowed->Mask & forbidden) != 0 && ! trusted ((PSID) &allowed->SidStart))
                ok = false;
        }

        LocalFree (descriptor);
        return ok ? Check::ours : Check::foreign;
    }
}

PrivateFolder preparePrivateFolder()
{
    wchar_t path[MAX_PATH + 1] = {};

    if (! SHGetSpecialFolderPathW (nullptr, path, CSIDL_COMMON_APPDATA, FALSE))
        return { {}, "The manager's private folder cannot be used: the system's program data folder is unknown." };

    const auto maker = fromWide (path).getChildFile ("Quillotone");
    const auto wanted = maker.getChildFile ("PluginManager");

    auto refuse = [&wanted] (const juce::String& why)
    {
        return PrivateFolder { {}, "The manager's private folder " + wanted.getFullPathName() + " cannot be used: " + why };
    };

    PSECURITY_DESCRIPTOR descriptor = nullptr;

    if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (privateFolderSddl, SDDL_REVISION_1, &descriptor, nullptr))
        return refuse ("its permissions cannot be prepared.");

    const juce::ScopeGuard freeDescriptor { [descriptor] { LocalFree (descriptor); } };
    SECURITY_ATTRIBUTES attributes { sizeof (SECURITY_ATTRIBUTES), descriptor, FALSE };

    // The maker's folder may hold other products' data and let users add to
    // it; nobody else may take it over, or they could swap ours away.
    if (CreateDirectoryW (widePath (maker).c_str(), &attributes))
        applyPrivateDacl (maker, descriptor);

    switch (checkFolder (maker, takeoverRights))
    {
        case Check::ours:    break;
        case Check::link:    return refuse (maker.getFullPathName() + " is a link.");
        case Check::missing: return refuse (maker.getFullPathName() + " cannot be created.");
        case Check::foreign: return refuse (maker.getFullPathName() + " belongs to another account.");
    }

    if (CreateDirectoryW (widePath (wanted).c_str(), &attributes))
        applyPrivateDacl (wanted, descriptor);

    auto check = checkFolder (wanted, writeRights);

    // One made by someone else (or a link) is moved aside, never entered,
    // and a fresh one takes its place.
    if (check == Check::foreign || check == Check::link)
    {
        const auto aside = wanted.getSiblingFile ("PluginManager.refused." + juce::Uuid().toString());

        if (! MoveFileExW (widePath (wanted).c_str(), widePath (aside).c_str(), 0))
            return refuse ("it was made by another account and cannot be moved aside.");

        if (CreateDirectoryW (widePath (wanted).c_str(), &attributes))
            applyPrivateDacl (wanted, descriptor);

        check = checkFolder (wanted, writeRights);
    }

    if (check != Check::ours)
        return refuse ("its owner or permissions are not the manager's.");

    return { wanted, {} };
}

juce::File createFreshPrivateFolder (const juce::File& parent, const juce::String& prefix)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;

    if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (privateFolderSddl, SDDL_REVISION_1, &descriptor, nullptr))
        return {};

    const juce::ScopeGuard freeDescriptor { [descriptor] { LocalFree (descriptor); } };
    SECURITY_ATTRIBUTES attributes { sizeof (SECURITY_ATTRIBUTES), descriptor, FALSE };

    // CreateDirectoryW fails on any existing name: a folder someone made
    // first is never taken over.
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const auto folder = parent.getChildFile (prefix + juce::Uuid().toString());

        if (CreateDirectoryW (widePath (folder).c_str(), &attributes))
            return applyPrivateDacl (folder, descriptor) ? folder : juce::File();

        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }

    return {};
}

} // namespace platform
