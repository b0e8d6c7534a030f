#pragma once

#include <juce_core/juce_core.h>

#include <zlib.h>

#include <vector>

namespace testing_support
{
    /** One entry of a hand-made ZIP archive. */
    struct ZipEntrySpec
    {
        juce::String name;
        juce::String content;
        bool link = false;                  ///< a Unix symbolic link whose content is its target
        juce::int64 declaredSize = -1;      ///< the size the directory claims; -1: the real one
        bool deflated = false;
        juce::int64 zeros = 0;              ///< instead of content, this many zero bytes, deflated
        bool zip64 = false;                 ///< sizes and offset in zip64 fields even when they fit
        int sameLocalAs = -1;               ///< points at an earlier entry's local header instead of its own
        bool coversNext = false;            ///< a stored entry whose data also holds the next entry's local record
    };

    /** Raw deflate of the entry's content. Zeros are deflated one MiB at a
        time with a full flush, which makes every such block the same bytes,
        so gigabytes of content cost one block's work.
    */
    inline juce::MemoryBlock deflateEntry (const juce::MemoryBlock& content, juce::int64 zeros)
    {
        z_stream z {};
        deflateInit2 (&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        juce::MemoryOutputStream out;

        const auto run = [&z, &out] (const void* data, size_t size, int flush)
        {
            z.next_in = (Bytef*) const_cast<void*> (data);
            z.avail_in = (uInt) size;
            juce::HeapBlock<char> buffer (65536);

            do
            {
                z.next_out = (Bytef*) buffer.get();
                z.avail_out = 65536;
                deflate (&z, flush);
                out.write (buffer, 65536 - z.avail_out);
            } while (z.avail_out == 0);
        };

        if (zeros > 0)
        {
            constexpr juce::int64 block = 1 << 20;
            juce::HeapBlock<char> zero ((size_t) block, true);

            if (zeros >= block)
            {
                run (zero, (size_t) block, Z_FULL_FLUSH);
                const juce::MemoryBlock one (out.getData(), out.getDataSize());

                for (auto left = zeros / block - 1; left > 0; --left)
                    out << one;
            }

            run (zero, (size_t) (zeros % block), Z_FINISH);
        }
        else
        {
            run (content.getData(), content.getSize(), Z_FINISH);
        }

        deflateEnd (&z);
        return out.getMemoryBlock();
    }

    /** Writes a ZIP with Unix attributes, so that entries can be links,
        claim sizes they do not have, share or overlap their data or use zip64,
        which the framework's archive builder cannot do. gapBefore leaves that
        many bytes (a sparse hole) before the first entry.
    */
    inline bool writeZip (const juce::File& file, const std::vector<ZipEntrySpec>& entries, juce::int64 gapBefore = 0)
    {
        struct Local { juce::MemoryBlock header, data; juce::uint32 crc; juce::int64 size, claimed; bool zip64; };
        std::vector<Local> locals (entries.size());

        // Built last to first, so an entry can hold the next one's record.
        for (auto i = (int) entries.size() - 1; i >= 0; --i)
        {
            const auto& entry = entries[(size_t) i];
            auto& local = locals[(size_t) i];
            juce::MemoryBlock raw (entry.content.toRawUTF8(), entry.content.getNumBytesAsUTF8());

            if (entry.coversNext)
            {
                raw.append (locals[(size_t) i + 1].header.getData(), locals[(size_t) i + 1].header.getSize());
                raw.append (locals[(size_t) i + 1].data.getData(), locals[(size_t) i + 1].data.getSize());
            }

            local.size = entry.zeros > 0 ? entry.zeros : (juce::int64) raw.getSize();
            local.claimed = entry.declaredSize >= 0 ? entry.declaredSize : local.size;
            local.data = (entry.deflated || entry.zeros > 0) ? deflateEntry (raw, entry.zeros) : raw;
            local.zip64 = entry.zip64 || local.claimed >= 0xffffffff || (juce::int64) local.data.getSize() >= 0xffffffff;

            if (entry.zeros > 0)
            {
                // The CRC of n zeros, doubled up from one byte's.
                const juce::uint8 zero = 0;
                uLong crc = crc32 (0, &zero, 1);
                juce::int64 have = 1;
                uLong result = crc32 (0, nullptr, 0);

                for (auto left = entry.zeros; left > 0; left >>= 1)
                {
                    if (left & 1)
                        result = crc32_combine (result, crc, (z_off_t) have);

                    crc = crc32_combine (crc, crc, (z_off_t) have);
                    have *= 2;
                }

                local.crc = (juce::uint32) result;
            }
            else
            {
                local.crc = (juce::uint32) crc32 (crc32 (0, nullptr, 0), (const Bytef*) raw.getData(), (uInt) raw.getSize());
            }

            const auto name = entry.name.toUTF8();
            const auto nameBytes = (juce::uint16) entry.name.getNumBytesAsUTF8();
            juce::MemoryOutputStream h;
            h.writeInt (0x04034b50);
            h.writeShort (45); h.writeShort (0); h.writeShort ((short) (entry.deflated || entry.zeros > 0 ? 8 : 0));
            h.writeShort (0); h.writeShort (0x5c21);                              // time, date
            h.writeInt ((int) local.crc);
            h.writeInt (local.zip64 ? -1 : (int) local.data.getSize());
            h.writeInt (local.zip64 ? -1 : (int) local.claimed);
            h.writeShort ((short) nameBytes); h.writeShort (local.zip64 ? 20 : 0);
            h.write (name.getAddress(), nameBytes);

            if (local.zip64)
            {
                h.writeShort (1); h.writeShort (16);
                h.writeInt64 (local.claimed); h.writeInt64 ((juce::int64) local.data.getSize());
            }

            local.header = h.getMemoryBlock();
        }

        juce::MemoryOutputStream directory;
        std::vector<juce::int64> offsets (entries.size());
        juce::int64 position = gapBefore;
        juce::MemoryOutputStream body;
        bool anyZip64 = gapBefore > 0;

        for (size_t i = 0; i < entries.size(); ++i)
        {
            const auto& entry = entries[i];
            const auto& local = locals[i];

            if (entry.sameLocalAs >= 0)
            {
                offsets[i] = offsets[(size_t) entry.sameLocalAs];
            }
            else if (i > 0 && entries[i - 1].coversNext)
            {
                offsets[i] = offsets[i - 1] + (juce::int64) locals[i - 1].header.getSize()
                               + (juce::int64) entries[i - 1].content.getNumBytesAsUTF8();
            }
            else
            {
                offsets[i] = position;
                body << local.header << local.data;
                position += (juce::int64) (local.header.getSize() + local.data.getSize());
            }

            const auto zip64 = local.zip64 || offsets[i] >= 0xffffffff;
            anyZip64 = anyZip64 || zip64;
            const auto name = entry.name.toUTF8();
            const auto nameBytes = (juce::uint16) entry.name.getNumBytesAsUTF8();
            const juce::uint32 mode = entry.link ? 0120777 : 0100644;

            directory.writeInt (0x02014b50);
            directory.writeShort (0x032d); directory.writeShort (45);          // made on Unix, needs 4.5
            directory.writeShort (0);
            directory.writeShort ((short) (entry.deflated || entry.zeros > 0 ? 8 : 0));
            directory.writeShort (0); directory.writeShort (0x5c21);
            directory.writeInt ((int) local.crc);
            directory.writeInt (zip64 ? -1 : (int) local.data.getSize());
            directory.writeInt (zip64 ? -1 : (int) local.claimed);
            directory.writeShort ((short) nameBytes); directory.writeShort (zip64 ? 28 : 0); directory.writeShort (0);
            directory.writeShort (0); directory.writeShort (0);
            directory.writeInt ((int) (mode << 16));
            directory.writeInt (zip64 ? -1 : (int) offsets[i]);
            directory.write (name.getAddress(), nameBytes);

            if (zip64)
            {
                directory.writeShort (1); directory.writeShort (24);
                directory.writeInt64 (local.claimed); directory.writeInt64 ((juce::int64) local.data.getSize());
                directory.writeInt64 (offsets[i]);
            }
        }

        const auto directoryStart = position;
        body << directory.getMemoryBlock();
        const auto count = (juce::int64) entries.size();

        if (anyZip64)
        {
            const auto recordStart = directoryStart + (juce::int64) directory.getDataSize();
            body.writeInt (0x06064b50); body.writeInt64 (44);
            body.writeShort (45); body.writeShort (45); body.writeInt (0); body.writeInt (0);
            body.writeInt64 (count); body.writeInt64 (count);
            body.writeInt64 ((juce::int64) directory.getDataSize()); body.writeInt64 (directoryStart);
            body.writeInt (0x07064b50); body.writeInt (0); body.writeInt64 (recordStart); body.writeInt (1);
        }

        body.writeInt (0x06054b50);
        body.writeShort (0); body.writeShort (0);
        body.writeShort (anyZip64 ? -1 : (short) count); body.writeShort (anyZip64 ? -1 : (short) count);
        body.writeInt (anyZip64 ? -1 : (int) directory.getDataSize());
        body.writeInt (anyZip64 ? -1 : (int) directoryStart);
        body.writeShort (0);

        file.deleteFile();
        juce::FileOutputStream out (file);

        if (out.failedToOpen() || (gapBefore > 0 && ! out.setPosition (gapBefore)))
            return false;

        out.write (body.getData(), body.getDataSize());
        out.flush();
        return out.getStatus().wasOk();
    }
}
