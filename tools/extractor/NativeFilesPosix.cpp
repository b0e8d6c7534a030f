#include "NativeFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace quillex::native
{

namespace
{
    std::string reason (int error)   { return std::strerror (error); }

    [[noreturn]] void cannotWrite (const std::string& path, int error)
    {
        if (error == ENOSPC || error == EDQUOT)
            throw Complaint { ExitCode::writeFailed, "Out of space while writing " + path + "." };

        throw Complaint { ExitCode::writeFailed, "Cannot write " + path + ": " + reason (error) + "." };
    }

    [[noreturn]] void refuseExisting (const std::string& path, PathState state)
    {
        throw Complaint { ExitCode::unsafe, "Refused: " + path
                            + (state == PathState::link ? " in the output folder is a link."
                                                        : " is in the way in the output folder.") };
    }

    PathState stateAt (int folder, const char* name)
    {
        struct stat info {};

        if (fstatat (folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT || errno == ENOTDIR ? PathState::missing : PathState::other;

        if (S_ISLNK (info.st_mode))  return PathState::link;
        if (S_ISDIR (info.st_mode))  return PathState::folder;
        if (S_ISREG (info.st_mode))  return PathState::file;
        return PathState::other;
    }

    std::string parentOf (const std::string& path)
    {
        auto slash = path.find_last_of ('/');
        return slash == std::string::npos || slash == 0 ? std::string ("/") : path.substr (0, slash);
    }
}

//==============================================================================
PathState stateOf (const std::string& path)  { return stateAt (AT_FDCWD, path.c_str()); }

char separator()  { return '/'; }

void sleepMilliseconds (int milliseconds)  { ::usleep ((useconds_t) milliseconds * 1000); }

std::string absolute (const std::string& path)
{
    if (! path.empty() && path.front() == '/')
        return path;

    std::string folder (4096, '\0');

    while (getcwd (folder.data(), folder.size()) == nullptr)
    {
        if (errno != ERANGE)
            throw Complaint { ExitCode::writeFailed, "Cannot find the current folder: " + reason (errno) + "." };

        folder.resize (folder.size() * 2);
    }

    folder.resize (std::strlen (folder.c_str()));
    return path.empty() || path == "." ? folder : folder + (folder == "/" ? "" : "/") + path;
}

std::uint64_t freeSpace (const std::string& path)
{
    auto existing = path;
    struct stat info {};

    while (stat (existing.c_str(), &info) != 0 && existing != "/")
        existing = parentOf (existing);

    struct statvfs volume {};

    if (statvfs (existing.c_str(), &volume) != 0)
        return UINT64_MAX;   // unknown: the writes will tell

    return (std::uint64_t) volume.f_bavail * volume.f_frsize;
}

//==============================================================================
struct InputFile::Handle
{
    int fd = -1;
};

InputFile::InputFile (const std::string& path, const std::string& name)
    : handle (std::make_unique<Handle>()), displayName (name)
{
    // Never blocks (a FIFO would wait for a writer for ever) and never follows
    // a link; what was opened is checked through the descriptor.
    handle->fd = ::open (path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);

    if (handle->fd < 0)
    {
        if (errno == ELOOP)
            throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is a link." };

        if (errno == ENXIO || errno == EWOULDBLOCK)
            throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is not a file." };

        throw Complaint { ExitCode::notInstaller, "Cannot open the installer " + name + ": " + reason (errno) + "." };
    }

    struct stat info {};

    if (fstat (handle->fd, &info) != 0)
        throw Complaint { ExitCode::notInstaller, "Cannot open the installer " + name + ": " + reason (errno) + "." };

    if (S_ISDIR (info.st_mode))
        throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is a folder." };

    if (! S_ISREG (info.st_mode))
        throw Complaint { ExitCode::notInstaller, "Not an installer: " + name + " is not a file." };

    length = (std::uint64_t) info.st_size;
}

InputFile::~InputFile()
{
    if (handle->fd >= 0)
        ::close (handle->fd);
}

void InputFile::read (std::uint64_t offset, void* buffer, std::size_t bytes)
{
    auto* out = static_cast<char*> (buffer);

    while (bytes > 0)
    {
        auto got = ::pread (handle->fd, out, bytes, (off_t) offset);

        if (got < 0 && errno == EINTR)
            continue;

        if (got <= 0)
            throw Complaint { ExitCode::damaged, "Cannot read the installer " + displayName + ": "
                                + (got == 0 ? std::string ("it ended early") : reason (errno)) + "." };

        out += got;
        offset += (std::uint64_t) got;
        bytes -= (std::size_t) got;
    }
}

//==============================================================================
namespace
{
    /** A name no entry and no other run uses: ".quillex-<16 hex>.<suffix>". */
    std::string freshName (const char* suffix)
    {
        static const char* hex = "0123456789abcdef";
        unsigned char random[8] {};
        auto fd = ::open ("/dev/urandom", O_RDONLY | O_CLOEXEC);

        if (fd < 0 || ::read (fd, random, sizeof (random)) != (ssize_t) sizeof (random))
            for (auto& byte : random)
                byte = (unsigned char) std::rand();

        if (fd >= 0)
            ::close (fd);

        std::string name = ".quillex-";

        for (auto byte : random)
        {
            name += hex[byte >> 4];
            name += hex[byte & 15];
        }

        return name + "." + suffix;
    }

    std::string leafOf (const std::string& relative)
    {
        auto slash = relative.find_last_of ('/');
        return slash == std::string::npos ? relative : relative.substr (slash + 1);
    }
}

struct OutputTree::State
{
    /** What the run did at one place, so a rollback can undo exactly that. */
    struct Record
    {
        enum Kind { folder, file, replacedFile } kind;
        std::string path;       // relative to the root
        dev_t device = 0;       // of what the run put there
        ino_t inode = 0;
        std::string backup;     // the replaced file's temporary name, in the same folder
    };

    std::string root;
    int rootFd = -1;
    std::vector<std::string> createdAbove;  // the root and parents this run made
    std::vector<Record> records;

    // The folder of the last entry, kept open: entries come folder by folder.
    std::string openFolderPath;
    int openFolderFd = -1;

    int fileFd = -1;
    std::string filePath, fileLeaf, tempName;

    int folderFd() const     { return openFolderFd >= 0 ? openFolderFd : rootFd; }
    std::string shown (const std::string& relative) const  { return root + "/" + relative; }

    void closeFolder()
    {
        if (openFolderFd >= 0)
            ::close (openFolderFd);

        openFolderFd = -1;
        openFolderPath.clear();
    }

    /** The folder holding a relative path, opened piece by piece from the root
        without following links; -1 when something on the way is no longer
        the run's folder. The caller closes it unless it is rootFd.
    */
    int openParent (const std::string& relative) const
    {
        int folder = rootFd;
        std::size_t start = 0;

        for (auto slash = relative.find ('/'); slash != std::string::npos; slash = relative.find ('/', start))
        {
            auto piece = relative.substr (start, slash - start);
            auto next = ::openat (folder, piece.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);

            if (folder != rootFd)
                ::close (folder);

            if (next < 0)
                return -1;

            folder = next;
            start = slash + 1;
        }

        return folder;
    }

    /** True when the name in the folder is still the object the run made. */
    static bool isOurs (int folder, const std::string& leaf, const Record& record)
    {
        struct stat info {};
        return fstatat (folder, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
                && info.st_dev == record.device && info.st_ino == record.inode;
    }
};

OutputTree::OutputTree (const std::string& root)
    : state (std::make_unique<State>())
{
    state->root = root;

    std::vector<std::string> missing;

    for (auto path = root; stateOf (path) == PathState::missing && path != "/"; path = parentOf (path))
        missing.push_back (path);

    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    {
        if (::mkdir (it->c_str(), 0755) != 0 && errno != EEXIST)
            cannotWrite (*it, errno);

        state->createdAbove.push_back (*it);
    }

    // The root itself may be a link: that is the caller's choice. Everything
    // below it is reached through this descriptor only.
    state->rootFd = ::open (root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (state->rootFd < 0)
    {
        auto error = errno;
        rollback();
        cannotWrite (root, error);
    }
}

OutputTree::~OutputTree()
{
    if (state->fileFd >= 0)
        ::close (state->fileFd);

    state->closeFolder();

    if (state->rootFd >= 0)
        ::close (state->rootFd);
}

void OutputTree::makeFolders (const std::vector<std::string>& pieces, std::size_t count)
{
    std::string relative;

    for (std::size_t i = 0; i < count; ++i)
        relative += (i > 0 ? "/" : "") + pieces[i];

    if (relative == state->openFolderPath && (count == 0 || state->openFolderFd >= 0))
        return;

    state->closeFolder();
    int folder = state->rootFd;
    std::string path;

    // One piece at a time from the root, never through a link, so nothing that
    // appears on the way can lead the writes out of the tree.
    for (std::size_t i = 0; i < count; ++i)
    {
        path += (i > 0 ? "/" : "") + pieces[i];
        auto* name = pieces[i].c_str();
        auto made = ::mkdirat (folder, name, 0755) == 0;

        if (! made && errno != EEXIST)
            cannotWrite (state->shown (path), errno);

        auto next = ::openat (folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        auto error = errno;
        auto what = next < 0 ? stateAt (folder, name) : PathState::folder;

        if (folder != state->rootFd)
            ::close (folder);

        if (next < 0)
        {
            if (error == ELOOP || error == ENOTDIR || what == PathState::link)
                refuseExisting (state->shown (path), error == ELOOP ? PathState::link : what);

            cannotWrite (state->shown (path), error);
        }

        if (made)
        {
            struct stat info {};
            fstat (next, &info);
            state->records.push_back ({ State::Record::folder, path, info.st_dev, info.st_ino, {} });
        }

        folder = next;
    }

    state->openFolderFd = folder == state->rootFd ? -1 : folder;
    state->openFolderPath = relative;
}

void OutputTree::beginFile (const std::vector<std::string>& pieces, bool overwrite)
{
    makeFolders (pieces, pieces.size() - 1);

    state->filePath.clear();

    for (std::size_t i = 0; i < pieces.size(); ++i)
        state->filePath += (i > 0 ? "/" : "") + pieces[i];

    state->fileLeaf = pieces.back();
    auto what = stateAt (state->folderFd(), state->fileLeaf.c_str());

    if (what == PathState::link || what == PathState::folder || what == PathState::other)
        refuseExisting (state->shown (state->filePath), what);

    if (what == PathState::file && ! overwrite)
        throw Complaint { ExitCode::unsafe, "Refused: " + state->shown (state->filePath) + " exists already (-y replaces files)." };

    // Always a new file under a fresh name, renamed into place when complete:
    // an existing name may be a hard link to a file elsewhere, or another
    // account's file, and neither is ever opened for writing.
    for (int attempt = 0; state->fileFd < 0; ++attempt)
    {
        state->tempName = freshName ("part");
        state->fileFd = ::openat (state->folderFd(), state->tempName.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);

        if (state->fileFd < 0 && (errno != EEXIST || attempt > 8))
            cannotWrite (state->shown (state->filePath), errno);
    }
}

void OutputTree::write (const void* data, std::size_t bytes)
{
    auto* in = static_cast<const char*> (data);

    while (bytes > 0)
    {
        auto done = ::write (state->fileFd, in, bytes);

        if (done < 0 && errno == EINTR)
            continue;

        if (done <= 0)
            cannotWrite (state->shown (state->filePath), done == 0 ? ENOSPC : errno);

        in += done;
        bytes -= (std::size_t) done;
    }
}

void OutputTree::endFile()
{
    auto fd = state->fileFd;
    struct stat info {};
    fstat (fd, &info);
    state->fileFd = -1;

    auto folder = state->folderFd();
    auto temp = state->tempName;
    auto& leaf = state->fileLeaf;

    auto fail = [&] (int error)
    {
        ::unlinkat (folder, temp.c_str(), 0);
        cannotWrite (state->shown (state->filePath), error);
    };

    if (::close (fd) != 0)
        fail (errno);

    State::Record record { State::Record::file, state->filePath, info.st_dev, info.st_ino, {} };
    auto what = stateAt (folder, leaf.c_str());

    if (what == PathState::file)
    {
        // The old file steps aside under a fresh name and comes back if the
        // run fails; it is never written to.
        record.kind = State::Record::replacedFile;
        record.backup = freshName ("old");

        if (::renameat (folder, leaf.c_str(), folder, record.backup.c_str()) != 0)
            fail (errno);
    }
    else if (what != PathState::missing)
    {
        ::unlinkat (folder, temp.c_str(), 0);
        refuseExisting (state->shown (state->filePath), what);
    }

    // Never replaces what appeared in the meantime.
    if (::renameat2 (folder, temp.c_str(), folder, leaf.c_str(), RENAME_NOREPLACE) != 0)
    {
        auto error = errno;

        if (record.kind == State::Record::replacedFile)
            ::renameat (folder, record.backup.c_str(), folder, leaf.c_str());

        if (error == EEXIST)
        {
            ::unlinkat (folder, temp.c_str(), 0);
            refuseExisting (state->shown (state->filePath), PathState::other);
        }

        fail (error);
    }

    state->records.push_back (std::move (record));
}

void OutputTree::commit() noexcept
{
    for (auto& record : state->records)
    {
        if (record.kind != State::Record::replacedFile)
            continue;

        auto folder = state->openParent (record.path);

        if (folder >= 0)
            ::unlinkat (folder, record.backup.c_str(), 0);

        if (folder >= 0 && folder != state->rootFd)
            ::close (folder);
    }

    state->records.clear();
}

void OutputTree::rollback() noexcept
{
    if (state->fileFd >= 0)
    {
        ::close (state->fileFd);
        ::unlinkat (state->folderFd(), state->tempName.c_str(), 0);
    }

    state->fileFd = -1;
    state->closeFolder();

    // Each undo walks down from the root again without following links, and
    // touches a name only while it is still what this run put there: a folder
    // swapped for a link since leads nowhere.
    if (state->rootFd >= 0)
    {
        for (auto it = state->records.rbegin(); it != state->records.rend(); ++it)
        {
            auto folder = state->openParent (it->path);

            if (folder < 0)
                continue;

            auto leaf = leafOf (it->path);

            if (State::isOurs (folder, leaf, *it))
            {
                ::unlinkat (folder, leaf.c_str(), it->kind == State::Record::folder ? AT_REMOVEDIR : 0);

                if (it->kind == State::Record::replacedFile)
                    ::renameat2 (folder, it->backup.c_str(), folder, leaf.c_str(), RENAME_NOREPLACE);
            }

            if (folder != state->rootFd)
                ::close (folder);
        }
    }

    state->records.clear();

    if (state->rootFd >= 0)
        ::close (state->rootFd);

    state->rootFd = -1;

    for (auto it = state->createdAbove.rbegin(); it != state->createdAbove.rend(); ++it)
        ::rmdir (it->c_str());

    state->createdAbove.clear();
}

} // namespace quillex::native
