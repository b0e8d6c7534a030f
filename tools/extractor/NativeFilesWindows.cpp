#include "NativeFiles.h"

#include <algorithm>

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

namespace quillex::native
{

namespace
{
    std::wstring widen (const std::string& text)
    {
        auto length = MultiByteToWideChar (CP_UTF8, 0, text.data(), (int) text.size(), nullptr, 0);
        std::wstring wide ((std::size_t) length, L'\0');
        MultiByteToWideChar (CP_UTF8, 0, text.data(), (int) text.size(), wide.data(), length);
        return wide;
    }

    std::string narrow (const std::wstring& wide)
    {
        auto length = WideCharToMultiByte (CP_UTF8, 0, wide.data(), (int) wide.size(), nullptr, 0, nullptr, nullptr);
        std::string text ((std::size_t) length, '\0');
        WideCharToMultiByte (CP_UTF8, 0, wide.data(), (int) wide.size(), text.data(), length, nullptr, nullptr);
        return text;
    }

    /** The "\\?\" form of an absolute path, which lifts the 260-character limit
        and turns off the name rewriting that the checks already made moot.
    */
    std::wstring longPath (const std::string& path)
    {
        auto wide = widen (path);

        for (auto& c : wide)
            if (c == L'/')
                c = L'\\';

        if (wide.rfind (L"\\\\?\\", 0) == 0)
            return wide;

        if (wide.rfind (L"\\\\", 0) == 0)
            return L"\\\\?\\UNC\\" + wide.substr (2);

        return L"\\\\?\\" + wide;
    }

    std::string reason (DWORD error)
    {
        wchar_t* text = nullptr;
        auto length = FormatMessageW (FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, reinterpret_cast<wchar_t*> (&text), 0, nullptr);
        std::wstring message = length > 0 ? std::wstring (text, length) : L"error " + std::to_wstring (error);
        LocalFree (text);

        while (! message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.' || message.back() == L' '))
            message.pop_back();

        return narrow (message);
    }

    [[noreturn]] void cannotWrite (const std::string& path, DWORD error)
    {
        if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
            throw Complaint { ExitCode::writeFailed, "Out of space while writing " + path + "." };

        throw Complaint { ExitCode::writeFailed, "Cannot write " + path + ": " + reason (error) + "." };
    }

    PathState stateOfWide (const std::wstring& path)
    {
        auto attributes = GetFileAttributesW (path.c_str());

        if (attributes == INVALID_FILE_ATTRIBUTES)
        {
            auto error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathState::missing : PathState::other;
        }

        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)  return PathState::link;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)      return PathState::folder;
        if (attributes & FILE_ATTRIBUTE_DEVICE)         return PathState::other;
        return PathState::file;
    }

    std::string parentOf (const std::string& path)
    {
        auto slash = path.find_last_of ("\\/");
        return slash == std::string::npos ? path : path.substr (0, slash);
    }

    std::string join (const std::vector<std::string>& pieces, std::size_t count)
    {
        std::string path;

        for (std::size_t i = 0; i < count; ++i)
            path += (i > 0 ? "\\" : "") + pieces[i];

        return path;
    }
}

//==============================================================================
PathState stateOf (const std::string& path)  { return stateOfWide (longPath (absolute (path))); }

char separator()  { return '\\'; }

std::string absolute (const std::string& path)
{
    auto wide = widen (path.empty() ? std::string (".") : path);
    auto length = GetFullPathNameW (wide.c_str(), 0, nullptr, nullptr);

    if (length == 0)
        return path;

    std::wstring full (length, L'\0');
    length = GetFullPathNameW (wide.c_str(), length, full.data(), nullptr);
    full.resize (length);
    return narrow (full);
}

std::uint64_t freeSpace (const std::string& path)
{
    auto existing = absolute (path);

    while (stateOf (existing) != PathState::folder && parentOf (existing) != existing)
        existing = parentOf (existing);

    ULARGE_INTEGER available {};

    if (! GetDiskFreeSpaceExW (longPath (existing + "\\").c_str(), &available, nullptr, nullptr))
        return UINT64_MAX;   // unknown: the writes will tell

    return available.QuadPart;
}

//==============================================================================
struct InputFile::Handle
{
    HANDLE file = INVALID_HANDLE_VALUE;
};

InputFile::InputFile (const std::string& path, const std::string& name)
    : handle (std::make_unique<Handle>()), displayName (name)
{
    auto wide = longPath (absolute (path));
    auto state = stateOfWide (wide);

    if (state == PathState::folder)
        throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is a folder." };

    handle->file = CreateFileW (wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);

    if (handle->file == INVALID_HANDLE_VALUE)
        throw Complaint { ExitCode::notInstaller, "Cannot open the installer " + name + ": " + reason (GetLastError()) + "." };

    LARGE_INTEGER size {};

    if (GetFileType (handle->file) != FILE_TYPE_DISK || ! GetFileSizeEx (handle->file, &size))
        throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is not a file." };

    length = (std::uint64_t) size.QuadPart;
}

InputFile::~InputFile()
{
    if (handle->file != INVALID_HANDLE_VALUE)
        CloseHandle (handle->file);
}

void InputFile::read (std::uint64_t offset, void* buffer, std::size_t bytes)
{
    auto* out = static_cast<char*> (buffer);

    while (bytes > 0)
    {
        OVERLAPPED at {};
        at.Offset = (DWORD) offset;
        at.OffsetHigh = (DWORD) (offset >> 32);
        DWORD got = 0;
        auto chunk = (DWORD) std::min<std::size_t> (bytes, 1u << 30);

        if (! ReadFile (handle->file, out, chunk, &got, &at) || got == 0)
        {
            auto error = GetLastError();
            throw Complaint { ExitCode::damaged, "Cannot read the installer " + displayName + ": "
                                + (got == 0 && error == ERROR_HANDLE_EOF ? std::string ("it ended early") : reason (error)) + "." };
        }

        out += got;
        offset += got;
        bytes -= got;
    }
}

//==============================================================================
struct OutputTree::State
{
    std::string root;
    std::vector<std::string> createdAbove;                    // the root and parents this run made
    std::vector<std::pair<std::string, bool>> created;        // full path, is a folder
    std::string openFolderPath = "\x01";                      // the folder of the last entry, checked

    HANDLE file = INVALID_HANDLE_VALUE;
    std::string filePath;

    std::string full (const std::string& relative) const   { return relative.empty() ? root : root + "\\" + relative; }
};

OutputTree::OutputTree (const std::string& root)
    : state (std::make_unique<State>())
{
    state->root = root;

    std::vector<std::string> missing;

    for (auto path = root; stateOf (path) == PathState::missing && parentOf (path) != path; path = parentOf (path))
        missing.push_back (path);

    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    {
        if (! CreateDirectoryW (longPath (*it).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        {
            auto error = GetLastError();
            rollback();
            cannotWrite (*it, error);
        }

        state->createdAbove.push_back (*it);
    }

    if (stateOfWide (longPath (root)) == PathState::file)
    {
        rollback();
        cannotWrite (root, ERROR_DIRECTORY);
    }
}

OutputTree::~OutputTree()
{
    if (state->file != INVALID_HANDLE_VALUE)
        CloseHandle (state->file);
}

void OutputTree::makeFolders (const std::vector<std::string>& pieces, std::size_t count)
{
    auto relative = join (pieces, count);

    if (relative == state->openFolderPath)
        return;

    // Windows has no openat(): each piece is checked just before it is used.
    for (std::size_t i = 1; i <= count; ++i)
    {
        auto path = state->full (join (pieces, i));
        auto wide = longPath (path);
        auto current = stateOfWide (wide);

        if (current == PathState::missing)
        {
            if (CreateDirectoryW (wide.c_str(), nullptr))
            {
                state->created.emplace_back (path, true);
                continue;
            }

            if (GetLastError() != ERROR_ALREADY_EXISTS)
                cannotWrite (path, GetLastError());

            current = stateOfWide (wide);
        }

        if (current == PathState::link)
            throw Complaint { ExitCode::unsafe, "Refused: " + path + " in the output folder is a link." };

        if (current != PathState::folder)
            throw Complaint { ExitCode::unsafe, "Refused: " + path + " is in the way in the output folder." };
    }

    state->openFolderPath = relative;
}

void OutputTree::beginFile (const std::vector<std::string>& pieces, bool overwrite)
{
    makeFolders (pieces, pieces.size() - 1);

    state->filePath = state->full (join (pieces, pieces.size()));
    auto wide = longPath (state->filePath);
    auto current = stateOfWide (wide);

    if (current == PathState::link)
        throw Complaint { ExitCode::unsafe, "Refused: " + state->filePath + " in the output folder is a link." };

    if (current == PathState::folder || current == PathState::other)
        throw Complaint { ExitCode::unsafe, "Refused: " + state->filePath + " is in the way in the output folder." };

    if (current == PathState::file && ! overwrite)
        throw Complaint { ExitCode::unsafe, "Refused: " + state->filePath + " exists already (-y replaces files)." };

    state->file = CreateFileW (wide.c_str(), GENERIC_WRITE, 0, nullptr, overwrite ? CREATE_ALWAYS : CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

    if (state->file == INVALID_HANDLE_VALUE)
        cannotWrite (state->filePath, GetLastError());

    state->created.emplace_back (state->filePath, false);
}

void OutputTree::write (const void* data, std::size_t bytes)
{
    auto* in = static_cast<const char*> (data);

    while (bytes > 0)
    {
        DWORD done = 0;
        auto chunk = (DWORD) std::min<std::size_t> (bytes, 1u << 30);

        if (! WriteFile (state->file, in, chunk, &done, nullptr) || done == 0)
            cannotWrite (state->filePath, done == 0 && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError());

        in += done;
        bytes -= done;
    }
}

void OutputTree::endFile()
{
    auto file = state->file;
    state->file = INVALID_HANDLE_VALUE;

    if (! CloseHandle (file))
        cannotWrite (state->filePath, GetLastError());
}

void OutputTree::rollback() noexcept
{
    if (state->file != INVALID_HANDLE_VALUE)
        CloseHandle (state->file);

    state->file = INVALID_HANDLE_VALUE;
    state->openFolderPath = "\x01";

    for (auto it = state->created.rbegin(); it != state->created.rend(); ++it)
    {
        auto wide = longPath (it->first);

        if (it->second)
            RemoveDirectoryW (wide.c_str());
        else
            DeleteFileW (wide.c_str());
    }

    state->created.clear();

    for (auto it = state->createdAbove.rbegin(); it != state->createdAbove.rend(); ++it)
        RemoveDirectoryW (longPath (*it).c_str());

    state->createdAbove.clear();
}

} // namespace quillex::native
