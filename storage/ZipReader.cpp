#include "storage/ZipReader.h"

#include "platform/Platform.h"
#include "storage/FileNames.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace
{
    constexpr juce::uint32 localSignature = 0x04034b50;
    constexpr juce::uint32 centralSignature = 0x02014b50;
    constexpr juce::uint32 endSignature = 0x06054b50;
    constexpr juce::uint32 zip64EndSignature = 0x06064b50;
    constexpr juce::uint32 zip64LocatorSignature = 0x07064b50;
    constexpr juce::uint32 sentinel32 = 0xffffffff;

    constexpr int endRecordBytes = 22, locatorBytes = 20, zip64EndBytes = 56, centralBytes = 46, localBytes = 30;
    constexpr juce::int64 maxDirectoryBytes = 64 << 20;
    constexpr size_t chunkBytes = 1 << 18;

    // Sizes and offsets past this are nonsense in any file, and keep every
    // sum below the int64 range.
    constexpr juce::uint64 maxSane = (juce::uint64) 1 << 56;

    juce::uint16 u16 (const juce::uint8* p)    { return (juce::uint16) (p[0] | (p[1] << 8)); }
    juce::uint32 u32 (const juce::uint8* p)    { return (juce::uint32) u16 (p) | ((juce::uint32) u16 (p + 2) << 16); }
    juce::uint64 u64 (const juce::uint8* p)    { return (juce::uint64) u32 (p) | ((juce::uint64) u32 (p + 4) << 32); }

    bool readAt (juce::FileInputStream& in, juce::int64 position, void* dest, size_t bytes)
    {
        if (! in.setPosition (position))
            return false;

        for (size_t done = 0; done < bytes;)
        {
            const auto n = in.read (static_cast<char*> (dest) + done, (int) juce::jmin (bytes - done, (size_t) 1 << 30));

            if (n <= 0)
                return false;

            done += (size_t) n;
        }

        return true;
    }

    /** The zip64 extra field's values, each present only where the fixed
        field holds the sentinel.
    */
    bool readZip64Extra (const juce::uint8* extra, size_t extraBytes, std::initializer_list<juce::uint64*> fields)
    {
        for (size_t p = 0; p + 4 <= extraBytes;)
        {
            const auto id = u16 (extra + p), length = u16 (extra + p + 2);

            if (p + 4 + length > extraBytes)
                return false;

            if (id == 1)
            {
                size_t q = p + 4;

                for (auto* field : fields)
                {
                    if (*field != sentinel32)
                        continue;

                    if (q + 8 > p + 4 + length)
                        return false;

                    *field = u64 (extra + q);
                    q += 8;
                }

                return true;
            }

            p += 4 + length;
        }

        return true;
    }

    ZipReader::Outcome problem (ZipReader::Problem p, const juce::String& entry = {})
    {
        ZipReader::Outcome o;
        o.problem = p;
        o.entry = entry;
        return o;
    }

    /** A link's target, resolved from the link's own folder: true when it
        stays inside the top-level folder the link is in. Climbing is only
        allowed before any descent, because ".." after a piece that is itself
        a link would climb from wherever that link points.
    */
    bool linkStaysInside (const juce::StringArray& linkPieces, const juce::String& target)
    {
        if (linkPieces.size() < 2 || target.isEmpty() || target.startsWithChar ('/') || target.containsChar (':'))
            return false;

        juce::StringArray resolved (linkPieces);
        resolved.remove (resolved.size() - 1);
        bool descended = false;

        juce::StringArray targetPieces;
        targetPieces.addTokens (target, "/", {});

        for (auto& piece : targetPieces)
        {
            if (piece.isEmpty() || piece == ".")
                continue;

            if (piece == "..")
            {
                if (descended || resolved.size() < 2)
                    return false;

                resolved.remove (resolved.size() - 1);
            }
            else
            {
                descended = true;
                resolved.add (piece);
            }
        }

        return true;
    }
}

//==============================================================================
ZipReader::ZipReader (const juce::File& archive, const Rules& r)
    : file (archive), rules (r)
{
    check = readDirectory();

    for (auto step : { &ZipReader::checkNames, &ZipReader::checkRegions })
        if (check.succeeded())
            check = (this->*step)();

    if (check.succeeded() && ! entries.empty())
    {
        juce::FileInputStream in (file);
        check = in.openedOk() ? checkLocalHeaders (in) : problem (Problem::damaged);
    }

    if (check.succeeded())
        check = readLinkTargets();

    if (! check.succeeded())
        entries.clear();

    storedNames.clear();
}

ZipReader::Outcome ZipReader::readDirectory()
{
    juce::FileInputStream in (file);

    if (! in.openedOk())
        return problem (Problem::damaged);

    const auto fileSize = in.getTotalLength();

    if (fileSize < endRecordBytes)
        return {};

    // The end record sits at the very end, after a comment of its stated length.
    const auto tailBytes = (int) juce::jmin (fileSize, (juce::int64) (endRecordBytes + 0xffff + locatorBytes));
    const auto tailStart = fileSize - tailBytes;
    juce::HeapBlock<juce::uint8> tail ((size_t) tailBytes);

    if (! readAt (in, tailStart, tail, (size_t) tailBytes))
        return problem (Problem::damaged);

    int end = -1;

    for (int p = tailBytes - endRecordBytes; p >= 0 && end < 0; --p)
        if (u32 (tail + p) == endSignature && p + endRecordBytes + u16 (tail + p + 20) == tailBytes)
            end = p;

    // Not an archive at all: nothing to unpack.
    if (end < 0)
        return {};

    juce::uint64 disk = u16 (tail + end + 4), directoryDisk = u16 (tail + end + 6);
    juce::uint64 diskEntries = u16 (tail + end + 8), count = u16 (tail + end + 10);
    juce::uint64 directoryBytes = u32 (tail + end + 12), offset = u32 (tail + end + 16);
    auto directoryEnd = tailStart + end;

    if (end >= locatorBytes && u32 (tail + end - locatorBytes) == zip64LocatorSignature)
    {
        const auto* locator = tail + end - locatorBytes;
        const auto recordStart = u64 (locator + 8);
        juce::uint8 record[zip64EndBytes];

        if (u32 (locator + 4) != 0 || u32 (locator + 16) != 1)
            return problem (Problem::unsupported);

        if (recordStart > maxSane || ! readAt (in, (juce::int64) recordStart, record, sizeof (record))
             || u32 (record) != zip64EndSignature
             || recordStart + 12 + u64 (record + 4) != (juce::uint64) (directoryEnd - locatorBytes))
            return problem (Problem::damaged);

        disk = u32 (record + 16);
        directoryDisk = u32 (record + 20);
        diskEntries = u64 (record + 24);
        count = u64 (record + 32);
        directoryBytes = u64 (record + 40);
        offset = u64 (record + 48);
        directoryEnd = (juce::int64) recordStart;
    }

    if (disk != 0 || directoryDisk != 0 || diskEntries != count)
        return problem (Problem::unsupported);

    if (count > (juce::uint64) rules.maxEntries)
        return problem (Problem::tooManyEntries);

    // The directory ends where the end records begin: no room for a second one.
    if (offset > maxSane || directoryBytes > (juce::uint64) maxDirectoryBytes
         || (juce::int64) (offset + directoryBytes) != directoryEnd)
        return problem (Problem::damaged);

    directoryStart = (juce::int64) offset;
    juce::HeapBlock<juce::uint8> directory ((size_t) directoryBytes + 1);

    if (! readAt (in, directoryStart, directory, (size_t) directoryBytes))
        return problem (Problem::damaged);

    juce::int64 total = 0;
    size_t p = 0;
    entries.reserve ((size_t) count);

    for (juce::uint64 i = 0; i < count; ++i)
    {
        if (p + centralBytes > directoryBytes || u32 (directory + p) != centralSignature)
            return problem (Problem::damaged);

        const auto* h = directory + p;
        const size_t nameBytes = u16 (h + 28), extraBytes = u16 (h + 30), commentBytes = u16 (h + 32);

        if (p + centralBytes + nameBytes + extraBytes + commentBytes > directoryBytes)
            return problem (Problem::damaged);

        const juce::String rawName (juce::CharPointer_UTF8 ((const char*) h + centralBytes), nameBytes);
        const auto flags = u16 (h + 8), method = u16 (h + 10);
        juce::uint64 compressed = u32 (h + 20), size = u32 (h + 24), start = u32 (h + 42), startDisk = u16 (h + 34);

        if (! readZip64Extra (h + centralBytes + nameBytes, extraBytes, { &size, &compressed, &start }))
            return problem (Problem::damaged, rawName);

        if ((flags & 0x41) != 0 || (method != 0 && method != 8) || (startDisk != 0 && startDisk != 0xffff))
            return problem (Problem::unsupported, rawName);

        if (size > maxSane || compressed > maxSane || start >= (juce::uint64) directoryStart)
            return problem (Problem::damaged, rawName);

        Entry e;
        e.name = rawName.replaceCharacter ('\\', '/');
        e.deflated = method == 8;
        e.crc = u32 (h + 16);
        e.size = (juce::int64) size;
        e.compressedSize = (juce::int64) compressed;
        e.headerStart = (juce::int64) start;

        // Only the Unix attributes say link or execute bit.
        if ((u16 (h + 4) >> 8) == 3)
        {
            const auto mode = u32 (h + 38) >> 16;
            e.isLink = (mode & 0170000) == 0120000;
            e.isExecutable = (mode & 0111) != 0;
        }

        if (! juce::CharPointer_UTF8::isValidString ((const char*) h + centralBytes, (int) nameBytes))
            return problem (Problem::unusableName, e.name);

        total += e.size;

        if (total > rules.maxTotalBytes)
            return problem (Problem::tooLarge);

        entries.push_back (std::move (e));
        storedNames.emplace_back ((const char*) h + centralBytes, nameBytes);
        p += centralBytes + nameBytes + extraBytes + commentBytes;
    }

    return p == directoryBytes ? Outcome() : problem (Problem::damaged);
}

ZipReader::Outcome ZipReader::checkNames()
{
    enum class Kind { impliedFolder, folder, plain };
    std::map<juce::String, Kind> taken;

    for (auto& e : entries)
    {
        e.isFolder = e.name.endsWithChar ('/');
        const auto body = e.isFolder ? e.name.dropLastCharacters (1) : e.name;
        e.pieces.addTokens (body, "/", {});

        if (body.isEmpty() || e.pieces.contains ("") || e.pieces.contains (".") || e.pieces.contains (".."))
            return problem (Problem::outside, e.name);

        for (auto& piece : e.pieces)
            if (! FileNames::isUsableFileName (piece))
                return problem (Problem::unusableName, e.name);

        if (e.isLink && ! rules.linksAllowed)
            return problem (Problem::link, e.name);

        if ((e.isFolder && (e.size != 0 || e.isLink)))
            return problem (Problem::damaged, e.name);

        // Windows folds letter case, so "A" and "a" are one name there. A
        // link counts as a file: nothing may lie below it.
        juce::String key;

        for (int i = 0; i < e.pieces.size(); ++i)
        {
            key += (i > 0 ? "/" : "") + e.pieces[i].toLowerCase();
            const auto last = i == e.pieces.size() - 1;
            const auto wanted = ! last ? Kind::impliedFolder : (e.isFolder ? Kind::folder : Kind::plain);
            const auto found = taken.find (key);

            if (found == taken.end())
                taken.emplace (key, wanted);
            else if (found->second == Kind::plain || (last && ! (found->second == Kind::impliedFolder && wanted == Kind::folder)))
                return problem (Problem::duplicate, e.name);
            else if (last)
                found->second = wanted;
        }
    }

    return {};
}

ZipReader::Outcome ZipReader::checkRegions()
{
    // Every entry's local header and data take bytes of their own: the
    // shortest its header can be plus its data must end before the next one
    // begins. Checked again with the real header length once it is read.
    std::vector<size_t> order (entries.size());

    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;

    std::stable_sort (order.begin(), order.end(), [this] (size_t a, size_t b) { return entries[a].headerStart < entries[b].headerStart; });

    for (size_t k = 0; k < order.size(); ++k)
    {
        const auto& e = entries[order[k]];
        const auto end = e.headerStart + localBytes + (juce::int64) storedNames[order[k]].size() + e.compressedSize;
        const auto limit = k + 1 < order.size() ? entries[order[k + 1]].headerStart : directoryStart;

        if (end > limit)
            return problem (Problem::sharedData, k + 1 < order.size() ? entries[order[k + 1]].name : e.name);
    }

    return {};
}

ZipReader::Outcome ZipReader::checkLocalHeaders (juce::FileInputStream& in)
{
    std::vector<juce::int64> starts;

    for (auto& e : entries)
        starts.push_back (e.headerStart);

    std::sort (starts.begin(), starts.end());
    starts.push_back (directoryStart);

    juce::HeapBlock<juce::uint8> header ((size_t) localBytes + 0x20000);

    for (auto& e : entries)
    {
        if (! readAt (in, e.headerStart, header, localBytes) || u32 (header) != localSignature)
            return problem (Problem::damaged, e.name);

        const size_t nameBytes = u16 (header + 26), extraBytes = u16 (header + 28);

        if (! readAt (in, e.headerStart + localBytes, header + localBytes, nameBytes + extraBytes))
            return problem (Problem::damaged, e.name);

        const auto flags = u16 (header + 6);
        juce::uint64 compressed = u32 (header + 18), size = u32 (header + 22);

        if (! readZip64Extra (header + localBytes + nameBytes, extraBytes, { &size, &compressed }))
            return problem (Problem::damaged, e.name);

        const auto& storedName = storedNames[(size_t) (&e - entries.data())];
        const auto sameName = nameBytes == storedName.size()
                               && std::equal (storedName.begin(), storedName.end(), (const char*) header.get() + localBytes);

        // A data descriptor may leave the local fields zero; otherwise they must agree.
        const auto describedLater = (flags & 8) != 0;
        const auto agrees = [describedLater] (juce::uint64 local, juce::uint64 central)
                            { return local == central || (describedLater && local == 0); };

        if (! sameName || (flags & 1) != 0 || u16 (header + 8) != (e.deflated ? 8 : 0)
             || ! agrees (u32 (header + 14), e.crc) || ! agrees (size, (juce::uint64) e.size)
             || ! agrees (compressed, (juce::uint64) e.compressedSize))
            return problem (Problem::mismatch, e.name);

        e.dataStart = e.headerStart + localBytes + (juce::int64) (nameBytes + extraBytes);
        const auto next = *std::upper_bound (starts.begin(), starts.end() - 1, e.headerStart);

        if (e.dataStart + e.compressedSize > next)
            return problem (Problem::sharedData, e.name);
    }

    return {};
}

ZipReader::Outcome ZipReader::readLinkTargets()
{
    if (std::none_of (entries.begin(), entries.end(), [] (const Entry& e) { return e.isLink; }))
        return {};

    juce::FileInputStream in (file);

    for (auto& e : entries)
    {
        if (! e.isLink)
            continue;

        if (e.size > rules.maxLinkBytes)
            return problem (Problem::linkOutside, e.name);

        juce::MemoryOutputStream target;
        const auto copied = copyEntry (in, e, [&target] (const void* d, size_t n) { return target.write (d, n); }, nullptr);

        if (copied != Copied::done)
            return problem (copied == Copied::tooLong ? Problem::tooLong : Problem::damaged, e.name);

        e.linkTarget = target.toUTF8().replaceCharacter ('\\', '/');

        if (! linkStaysInside (e.pieces, e.linkTarget))
            return problem (Problem::linkOutside, e.name);
    }

    return {};
}

//==============================================================================
ZipReader::Copied ZipReader::copyEntry (juce::FileInputStream& in, const Entry& e,
                                        const std::function<bool (const void*, size_t)>& sink,
                                        const std::function<bool()>& shouldStop) const
{
    const auto stopped = [&shouldStop] { return shouldStop != nullptr && shouldStop(); };
    juce::HeapBlock<juce::uint8> input (chunkBytes), output (chunkBytes);
    auto crc = crc32 (0, nullptr, 0);

    if (! in.setPosition (e.dataStart))
        return Copied::damaged;

    if (! e.deflated)
    {
        if (e.compressedSize != e.size)
            return e.compressedSize > e.size ? Copied::tooLong : Copied::damaged;

        for (auto remaining = e.size; remaining > 0;)
        {
            if (stopped())
                return Copied::stopped;

            const auto n = (size_t) juce::jmin ((juce::int64) chunkBytes, remaining);

            if (! readAt (in, e.dataStart + (e.size - remaining), input, n))
                return Copied::damaged;

            crc = crc32 (crc, input, (uInt) n);

            if (! sink (input, n))
                return Copied::writeFailed;

            remaining -= (juce::int64) n;
        }
    }
    else
    {
        z_stream z {};

        if (inflateInit2 (&z, -MAX_WBITS) != Z_OK)
            return Copied::damaged;

        const std::unique_ptr<z_stream, int (*) (z_stream*)> ending (&z, inflateEnd);
        auto inputLeft = e.compressedSize;
        juce::int64 produced = 0;

        for (;;)
        {
            if (stopped())
                return Copied::stopped;

            if (z.avail_in == 0 && inputLeft > 0)
            {
                const auto n = in.read (input, (int) juce::jmin ((juce::int64) chunkBytes, inputLeft));

                if (n <= 0)
                    return Copied::damaged;

                z.next_in = input;
                z.avail_in = (uInt) n;
                inputLeft -= n;
            }

            z.next_out = output;
            z.avail_out = (uInt) chunkBytes;
            const auto result = inflate (&z, Z_NO_FLUSH);
            const auto made = chunkBytes - z.avail_out;

            // The hard stop: nothing past the declared size reaches the sink.
            produced += (juce::int64) made;

            if (produced > e.size)
                return Copied::tooLong;

            if (made > 0)
            {
                crc = crc32 (crc, output, (uInt) made);

                if (! sink (output, made))
                    return Copied::writeFailed;
            }

            if (result == Z_STREAM_END)
                break;

            if ((result != Z_OK && result != Z_BUF_ERROR) || (made == 0 && z.avail_in == 0 && inputLeft == 0))
                return Copied::damaged;
        }

        // Bytes after the stream would be a second reading of the entry.
        if (z.avail_in != 0 || inputLeft != 0 || produced != e.size)
            return Copied::damaged;
    }

    return crc == e.crc ? Copied::done : Copied::damaged;
}

ZipReader::Outcome ZipReader::unpackTo (const juce::File& folder, const std::function<bool()>& shouldStop,
                                        const FreeSpaceQuery& freeSpace) const
{
    if (! check.succeeded())
        return check;

    Outcome outcome;
    juce::int64 declared = 0;

    for (auto& e : entries)
        declared += e.size;

    outcome.needed = declared + spaceMargin (entries.size());
    outcome.available = freeSpace != nullptr ? freeSpace (folder) : folder.getBytesFreeOnVolume();

    if (outcome.needed > outcome.available)
    {
        outcome.problem = Problem::noSpace;
        return outcome;
    }

    juce::FileInputStream in (file);

    if (! in.openedOk())
        return problem (Problem::damaged);

    // Only what this run made is taken away again, newest first.
    std::vector<std::pair<juce::File, bool>> made;

    const auto fail = [&made] (Problem p, const juce::String& entry, const juce::File& path = {})
    {
        for (auto it = made.rbegin(); it != made.rend(); ++it)
        {
            if (it->second)
                std::remove (it->first.getFullPathName().toRawUTF8());
            else
                it->first.deleteFile();
        }

        auto o = problem (p, entry);
        o.path = path;
        return o;
    };

    const auto stopped = [&shouldStop] { return shouldStop != nullptr && shouldStop(); };

    for (auto& e : entries)
    {
        if (stopped())
            return fail (Problem::stopped, {});

        auto target = folder;
        const auto folderPieces = e.pieces.size() - (e.isFolder ? 0 : 1);

        for (int i = 0; i < e.pieces.size(); ++i)
        {
            target = target.getChildFile (e.pieces[i]);

            if (i >= folderPieces)
                break;

            // Never through a link, nor through a file where a folder should be.
            if (platform::isLink (target) || (target.exists() && ! target.isDirectory()))
                return fail (Problem::cannotCreateFolder, e.name, target);

            if (! target.exists())
            {
                if (! target.createDirectory())
                    return fail (Problem::cannotCreateFolder, e.name, target);

                made.emplace_back (target, false);

                if (platform::isLink (target))
                    return fail (Problem::cannotCreateFolder, e.name, target);
            }
        }

        if (e.isFolder)
            continue;

        // A plain file of the name that was there before gives way; nothing else does.
        if (platform::isLink (target) || target.isDirectory() || (target.exists() && ! target.deleteFile()))
            return fail (Problem::cannotWrite, e.name, target);

        if (e.isLink)
        {
            if (! juce::File::createSymbolicLink (target, e.linkTarget.replaceCharacter ('/', juce::File::getSeparatorChar()), false))
                return fail (Problem::cannotWrite, e.name, target);

            made.emplace_back (target, true);
            continue;
        }

        auto out = platform::NewFile::create (target);

        if (out == nullptr)
            return fail (Problem::cannotWrite, e.name, target);

        made.emplace_back (target, false);
        const auto copied = copyEntry (in, e, [&out] (const void* d, size_t n) { return out->write (d, n); }, shouldStop);
        const auto closed = out->close();
        out.reset();

        switch (copied)
        {
            case Copied::stopped:       return fail (Problem::stopped, {});
            case Copied::tooLong:       return fail (Problem::tooLong, e.name);
            case Copied::damaged:       return fail (Problem::damaged, e.name);
            case Copied::writeFailed:   return fail (Problem::cannotWrite, e.name, target);
            case Copied::done:          break;
        }

        if (! closed)
            return fail (Problem::cannotWrite, e.name, target);

       #if ! JUCE_WINDOWS
        if (e.isExecutable)
            target.setExecutePermission (true);
       #endif
    }

    return outcome;
}
