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

void sleepMilliseconds (int milliseconds)  { Sleep ((DWORD) milliseconds); }

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

    // The link itself, never its target; what was opened is checked through the handle.
    handle->file = CreateFileW (wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

    if (handle->file == INVALID_HANDLE_VALUE)
        throw Complaint { ExitCode::notInstaller, "Cannot open the installer " + name + ": " + reason (GetLastError()) + "." };

    LARGE_INTEGER size {};
    BY_HANDLE_FILE_INFORMATION information {};

    if (GetFileType (handle->file) != FILE_TYPE_DISK || ! GetFileInformationByHandle (handle->file, &information)
         || ! GetFileSizeEx (handle->file, &size))
        throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is not a file." };

    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is a link." };

    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is a folder." };

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
namespace
{
    /** Opens a folder or file itself, never what a reparse point leads to.
        Without FILE_SHARE_DELETE, so while the handle is held nobody can
        rename, delete or replace it.
    */
    HANDLE openItself (const std::string& path, DWORD access)
    {
        return CreateFileW (longPath (path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }

    struct Identity
    {
        DWORD volume = 0, high = 0, low = 0;
        bool operator== (const Identity& other) const  { return volume == other.volume && high == other.high && low == other.low; }
    };

    bool describe (HANDLE handle, Identity& identity, DWORD& attributes)
    {
        BY_HANDLE_FILE_INFORMATION information {};

        if (! GetFileInformationByHandle (handle, &information))
            return false;

        identity = { information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow };
        attributes = information.dwFileAttributes;
        return true;
    }

    std::string freshName (const char* suffix)
    {
        static const char* hex = "0123456789abcdef";
        LARGE_INTEGER counter {};
        QueryPerformanceCounter (&counter);
        auto seed = (std::uint64_t) counter.QuadPart ^ ((std::uint64_t) GetCurrentProcessId() << 32) ^ (std::uint64_t) GetTickCount64();
        static std::uint64_t sequence = 0;
        seed = (seed + ++sequence) * 0x9E3779B97F4A7C15ull;
        std::string name = ".quillex-";

        for (int shift = 60; shift >= 0; shift -= 4)
            name += hex[(seed >> shift) & 15];

        return name + "." + suffix;
    }

    [[noreturn]] void refuseLink (const std::string& path)
    {
        throw Complaint { ExitCode::unsafe, "Refused: " + path + " in the output folder is a link." };
    }

    [[noreturn]] void refuseInTheWay (const std::string& path)
    {
        throw Complaint { ExitCode::unsafe, "Refused: " + path + " is in the way in the output folder." };
    }
}

struct OutputTree::State
{
    struct Record
    {
        enum Kind { folder, file, replacedFile } kind;
        std::string path;       // relative, "\" separated
        Identity identity;
        std::string backup;     // the replaced file's temporary name, in the same folder
    };

    std::string root;
    HANDLE rootHandle = INVALID_HANDLE_VALUE;
    std::vector<std::string> createdAbove;      // the root and parents this run made
    std::vector<Record> records;

    // The folders of the last entry, each held open without delete sharing
    // after its check, so none of them can be swapped for a junction while
    // paths through them are in use.
    std::vector<std::string> heldPieces;
    std::vector<HANDLE> held;

    HANDLE file = INVALID_HANDLE_VALUE;
    std::string filePath, tempPath;

    std::string full (const std::string& relative) const   { return relative.empty() ? root : root + "\\" + relative; }

    void release (std::size_t keep)
    {
        while (held.size() > keep)
        {
            CloseHandle (held.back());
            held.pop_back();
            heldPieces.pop_back();
        }
    }

    /** Holds every folder of a relative path from the root, refusing links;
        creates the missing ones when `create` is set (recording them).
        False when `create` is not set and the path is no longer the run's.
    */
    bool hold (const std::vector<std::string>& pieces, std::size_t count, bool create)
    {
        std::size_t same = 0;

        while (same < count && same < heldPieces.size() && heldPieces[same] == pieces[same])
            ++same;

        release (same);

        for (auto i = same; i < count; ++i)
        {
            auto relative = join (pieces, i + 1);
            auto path = full (relative);
            bool made = create && CreateDirectoryW (longPath (path).c_str(), nullptr);

            if (create && ! made && GetLastError() != ERROR_ALREADY_EXISTS)
                cannotWrite (path, GetLastError());

            auto handle = openItself (path, FILE_READ_ATTRIBUTES);
            Identity identity;
            DWORD attributes = 0;

            if (handle == INVALID_HANDLE_VALUE || ! describe (handle, identity, attributes)
                 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || ! (attributes & FILE_ATTRIBUTE_DIRECTORY))
            {
                auto error = GetLastError();

                if (handle != INVALID_HANDLE_VALUE)
                    CloseHandle (handle);

                if (! create)
                    return false;

                if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                    refuseLink (path);

                if (handle != INVALID_HANDLE_VALUE)
                    refuseInTheWay (path);

                cannotWrite (path, error);
            }

            held.push_back (handle);
            heldPieces.push_back (pieces[i]);

            if (made)
                records.push_back ({ Record::folder, relative, identity, {} });
        }

        return true;
    }

    /** Deletes exactly the object that was recorded, through a handle on it. */
    static bool deleteIfOurs (const std::string& path, const Identity& expected)
    {
        auto handle = openItself (path, DELETE | FILE_READ_ATTRIBUTES);

        if (handle == INVALID_HANDLE_VALUE)
            return false;

        Identity identity;
        DWORD attributes = 0;
        FILE_DISPOSITION_INFO disposition { TRUE };
        auto done = describe (handle, identity, attributes) && identity == expected
                     && ! (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                     && SetFileInformationByHandle (handle, FileDispositionInfo, &disposition, sizeof (disposition));
        CloseHandle (handle);
        return done;
    }
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

    // The root itself may be a link: that is the caller's choice. It is held
    // so that it stays the same folder for the whole run.
    state->rootHandle = CreateFileW (longPath (root).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    Identity identity;
    DWORD attributes = 0;

    if (state->rootHandle == INVALID_HANDLE_VALUE || ! describe (state->rootHandle, identity, attributes)
         || ! (attributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        auto error = state->rootHandle == INVALID_HANDLE_VALUE ? GetLastError() : (DWORD) ERROR_DIRECTORY;
        rollback();
        cannotWrite (root, error);
    }
}

OutputTree::~OutputTree()
{
    if (state->file != INVALID_HANDLE_VALUE)
        CloseHandle (state->file);

    state->release (0);

    if (state->rootHandle != INVALID_HANDLE_VALUE)
        CloseHandle (state->rootHandle);
}

void OutputTree::makeFolders (const std::vector<std::string>& pieces, std::size_t count)
{
    state->hold (pieces, count, true);
}

void OutputTree::beginFile (const std::vector<std::string>& pieces, bool overwrite)
{
    makeFolders (pieces, pieces.size() - 1);

    state->filePath = state->full (join (pieces, pieces.size()));
    auto current = stateOfWide (longPath (state->filePath));

    if (current == PathState::link)
        refuseLink (state->filePath);

    if (current == PathState::folder || current == PathState::other)
        refuseInTheWay (state->filePath);

    if (current == PathState::file && ! overwrite)
        throw Complaint { ExitCode::unsafe, "Refused: " + state->filePath + " exists already (-y replaces files)." };

    // Always a new file under a fresh name, moved into place when complete:
    // an existing name may be a hard link to a file elsewhere, or another
    // account's file, and neither is ever opened for writing.
    auto folder = state->full (join (pieces, pieces.size() - 1));

    for (int attempt = 0; state->file == INVALID_HANDLE_VALUE; ++attempt)
    {
        state->tempPath = folder + "\\" + freshName ("part");
        state->file = CreateFileW (longPath (state->tempPath).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (state->file == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt > 8))
            cannotWrite (state->filePath, GetLastError());
    }
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
    State::Record record { State::Record::file, state->filePath.substr (state->root.size() + 1), {}, {} };
    DWORD attributes = 0;
    auto described = describe (state->file, record.identity, attributes);
    auto file = state->file;
    state->file = INVALID_HANDLE_VALUE;
    auto temp = state->tempPath;

    auto fail = [&] (DWORD error)
    {
        DeleteFileW (longPath (temp).c_str());
        cannotWrite (state->filePath, error);
    };

    if (! CloseHandle (file) || ! described)
        fail (GetLastError());

    auto target = longPath (state->filePath);
    auto current = stateOfWide (target);

    if (current == PathState::file)
    {
        // The old file steps aside under a fresh name and comes back if the
        // run fails; it is never written to.
        record.kind = State::Record::replacedFile;
        record.backup = freshName ("old");

        if (! MoveFileExW (target.c_str(), longPath (parentOf (state->filePath) + "\\" + record.backup).c_str(), 0))
            fail (GetLastError());
    }
    else if (current != PathState::missing)
    {
        DeleteFileW (longPath (temp).c_str());
        refuseInTheWay (state->filePath);
    }

    // Without MOVEFILE_REPLACE_EXISTING: never replaces what appeared meanwhile.
    if (! MoveFileExW (longPath (temp).c_str(), target.c_str(), 0))
    {
        auto error = GetLastError();

        if (record.kind == State::Record::replacedFile)
            MoveFileExW (longPath (parentOf (state->filePath) + "\\" + record.backup).c_str(), target.c_str(), 0);

        fail (error);
    }

    state->records.push_back (std::move (record));
}

void OutputTree::commit() noexcept
{
    state->release (0);

    for (auto& record : state->records)
        if (record.kind == State::Record::replacedFile)
            DeleteFileW (longPath (parentOf (state->full (record.path)) + "\\" + record.backup).c_str());

    state->records.clear();
}

void OutputTree::rollback() noexcept
{
    if (state->file != INVALID_HANDLE_VALUE)
    {
        CloseHandle (state->file);
        DeleteFileW (longPath (state->tempPath).c_str());
    }

    state->file = INVALID_HANDLE_VALUE;
    state->release (0);

    // Each undo holds the folders from the root down again, refusing links,
    // and deletes through a handle on the very object the run made.
    for (auto it = state->records.rbegin(); it != state->records.rend(); ++it)
    {
        try
        {
            auto pieces = std::vector<std::string>();
            std::size_t start = 0;

            for (auto slash = it->path.find ('\\'); slash != std::string::npos; slash = it->path.find ('\\', start))
            {
                pieces.push_back (it->path.substr (start, slash - start));
                start = slash + 1;
            }

            if (! state->hold (pieces, pieces.size(), false))
                continue;

            auto path = state->full (it->path);

            if (State::deleteIfOurs (path, it->identity) && it->kind == State::Record::replacedFile)
                MoveFileExW (longPath (state->full (join (pieces, pieces.size())) + "\\" + it->backup).c_str(),
                             longPath (path).c_str(), 0);
        }
        catch (...) {}
    }

    state->release (0);
    state->records.clear();

    if (state->rootHandle != INVALID_HANDLE_VALUE)
        CloseHandle (state->rootHandle);

    state->rootHandle = INVALID_HANDLE_VALUE;

    for (auto it = state->createdAbove.rbegin(); it != state->createdAbove.rend(); ++it)
        RemoveDirectoryW (longPath (*it).c_str());

    state->createdAbove.clear();
}

} // namespace quillex::native
