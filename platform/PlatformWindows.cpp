#include "platform/Platform.h"
#include "platform/WindowsFiles.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstddef>
#include <cstring>

#include <vector>

namespace platform
{

using win::fromWide;
using win::widePath;

namespace
{
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

} // namespace platform
