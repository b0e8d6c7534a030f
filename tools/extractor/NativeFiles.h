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
        The output folder while a run writes into it. Never follows a link below
        the root, and remembers everything it creates so that rollback() can take
        it all away again.
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

        /** Opens a new file at a relative path (its folders exist); replaces
            an existing file only when overwrite is set.
        */
        void beginFile (const std::vector<std::string>& pieces, bool overwrite);
        void write (const void* data, std::size_t bytes);
        void endFile();

        /** Removes every file and folder this object created, newest first. */
        void rollback() noexcept;

    private:
        struct State;
        std::unique_ptr<State> state;
    };
}
