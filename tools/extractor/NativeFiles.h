#pragma once

#include "InstallerFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/**
    The few file-system calls the tool makes, one implementation per platform
    (NativeFilesPosix.cpp, NativeFilesWindows.cpp). Paths are UTF-8. Failures
    are Complaints whose line names the path and the system's reason.
*/
namespace quillex::native
{
    /** What is at a path, without following a link there. */
    enum class PathState { missing, file, folder, link, other };

    PathState stateOf (const std::string& path);

    /** The path made absolute against the current folder, without following links. */
    std::string absolute (const std::string& path);

    /** The platform's separator. */
    char separator();

    /** Sleeps the calling thread. */
    void sleepMilliseconds (int);

    /** Free bytes for an unprivileged writer on the volume holding the path or
        its nearest existing parent.
    */
    std::uint64_t freeSpace (const std::string& path);

    //==============================================================================
    /** An installer opened for reading at any offset. */
    class InputFile
    {
    public:
        /** Throws a Complaint (not an installer) for a folder or an unreadable path. */
        InputFile (const std::string& path, const std::string& displayName);
        ~InputFile();

        InputFile (const InputFile&) = delete;
        InputFile& operator= (const InputFile&) = delete;

        std::uint64_t size() const noexcept    { return length; }

        /** Reads exactly `bytes` at `offset` or throws a Complaint. */
        void read (std::uint64_t offset, void* buffer, std::size_t bytes);

    private:
        struct Handle;
        std::unique_ptr<Handle> handle;
        std::uint64_t length = 0;
        std::string displayName;
    };

    //==============================================================================
    /**
        The output folder while a run writes into it. Creates, renames and
        deletes only relative to folders opened without following links, so a
        folder swapped for a link during the run leads nowhere, and remembers
        everything it creates or replaces so that rollback() can undo just that.
    */
    class OutputTree
    {
    public:
        /** Creates the root folder and its missing parents. */
        explicit OutputTree (const std::string& root);
        ~OutputTree();

        OutputTree (const OutputTree&) = delete;
        OutputTree& operator= (const OutputTree&) = delete;

        /** Creates the folders of a relative path, as far as `count` pieces. */
        void makeFolders (const std::vector<std::string>& pieces, std::size_t count);

        /** Starts a file at a relative path (its folders exist) under a new
            temporary name; an existing file there is allowed only when
            overwrite is set, and is never opened.
        */
        void beginFile (const std::vector<std::string>& pieces, bool overwrite);
        void write (const void* data, std::size_t bytes);

        /** Puts the finished file in place: a file it replaces is kept aside
            until commit() or rollback().
        */
        void endFile();

        /** The run succeeded: drops the replaced files kept aside. */
        void commit() noexcept;

        /** Removes every file and folder the run created and puts back every
            file it replaced, newest first, and touches nothing else.
        */
        void rollback() noexcept;

    private:
        struct State;
        std::unique_ptr<State> state;
    };
}
