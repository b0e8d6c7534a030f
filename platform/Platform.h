#pragma once

#include <juce_core/juce_core.h>

#include <memory>

#include <functional>
#include <optional>

/**
    The few operating-system services the manager needs beyond the framework.

    Everything that calls Windows or POSIX APIs directly lives behind these
    functions, with one implementation for Windows and one for Linux/macOS, so
    that the rest of the code stays portable and testable here.
*/
namespace platform
{
    /** The folder that holds the maker folder.

        Windows: the shared documents folder of all users (CSIDL_COMMON_DOCUMENTS).
        Linux/macOS: the user's documents folder, so HOME alone sandboxes a run.
        Returns an empty File when the system cannot say.
    */
    juce::File sharedDocumentsFolder();

    /** True when the path names a link: a reparse point (symbolic link or
        junction) on Windows, a symbolic link elsewhere. Missing paths are not links.
    */
    bool isLink (const juce::File& path);

    /** True for an ordinary file: not a folder, not a link, not a device,
        pipe or socket.
    */
    bool isRegularFile (const juce::File& path);

    /** The final target of a link, following every hop; the path itself when it
        is not a link or the target cannot be resolved.
    */
    juce::File resolveLink (const juce::File& path);

    /** Moves a file or a whole folder to the recycle bin (Windows) or to the
        user's freedesktop trash, with its info file (Linux). Returns false when
        nothing was moved; the caller then decides whether to delete.
    */
    bool moveToTrash (const juce::File& path);

    /** The executable file of the running process. */
    juce::File runningExecutable();

    /** The system folder: GetSystemDirectoryW on Windows, /usr/bin elsewhere.
        Used to find system programs such as the shell that runs helper scripts.
    */
    juce::File systemFolder();

    //==============================================================================
    /** Loads a plugin's library into this process, running its start-up code;
        nullptr when it cannot be loaded. Windows: LoadLibraryExW with
        LOAD_WITH_ALTERED_SEARCH_PATH, so DLLs beside the plugin are found
        first. Linux/macOS: dlopen with RTLD_NOW | RTLD_LOCAL.
        Every non-null handle must go back through unloadPluginLibrary().
    */
    void* loadPluginLibrary (const juce::File& file);

    /** The address of an exported symbol of a loaded library, or nullptr. */
    void* findLibrarySymbol (void* library, const char* name);

    /** Unloads a library loadPluginLibrary() returned. */
    void unloadPluginLibrary (void* library);

    /** The fixed file version from the system's own version API
        (GetFileVersionInfoW and VerQueryValueW) as four dotted numbers, or
        empty. Always empty where that API does not exist.

        The product reads versions with VersionProbe::readFileVersion(); this
        is here so the Windows tests can hold the two side by side.
    */
    juce::String readSystemFileVersion (const juce::File& file);

    //==============================================================================
    /** The process's command line as separate arguments, the program first.
        Windows reads the wide command line and ignores argc and argv (WinMain
        has none); elsewhere argv is read as UTF-8.
    */
    juce::StringArray commandLineArguments (int argc = 0, const char* const* argv = nullptr);

    /** Runs a program (the first item, a full path) with the other items as its
        arguments, with no window, no inherited handles and its standard
        streams going nowhere, and waits until it ends, timeoutMs have passed
        or shouldStop() says so; a process still running then is killed.

        Returns its exit code when it ended by itself (POSIX: 128 + the signal
        number when a signal ended it), or nothing when it could not start,
        ran out of time or was stopped. Blocks: never call it on the message
        thread.

        With an output file, the program's standard output and error go there
        (created afresh) instead of nowhere: a file, not a pipe, so the child
        can never stall on a reader.
    */
    std::optional<int> runProcess (const juce::StringArray& command, int timeoutMs,
                                   const std::function<bool()>& shouldStop = nullptr,
                                   const juce::File& outputFile = {});

    //==============================================================================
    /** Starts a program that must outlive this one, and returns at once.

        Windows: commandLine is the whole command line (the program's quoted
        path first); the process gets no window, no console, none of this
        process's handles (CREATE_NO_WINDOW | DETACHED_PROCESS, 0x08000008).
        POSIX: arguments are the program and its arguments, and commandLine
        is not read; the process runs in a session and process group of its
        own, with no terminal, its standard streams on /dev/null and none of
        this process's other files.
        False when it could not be started.
    */
    bool startDetached (const juce::File& program, const juce::StringArray& arguments, const juce::String& commandLine);

    /** This process's id. */
    int currentProcessId();

    //==============================================================================
    /** A file that did not exist before: created exclusively, so an existing
        file (or a link, even a dangling one) of that name is never opened,
        truncated or written through. Written with plain unbuffered writes.
    */
    class NewFile
    {
    public:
        friend class FolderHandle;

        /** Null when anything already has the name or it cannot be created. */
        static std::unique_ptr<NewFile> create (const juce::File&);

        ~NewFile();

        bool write (const void* data, size_t size);

        /** Closes the file; false when the system reports that the data may
            not have reached it.
        */
        bool close();

    private:
        NewFile() = default;

       #if JUCE_WINDOWS
        void* handle = nullptr;
       #else
        int fd = -1;
       #endif

        JUCE_DECLARE_NON_COPYABLE (NewFile)
    };

    /** Renames a file or folder within one volume, failing when the new name
        is already taken: it never replaces anything.
    */
    bool renameNoReplace (const juce::File& from, const juce::File& to);

    //==============================================================================
    /**
        A folder opened once, never through a link at its own name, that every
        later name is looked up, created, renamed and removed relative to. A
        folder that someone renames or swaps for a link afterwards no longer
        redirects anything: this handle keeps naming the folder it opened.

        Names are single pieces: one with a separator, "." or ".." is refused.
        POSIX: openat/mkdirat/renameat2 with O_NOFOLLOW|O_DIRECTORY. Windows:
        NtCreateFile with the handle as root and FILE_OPEN_REPARSE_POINT; a
        reparse point is never entered.
        An instance is used by one thread at a time.
    */
    class FolderHandle final
    {
    public:
        /** Opens an existing folder; null when the path is a link (or any
            reparse point), not a folder, or cannot be opened.
        */
        static std::unique_ptr<FolderHandle> open (const juce::File& folder);

        /** Opens the folder a configured path names, following links on the
            way once (a plugin folder may be a link to another drive); from
            then on the handle is all that counts.
        */
        static std::unique_ptr<FolderHandle> openFollowing (const juce::File& folder);

        ~FolderHandle();

        enum class Kind { missing, file, folder, link, other };

        /** What the name is, without following a link. */
        Kind kindOf (const juce::String& name) const;

        /** Opens a child folder as open() does; null for a link or anything else. */
        std::unique_ptr<FolderHandle> openChild (const juce::String& name) const;

        /** Creates a child folder; false when the name is taken or on failure. */
        bool createFolder (const juce::String& name) const;

        /** Creates a child file exclusively, as NewFile::create does. */
        std::unique_ptr<NewFile> createFile (const juce::String& name) const;

        /** Renames one child to another name in the same folder, never replacing. */
        bool renameNoReplace (const juce::String& from, const juce::String& to) const;

        /** Removes a child file or link (the link itself), or an empty child folder. */
        bool remove (const juce::String& name) const;

        /** The names in the folder, without "." and "..". */
        juce::StringArray names() const;

        /** True while the name still refers to exactly the folder that child holds:
            false once it was renamed away, removed or swapped for something else.
        */
        bool stillHolds (const juce::String& name, const FolderHandle& child) const;

        /** The path the folder was opened by (for messages only). */
        const juce::File& path() const noexcept     { return openedPath; }

    private:
        FolderHandle() = default;

       #if JUCE_WINDOWS
        using Native = void*;
       #else
        using Native = int;
       #endif

        /** Takes over a folder the system opened (null or -1 when it did not)
            as a handle that names it by the path given.
        */
        static std::unique_ptr<FolderHandle> adopt (Native opened, const juce::File& path);

        juce::File openedPath;

       #if JUCE_WINDOWS
        void* handle = nullptr;
       #else
        int fd = -1;
       #endif

        JUCE_DECLARE_NON_COPYABLE (FolderHandle)
    };

    /** True when both paths name one existing file-system object (the same
        file or folder reached by two spellings or through a link); links at
        the paths themselves are not followed.
    */
    bool isSameObject (const juce::File& a, const juce::File& b);

    /** A name fit for FolderHandle: non-empty, no separator, not "." or "..". */
    bool isSinglePiece (const juce::String& name);

    //==============================================================================
    /** Where a private folder stands after its check. */
    struct PrivateFolder
    {
        juce::File folder;          ///< empty when it may not be used
        juce::String problem;       ///< why, for the user, when it may not
    };

    /** The manager's own folder for downloads and work, which no other
        account may write; created when missing and checked on every call.

        Windows: "%ProgramData%\Quillotone\PluginManager", created with a
        protected DACL that gives Administrators and SYSTEM full control and
        nobody else write access; both levels must be owned by Administrators,
        SYSTEM or this user and carry no write access for anyone else.
        POSIX: "$HOME/.cache/Quillotone/PluginManager" (from HOME alone), mode
        0700 and owned by this user; a folder of ours with a looser mode is
        tightened.
        A link, or a folder that fails the check, is never used: the result
        is empty with a problem text.
    */
    PrivateFolder preparePrivateFolder();

    /** A new folder with a fresh random name inside the parent, created
        exclusively (it fails rather than take a folder someone made first),
        readable and writable by this account only (POSIX: mkdtemp, 0700;
        Windows: the protected DACL of preparePrivateFolder()). Empty on failure.
    */
    juce::File createFreshPrivateFolder (const juce::File& parent, const juce::String& prefix);

    /** For a process that is about to run code it does not trust: a crash
        then ends the process with an exit code, without a crash dialog, a
        debugger or a core file.
    */
    void prepareForUntrustedCode();
}
