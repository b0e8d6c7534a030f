#pragma once

#include <juce_core/juce_core.h>

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
    };

    /** Writes a stored (uncompressed) ZIP with Unix attributes, so that entries
        can be links or claim sizes they do not have, which the framework's
        archive builder cannot do.
    */
    inline bool writeZip (const juce::File& file, const std::vector<ZipEntrySpec>& entries)
    {
        const auto crc32 = [] (const juce::MemoryBlock& data)
        {
            juce::uint32 crc = 0xffffffff;

            for (size_t i = 0; i < data.getSize(); ++i)
            {
                crc ^= (juce::uint8) data[i];

                for (int bit = 0; bit < 8; ++bit)
                    crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
            }

            return ~crc;
        };

        juce::MemoryOutputStream out, directory;

        for (const auto& entry : entries)
        {
            const juce::MemoryBlock data (entry.content.toRawUTF8(), entry.content.getNumBytesAsUTF8());
            const auto name = entry.name.toUTF8();
            const auto nameBytes = (juce::uint16) entry.name.getNumBytesAsUTF8();
            const auto crc = crc32 (data);
            const auto size = (juce::uint32) data.getSize();
            const auto claimed = entry.declaredSize >= 0 ? (juce::uint32) entry.declaredSize : size;
            const auto offset = (juce::uint32) out.getPosition();

            out.writeInt (0x04034b50);
            out.writeShort (20); out.writeShort (0); out.writeShort (0);       // version, flags, stored
            out.writeShort (0); out.writeShort (0x5c21);                       // time, date
            out.writeInt ((int) crc); out.writeInt ((int) size); out.writeInt ((int) claimed);
            out.writeShort ((short) nameBytes); out.writeShort (0);
            out.write (name.getAddress(), nameBytes);
            out << data;

            const juce::uint32 mode = entry.link ? 0120777 : 0100644;
            directory.writeInt (0x02014b50);
            directory.writeShort (0x0314); directory.writeShort (20);          // made on Unix, needs 2.0
            directory.writeShort (0); directory.writeShort (0);
            directory.writeShort (0); directory.writeShort (0x5c21);
            directory.writeInt ((int) crc); directory.writeInt ((int) size); directory.writeInt ((int) claimed);
            directory.writeShort ((short) nameBytes); directory.writeShort (0); directory.writeShort (0);
            directory.writeShort (0); directory.writeShort (0);
            directory.writeInt ((int) (mode << 16));
            directory.writeInt ((int) offset);
            directory.write (name.getAddress(), nameBytes);
        }

        const auto directoryStart = (juce::uint32) out.getPosition();
        out << directory.getMemoryBlock();
        out.writeInt (0x06054b50);
        out.writeShort (0); out.writeShort (0);
        out.writeShort ((short) entries.size()); out.writeShort ((short) entries.size());
        out.writeInt ((int) directory.getDataSize()); out.writeInt ((int) directoryStart);
        out.writeShort (0);

        return file.replaceWithData (out.getData(), out.getDataSize());
    }
}
