#include "platform/Platform.h"

#include <cerrno>
#include <dirent.h>
#include <cstdio>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

#if JUCE_MAC
 #include <mach-o/dyld.h>
#endif

namespace platform
{

juce::File sharedDocumentsFolder()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
}

bool isLink (const juce::File& path)
{
    struct stat info {};
    return ::lstat (path.getFullPathName().toRawUTF8(), &info) == 0 && S_ISLNK (info.st_mode);
}

bool isRegularFile (const juce::File& path)
{
    struct stat info {};
    return ::lstat (path.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode);
}

juce::File resolveLink (const juce::File& path)
{
    if (! isLink (path))
        return path;

    char resolved[PATH_MAX] = {};

    if (::realpath (path.getFullPathName().toRawUTF8(), resolved) == nullptr)
        return path;

    return juce::File (juce::String::fromUTF8 (resolved));
}

//==============================================================================
namespace
{
    juce::File homeTrashFolder()
    {
        auto dataHome = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});

        if (! juce::File::isAbsolutePath (dataHome))
            return juce::File ("~/.local/share/Trash");

        return juce::File (dataHome).getChildFile ("Trash");
    }

    // The trash info file stores the original path percent-encoded, byte by byte.
    juce::String encodeTrashPath (const juce::String& path)
    {
        juce::String result;

        for (auto* p = path.toRawUTF8(); *p != 0; ++p)
        {
            auto c = static_cast<unsigned char> (*p);

            if (juce::CharacterFunctions::isLetterOrDigit (static_cast<char> (c)) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
                result << static_cast<char> (c);
            else
                result << "%" << juce::String::toHexString (static_cast<int> (c)).paddedLeft ('0', 2).toUpperCase();
        }

        return result;
    }

    juce::String deletionDate()
    {
        auto now = std::time (nullptr);
        std::tm local {};
        ::localtime_r (&now, &local);
        char text[32] = {};
        std::strftime (text, sizeof (text), "%Y-%m-%dT%H:%M:%S", &local);
        return text;
    }
}

bool moveToTrash (const juce::File& path)
{
    if (! path.exists() && ! isLink (path))
        return false;

    auto trash = homeTrashFolder();
    auto files = trash.getChildFile ("files");
    auto info  = trash.getChildFile ("info");

    if (! files.createDirectory() || ! info.createDirectory())
        return false;

    // Reserve a unique name by creating its info file exclusively first, as
    // the trash layout asks, so that two removals never collide.
    for (int attempt = 0; attempt < 1000; ++attempt)
    {
        auto name = attempt == 0 ? path.getFileName()
                                 : path.getFileNameWithoutExtension() + "." + juce::String (attempt) + path.getFileExtension();
        auto target = files.getChildFile (name);
        auto infoFile = info.getChildFile (name + ".trashinfo");

        if (target.exists() || isLink (target))
            continue;

        auto fd = ::open (infoFile.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL, 0600);

        if (fd < 0)
        {
            if (errno == EEXIST)
                continue;

            return false;
        }

        auto text = juce::String ("[Trash Info]\nPath=") + encodeTrashPath (path.getFullPathName())
                  + "\nDeletionDate=" + deletionDate() + "\n";
        auto* bytes = text.toRawUTF8();
        auto size = std::strlen (bytes);
        auto written = ::write (fd, bytes, size);
        ::close (fd);

        if (written == static_cast<ssize_t> (size)
             && ::rename (path.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) == 0)
            return true;

        // Most often another file system, which this home trash cannot take.
        infoFile.deleteFile();
        return false;
    }

    return false;
}

//==============================================================================
juce::File runningExecutable()
{
   #if JUCE_MAC
    char buffer[PATH_MAX] = {};
    uint32_t size = sizeof (buffer);

    if (_NSGetExecutablePath (buffer, &size) == 0)
        return resolveLink (juce::File (juce::String::fromUTF8 (buffer)));
   #else
    char buffer[PATH_MAX] = {};
    auto length = ::readlink ("/proc/self/exe", buffer, sizeof (buffer) - 1);

    if (length > 0)
        return juce::File (juce::String::fromUTF8 (buffer, static_cast<int> (length)));
   #endif

    return juce::File::getSpecialLocation (juce::File::currentExecutableFile);
}

juce::File systemFolder()
{
    return juce::File ("/usr/bin");
}

//==============================================================================
void* loadPluginLibrary (const juce::File& file)
{
    // RTLD_LOCAL keeps a plugin's symbols from resolving another plugin's.
    return ::dlopen (file.getFullPathName().toRawUTF8(), RTLD_NOW | RTLD_LOCAL);
}

void* findLibrarySymbol (void* library, const char* name)
{
    return library != nullptr ? ::dlsym (library, name) : nullptr;
}

void unloadPluginLibrary (void* library)
{
    if (library != nullptr)
        ::dlclose (library);
}

juce::String readSystemFileVersion (const juce::File&)
{
    return {};
}

//==============================================================================
juce::StringArray commandLineArguments (int argc, const char* const* argv)
{
    juce::StringArray args;

    for (int i = 0; i < argc && argv != nullptr; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    return args;
}

//==============================================================================
namespace
{
    /** The argv array posix_spawn wants, owning its strings. */
    struct ArgumentVector
    {
        explicit ArgumentVector (const juce::StringArray& items)
        {
            for (auto& item : items)
                texts.emplace_back (item.toStdString());

            for (auto& text : texts)
                list.push_back (text.data());

            list.push_back (nullptr);
        }

        ArgumentVector (const ArgumentVector&) = delete;
        ArgumentVector& operator= (const ArgumentVector&) = delete;

        char* const* pointers() noexcept                    { return list.data(); }
        const char* operator[] (size_t i) const noexcept    { return list[i]; }

        std::vector<std::string> texts;
        std::vector<char*> list;    // into texts, which no longer changes
    };
}

std::optional<int> runProcess (const juce::StringArray& command, int timeoutMs, const std::function<bool()>& shouldStop,
                               const juce::File& outputFile)
{
    if (command.isEmpty() || ! juce::File::isAbsolutePath (command[0]))
        return std::nullopt;

    ArgumentVector argv (command);

    // Nothing to read from, and output to a file or nowhere: never a pipe, so
    // a chatty child can never stall on a full one.
    const auto output = outputFile == juce::File() ? std::string ("/dev/null") : outputFile.getFullPathName().toStdString();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen (&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
    posix_spawn_file_actions_adddup2 (&actions, STDOUT_FILENO, STDERR_FILENO);

    // A group of its own, so whatever it starts in turn goes with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init (&attributes);
    posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup (&attributes, 0);

    pid_t child = 0;
    const auto spawned = ::posix_spawn (&child, argv[0], &actions, &attributes, argv.pointers(), environ);
    posix_spawnattr_destroy (&attributes);
    posix_spawn_file_actions_destroy (&actions);

    if (spawned != 0)
        return std::nullopt;

    const auto started = juce::Time::getMillisecondCounter();

    for (;;)
    {
        int status = 0;
        const auto result = ::waitpid (child, &status, WNOHANG);

        if (result == child)
        {
            if (WIFEXITED (status))
                return WEXITSTATUS (status);

            if (WIFSIGNALED (status))
                return 128 + WTERMSIG (status);
        }
        else if (result < 0 && errno != EINTR)
        {
            return std::nullopt;
        }

        if (juce::Time::getMillisecondCounter() - started >= (juce::uint32) timeoutMs
             || (shouldStop != nullptr && shouldStop()))
            break;

        juce::Thread::sleep (5);
    }

    ::kill (-child, SIGKILL);

    // A killed process ends at once; reaping it leaves no zombie behind. The
    // bound covers a process stuck in the kernel, which nothing can end.
    for (int i = 0; i < 200 && ::waitpid (child, nullptr, WNOHANG) == 0; ++i)
        juce::Thread::sleep (5);

    return std::nullopt;
}

//==============================================================================
bool startDetached (const juce::File& program, const juce::StringArray& arguments, const juce::String&)
{
    if (arguments.isEmpty())
        return false;

    ArgumentVector argv (arguments);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen (&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen (&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np (&actions, STDERR_FILENO + 1);

    // A session of its own: no controlling terminal, its own process group,
    // so nothing that ends this process or its group reaches it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init (&attributes);
    posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETSID);

    pid_t child = 0;
    const auto path = program.getFullPathName().toStdString();
    const auto spawned = ::posix_spawn (&child, path.c_str(), &actions, &attributes, argv.pointers(), environ);
    posix_spawnattr_destroy (&attributes);
    posix_spawn_file_actions_destroy (&actions);
    return spawned == 0;
}

int currentProcessId()
{
    return (int) ::getpid();
}

//==============================================================================
std::unique_ptr<NewFile> NewFile::create (const juce::File& file)
{
    const auto fd = ::open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);

    if (fd < 0)
        return nullptr;

    std::unique_ptr<NewFile> created (new NewFile());
    created->fd = fd;
    return created;
}

NewFile::~NewFile()
{
    close();
}

bool NewFile::write (const void* data, size_t size)
{
    auto* bytes = static_cast<const char*> (data);

    while (size > 0 && fd >= 0)
    {
        const auto written = ::write (fd, bytes, size);

        if (written < 0 && errno == EINTR)
            continue;

        if (written <= 0)
            return false;

        bytes += written;
        size -= (size_t) written;
    }

    return size == 0;
}

bool NewFile::close()
{
    if (fd < 0)
        return true;

    const auto result = ::close (fd);
    fd = -1;
    return result == 0;
}

bool renameNoReplace (const juce::File& from, const juce::File& to)
{
    const auto source = from.getFullPathName().toStdString(), target = to.getFullPathName().toStdString();

    if (::renameat2 (AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;

    if (errno != EINVAL && errno != ENOSYS)
        return false;

    // A file system without the flag: a hard link cannot replace anything
    // either; for a folder, look first (the only place a race remains).
    struct stat info {};

    if (::lstat (source.c_str(), &info) != 0)
        return false;

    if (! S_ISDIR (info.st_mode))
        return ::link (source.c_str(), target.c_str()) == 0 && ::unlink (source.c_str()) == 0;

    return ::lstat (target.c_str(), &info) != 0 && errno == ENOENT && ::rename (source.c_str(), target.c_str()) == 0;
}

void prepareForUntrustedCode()
{
    // A crash then leaves no core file behind in the working folder.
    const rlimit noCoreFiles { 0, 0 };
    ::setrlimit (RLIMIT_CORE, &noCoreFiles);
}

} // namespace platform

//==============================================================================
namespace platform
{

bool isSinglePiece (const juce::String& name)
{
    return name.isNotEmpty() && name != "." && name != ".." && ! name.containsAnyOf ("/\\") && ! name.containsChar (0);
}

namespace
{
    constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

    std::string nameOf (const juce::String& name)   { return name.toStdString(); }
}

std::unique_ptr<FolderHandle> FolderHandle::adopt (Native opened, const juce::File& path)
{
    if (opened < 0)
        return nullptr;

    std::unique_ptr<FolderHandle> folder (new FolderHandle());
    folder->fd = opened;
    folder->openedPath = path;
    return folder;
}

std::unique_ptr<FolderHandle> FolderHandle::open (const juce::File& folder)
{
    return adopt (::open (folder.getFullPathName().toRawUTF8(), folderFlags), folder);
}

std::unique_ptr<FolderHandle> FolderHandle::openFollowing (const juce::File& folder)
{
    return adopt (::open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), folder);
}

bool isSameObject (const juce::File& a, const juce::File& b)
{
    struct stat first {}, second {};

    return ::lstat (a.getFullPathName().toRawUTF8(), &first) == 0 && ::lstat (b.getFullPathName().toRawUTF8(), &second) == 0
        && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

FolderHandle::~FolderHandle()
{
    if (fd >= 0)
        ::close (fd);
}

FolderHandle::Kind FolderHandle::kindOf (const juce::String& name) const
{
    struct stat info {};

    if (! isSinglePiece (name))
        return Kind::other;

    if (::fstatat (fd, nameOf (name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Kind::missing : Kind::other;

    if (S_ISLNK (info.st_mode))  return Kind::link;
    if (S_ISDIR (info.st_mode))  return Kind::folder;
    if (S_ISREG (info.st_mode))  return Kind::file;
    return Kind::other;
}

std::unique_ptr<FolderHandle> FolderHandle::openChild (const juce::String& name) const
{
    if (! isSinglePiece (name))
        return nullptr;

    return adopt (::openat (fd, nameOf (name).c_str(), folderFlags), openedPath.getChildFile (name));
}

bool FolderHandle::createFolder (const juce::String& name) const
{
    return isSinglePiece (name) && ::mkdirat (fd, nameOf (name).c_str(), 0755) == 0;
}

std::unique_ptr<NewFile> FolderHandle::createFile (const juce::String& name) const
{
    if (! isSinglePiece (name))
        return nullptr;

    const auto file = ::openat (fd, nameOf (name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);

    if (file < 0)
        return nullptr;

    std::unique_ptr<NewFile> created (new NewFile());
    created->fd = file;
    return created;
}

bool FolderHandle::renameNoReplace (const juce::String& from, const juce::String& to) const
{
    if (! isSinglePiece (from) || ! isSinglePiece (to))
        return false;

    const auto source = nameOf (from), target = nameOf (to);

    if (::renameat2 (fd, source.c_str(), fd, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;

    if (errno != EINVAL && errno != ENOSYS)
        return false;

    struct stat info {};

    if (::fstatat (fd, source.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;

    if (! S_ISDIR (info.st_mode))
        return ::linkat (fd, source.c_str(), fd, target.c_str(), 0) == 0 && ::unlinkat (fd, source.c_str(), 0) == 0;

    return ::fstatat (fd, target.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT
        && ::renameat (fd, source.c_str(), fd, target.c_str()) == 0;
}

bool FolderHandle::remove (const juce::String& name) const
{
    if (! isSinglePiece (name))
        return false;

    return ::unlinkat (fd, nameOf (name).c_str(), kindOf (name) == Kind::folder ? AT_REMOVEDIR : 0) == 0;
}

juce::StringArray FolderHandle::names() const
{
    juce::StringArray result;
    const auto copy = ::openat (fd, ".", folderFlags);

    if (copy < 0)
        return result;

    if (auto* dir = ::fdopendir (copy))
    {
        while (auto* entry = ::readdir (dir))
        {
            const auto name = juce::String::fromUTF8 (entry->d_name);

            if (name != "." && name != "..")
                result.add (name);
        }

        ::closedir (dir);
    }
    else
    {
        ::close (copy);
    }

    return result;
}

bool FolderHandle::stillHolds (const juce::String& name, const FolderHandle& child) const
{
    struct stat named {}, held {};

    return isSinglePiece (name) && ::fstatat (fd, nameOf (name).c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && ::fstat (child.fd, &held) == 0 && S_ISDIR (named.st_mode)
        && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

//==============================================================================
PrivateFolder preparePrivateFolder()
{
    // HOME alone decides, so a test or a sandboxed run gets a folder of its own.
    const auto* home = std::getenv ("HOME");
    const auto homePath = juce::String::fromUTF8 (home != nullptr ? home : "");
    const auto wanted = juce::File::isAbsolutePath (homePath) ? juce::File (homePath).getChildFile (".cache/Quillotone/PluginManager")
                                                              : juce::File();

    auto refuse = [&wanted] (const juce::String& why)
    {
        return PrivateFolder { {}, "The manager's private folder " + wanted.getFullPathName() + " cannot be used: " + why };
    };

    if (wanted == juce::File())
        return refuse ("the home folder is unknown.");

    // HOME itself is the user's to choose; from there on nothing is followed.
    auto current = ::open (homePath.toRawUTF8(), folderFlags);

    if (current < 0)
        return refuse ("the home folder cannot be opened.");

    for (auto piece : { ".cache", "Quillotone", "PluginManager" })
    {
        ::mkdirat (current, piece, 0700);
        const auto next = ::openat (current, piece, folderFlags);
        ::close (current);
        current = next;

        if (current < 0)
            return refuse (juce::String (piece) + " is a link, not a folder, or cannot be opened.");
    }

    struct stat info {};
    const auto owned = ::fstat (current, &info) == 0 && info.st_uid == ::geteuid();
    const auto closed = owned && ((info.st_mode & 077) == 0 || ::fchmod (current, 0700) == 0);
    ::close (current);

    if (! owned)
        return refuse ("it belongs to another account.");

    if (! closed)
        return refuse ("other accounts can open it.");

    return { wanted, {} };
}

juce::File createFreshPrivateFolder (const juce::File& parent, const juce::String& prefix)
{
    auto pattern = parent.getChildFile (prefix + "XXXXXX").getFullPathName().toStdString();
    std::vector<char> buffer (pattern.begin(), pattern.end());
    buffer.push_back (0);

    // mkdtemp creates the folder itself with mode 0700, failing on any existing name.
    if (::mkdtemp (buffer.data()) == nullptr)
        return {};

    return juce::File (juce::String::fromUTF8 (buffer.data()));
}

} // namespace platform
