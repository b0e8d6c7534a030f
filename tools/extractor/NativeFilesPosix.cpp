#include "NativeFiles.h"

#include <cerrno>
#include <cstring>
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
    handle->fd = ::open (path.c_str(), O_RDONLY | O_CLOEXEC);

    if (handle->fd < 0)
        throw Complaint { ExitCode::notInstaller, "Cannot open the installer " + name + ": " + reason (errno) + "." };

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
struct OutputTree::State
{
    std::string root;
    int rootFd = -1;
    std::vector<std::string> createdAbove;                    // the root and parents this run made
    std::vector<std::pair<std::string, bool>> created;        // relative path, is a folder

    // The folder of the last entry, kept open: entries come folder by folder.
    std::string openFolderPath;
    int openFolderFd = -1;

    int fileFd = -1;
    std::string filePath;

    int folderFd() const     { return openFolderFd >= 0 ? openFolderFd : rootFd; }
    std::string shown (const std::string& relative) const  { return root + "/" + relative; }

    void closeFolder()
    {
        if (openFolderFd >= 0)
            ::close (openFolderFd);

        openFolderFd = -1;
        openFolderPath.clear();
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

    // The root itself may be a link: that is the caller's choice.
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

        if (::mkdirat (folder, name, 0755) == 0)
            state->created.emplace_back (path, true);
        else if (errno != EEXIST)
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

    auto flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    state->fileFd = ::openat (state->folderFd(), pieces.back().c_str(), flags, 0644);

    if (state->fileFd < 0)
    {
        auto error = errno;
        auto what = stateAt (state->folderFd(), pieces.back().c_str());

        if (error == ELOOP || what == PathState::link)
            refuseExisting (state->shown (state->filePath), PathState::link);

        if (error == EEXIST || error == EISDIR)
            throw Complaint { ExitCode::unsafe, "Refused: " + state->shown (state->filePath)
                                + (error == EEXIST ? " exists already (-y replaces files)." : " is in the way in the output folder.") };

        cannotWrite (state->shown (state->filePath), error);
    }

    state->created.emplace_back (state->filePath, false);
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
    state->fileFd = -1;

    if (::close (fd) != 0)
        cannotWrite (state->shown (state->filePath), errno);
}

void OutputTree::rollback() noexcept
{
    if (state->fileFd >= 0)
        ::close (state->fileFd);

    state->fileFd = -1;
    state->closeFolder();

    if (state->rootFd >= 0)
        for (auto it = state->created.rbegin(); it != state->created.rend(); ++it)
            ::unlinkat (state->rootFd, it->first.c_str(), it->second ? AT_REMOVEDIR : 0);

    state->created.clear();

    if (state->rootFd >= 0)
        ::close (state->rootFd);

    state->rootFd = -1;

    for (auto it = state->createdAbove.rbegin(); it != state->createdAbove.rend(); ++it)
        ::rmdir (it->c_str());

    state->createdAbove.clear();
}

} // namespace quillex::native
