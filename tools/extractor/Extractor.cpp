#include "Extractor.h"

#include "EntryRules.h"
#include "NativeFiles.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace quillex
{

namespace
{
    constexpr std::size_t bufferSize = 1 << 20;

    /** zlib's inflater and the two buffers, made once per run. */
    struct Inflater
    {
        Inflater()
        {
            if (inflateInit2 (&stream, -MAX_WBITS) != Z_OK)
                throw Complaint { ExitCode::writeFailed, "Cannot start the decompressor." };
        }

        ~Inflater()   { inflateEnd (&stream); }

        z_stream stream {};
        std::vector<unsigned char> in = std::vector<unsigned char> (bufferSize);
        std::vector<unsigned char> out = std::vector<unsigned char> (bufferSize);
    };

    Inflater& inflater()
    {
        static Inflater shared;
        return shared;
    }

    /** For the race tests only: with QUILLEX_TEST_PAUSE=N:FILE set, the run
        makes FILE.paused after its Nth file and goes on once FILE.go exists,
        or after ten seconds, so a test can change the output folder between
        two files.
    */
    void pauseForTests (std::size_t filesDone)
    {
        static const char* setting = std::getenv ("QUILLEX_TEST_PAUSE");

        if (setting == nullptr)
            return;

        std::string text (setting);
        auto colon = text.find (':');

        if (colon == std::string::npos || std::strtoull (text.c_str(), nullptr, 10) != filesDone)
            return;

        auto base = text.substr (colon + 1);

        if (auto* marker = std::fopen ((base + ".paused").c_str(), "wb"))
            std::fclose (marker);

        for (int waited = 0; waited < 1000 && native::stateOf (base + ".go") == native::PathState::missing; ++waited)
            native::sleepMilliseconds (10);
    }

    std::string megabytes (std::uint64_t bytes)
    {
        return std::to_string ((bytes + (1 << 20) - 1) >> 20) + " MB";
    }

    [[noreturn]] void refuse (const std::string& path, const std::string& why)
    {
        throw Complaint { ExitCode::unsafe, "Refused: " + path + " " + why + "." };
    }

    /** Everything that can be known before the first write: links or files in
        the way below the root, files that exist already, and free space.
    */
    void checkOutputFolder (const Installer& installer, const std::string& root, const ExtractOptions& options)
    {
        const auto separator = std::string (1, native::separator());

        // Nothing below a missing root can be in the way.
        if (native::stateOf (root) != native::PathState::missing)
        {
            // Entries come folder by folder, so only the previous entry's
            // folders are remembered: memory stays one path deep.
            std::vector<std::string> known;
            std::vector<bool> knownPresent;

            for (auto& entry : installer.entries)
            {
                auto parts = rules::pieces (entry.name);
                auto folders = entry.kind == EntryKind::folder ? parts.size() : parts.size() - 1;
                std::size_t same = 0;

                while (same < folders && same < known.size() && known[same] == parts[same])
                    ++same;

                known.resize (same);
                knownPresent.resize (same);
                std::string relative;
                bool present = true;

                for (std::size_t i = 0; i < folders && present; ++i)
                {
                    relative += (i > 0 ? separator : "") + parts[i];

                    if (i < same)
                    {
                        present = knownPresent[i];
                        continue;
                    }

                    auto path = root + separator + relative;
                    auto state = native::stateOf (path);

                    if (state == native::PathState::link)
                        refuse (path, "in the output folder is a link");

                    if (state != native::PathState::missing && state != native::PathState::folder)
                        refuse (path, "is in the way in the output folder");

                    present = state == native::PathState::folder;
                    known.push_back (parts[i]);
                    knownPresent.push_back (present);
                }

                if (entry.kind == EntryKind::folder || ! present)
                    continue;

                auto path = root + separator + relative + (relative.empty() ? "" : separator) + parts.back();
                auto state = native::stateOf (path);

                if (state == native::PathState::link)
                    refuse (path, "in the output folder is a link");

                if (state == native::PathState::folder || state == native::PathState::other)
                    refuse (path, "is in the way in the output folder");

                if (state == native::PathState::file && ! options.overwrite)
                    refuse (path, "exists already (-y replaces files)");
            }
        }

        std::uint64_t needed = 0;

        for (auto& entry : installer.entries)
            needed += (entry.size + 4095) / 4096 * 4096 + (entry.kind == EntryKind::folder ? 4096 : 0);

        auto available = native::freeSpace (root);

        if (needed > available)
            throw Complaint { ExitCode::writeFailed, "Out of space: " + installer.displayName + " needs " + megabytes (needed)
                                + " in " + root + ", where " + megabytes (available) + " are free." };
    }
}

//==============================================================================
void unpack (const Installer& installer, const Entry& entry, const std::function<void (const void*, std::size_t)>& sink)
{
    auto& file = *installer.file;
    auto& z = inflater();
    uLong crc = crc32 (0, nullptr, 0);
    std::uint64_t produced = 0;
    auto offset = entry.dataOffset;
    auto remaining = entry.storedSize;

    auto damaged = [&]
    {
        return Complaint { ExitCode::damaged, "Damaged installer: " + installer.displayName + ": " + quoted (entry.name)
                             + " does not unpack to its recorded content." };
    };

    auto emit = [&] (const unsigned char* data, std::size_t bytes)
    {
        produced += bytes;

        if (produced > entry.size)
            throw damaged();

        crc = crc32 (crc, data, (uInt) bytes);
        sink (data, bytes);
    };

    if (entry.method == Method::stored)
    {
        while (remaining > 0)
        {
            auto chunk = (std::size_t) std::min<std::uint64_t> (remaining, z.in.size());
            file.read (offset, z.in.data(), chunk);
            offset += chunk;
            remaining -= chunk;
            emit (z.in.data(), chunk);
        }
    }
    else
    {
        auto& stream = z.stream;
        inflateReset (&stream);
        stream.avail_in = 0;
        int result = Z_OK;

        while (result != Z_STREAM_END)
        {
            if (stream.avail_in == 0)
            {
                if (remaining == 0)
                    throw damaged();

                auto chunk = (std::size_t) std::min<std::uint64_t> (remaining, z.in.size());
                file.read (offset, z.in.data(), chunk);
                offset += chunk;
                remaining -= chunk;
                stream.next_in = z.in.data();
                stream.avail_in = (uInt) chunk;
            }

            stream.next_out = z.out.data();
            stream.avail_out = (uInt) z.out.size();
            result = inflate (&stream, Z_NO_FLUSH);

            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                throw damaged();

            emit (z.out.data(), z.out.size() - stream.avail_out);
        }

        // The stream must use exactly its stored bytes.
        if (stream.avail_in != 0 || remaining != 0)
            throw damaged();
    }

    if (produced != entry.size || (std::uint32_t) crc != entry.crc)
        throw damaged();
}

void testAll (const Installer& installer)
{
    for (auto& entry : installer.entries)
        if (entry.kind == EntryKind::file)
            unpack (installer, entry, [] (const void*, std::size_t) {});
}

void extractAll (const Installer& installer, const std::string& folder, const ExtractOptions& options)
{
    auto root = native::absolute (folder);

    // Trailing separators go, except the one of a root such as "/" or "C:\".
    while (root.size() > 1 && (root.back() == '/' || root.back() == native::separator())
            && ! (root.size() == 3 && root[1] == ':'))
        root.pop_back();

    checkOutputFolder (installer, root, options);

    native::OutputTree tree (root);
    std::size_t files = 0;

    try
    {
        for (auto& entry : installer.entries)
        {
            auto parts = rules::pieces (entry.name);

            if (entry.kind == EntryKind::folder)
            {
                tree.makeFolders (parts, parts.size());
                continue;
            }

            tree.beginFile (parts, options.overwrite);
            unpack (installer, entry, [&tree] (const void* data, std::size_t bytes) { tree.write (data, bytes); });
            tree.endFile();
            ++files;
            pauseForTests (files);

            if (! options.quiet)
                std::printf ("%s\n", entry.name.c_str());
        }
    }
    catch (...)
    {
        tree.rollback();
        throw;
    }

    tree.commit();

    if (! options.quiet)
        std::printf ("%zu files, %llu bytes, into %s\n", files, (unsigned long long) installer.contentBytes, root.c_str());
}

} // namespace quillex
