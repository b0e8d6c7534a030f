#include <gtest/gtest.h>

#include "products/ThumbnailImage.h"
#include "support/TestHelpers.h"

#include <vector>
#include <zlib.h>

using testing_support::TempFolder;

namespace
{
    void bigEndian (juce::MemoryOutputStream& out, juce::uint32 v)
    {
        out.writeByte ((char) (v >> 24)); out.writeByte ((char) (v >> 16));
        out.writeByte ((char) (v >> 8));  out.writeByte ((char) v);
    }

    /** A PNG whose header claims the given size; its pixels are all zero and
        compress to almost nothing, which is what makes it a bomb.
    */
    juce::MemoryBlock pngClaiming (juce::uint32 width, juce::uint32 height, juce::uint32 rowsToWrite)
    {
        juce::MemoryBlock compressed;
        {
            z_stream z {};
            deflateInit (&z, 9);
            std::vector<unsigned char> row (width * 3 + 1, 0), out (1 << 16);

            auto pump = [&] (int flush)
            {
                do
                {
                    z.next_out = out.data();
                    z.avail_out = (uInt) out.size();
                    deflate (&z, flush);
                    compressed.append (out.data(), out.size() - z.avail_out);
                } while (z.avail_out == 0);
            };

            for (juce::uint32 y = 0; y < rowsToWrite; ++y)
            {
                z.next_in = row.data();
                z.avail_in = (uInt) row.size();
                pump (Z_NO_FLUSH);
            }

            pump (Z_FINISH);
            deflateEnd (&z);
        }

        juce::MemoryBlock file;
        juce::MemoryOutputStream out (file, false);
        out.write ("\x89PNG\r\n\x1a\n", 8);

        auto chunk = [&out] (const char* type, const void* data, size_t size)
        {
            bigEndian (out, (juce::uint32) size);
            juce::MemoryBlock body (type, 4);
            body.append (data, size);
            out.write (body.getData(), body.getSize());
            bigEndian (out, (juce::uint32) crc32 (0, (const Bytef*) body.getData(), (uInt) body.getSize()));
        };

        juce::MemoryOutputStream header;
        bigEndian (header, width);
        bigEndian (header, height);
        header.write ("\x08\x02\x00\x00\x00", 5);
        chunk ("IHDR", header.getData(), header.getDataSize());
        chunk ("IDAT", compressed.getData(), compressed.getSize());
        chunk ("IEND", nullptr, 0);
        out.flush();
        return file;
    }

    juce::MemoryBlock bytes (std::initializer_list<int> values)
    {
        juce::MemoryBlock block;
        for (auto v : values)
            block.append (&v, 1);
        return block;
    }

    /** The same JPEG with its Huffman tables (DHT) moved in front of the
        frame header (SOF0) that holds its size: legal, and what some
        encoders write.
    */
    juce::MemoryBlock tablesBeforeFrame (const juce::MemoryBlock& jpeg)
    {
        const auto* d = static_cast<const juce::uint8*> (jpeg.getData());
        juce::MemoryBlock head (d, 2), tables, rest;
        size_t at = 2;

        while (at + 4 <= jpeg.getSize() && d[at + 1] != 0xda)
        {
            const auto length = (size_t) ((d[at + 2] << 8) | d[at + 3]) + 2;
            auto& to = d[at + 1] == 0xc4 ? tables : (d[at + 1] == 0xc0 || rest.getSize() > 0 ? rest : head);
            to.append (d + at, length);
            at += length;
        }

        rest.append (d + at, jpeg.getSize() - at);
        head.append (tables.getData(), tables.getSize());
        head.append (rest.getData(), rest.getSize());
        return head;
    }
}

TEST (ThumbnailImage, HeadersAreCheckedBeforeAnythingDecodes)
{
    TempFolder temp;

    juce::Image picture (juce::Image::RGB, 240, 150, true);
    juce::Graphics (picture).fillAll (juce::Colours::orange);
    juce::MemoryOutputStream png, jpeg;
    juce::PNGImageFormat().writeImageToStream (picture, png);
    juce::JPEGImageFormat().writeImageToStream (picture, jpeg);

    auto jpegClaiming = [] (int w, int h)
    {
        return bytes ({ 0xff, 0xd8, 0xff, 0xe0, 0x00, 0x04, 0x00, 0x00,            // SOI, a small APP0
                        0xff, 0xc0, 0x00, 0x11, 0x08, h >> 8, h & 0xff, w >> 8, w & 0xff, 3 });
    };

    // The same header with the standard DC luminance table in front of it.
    auto jpegWithTableClaiming = [&jpegClaiming] (int w, int h)
    {
        auto table = bytes ({ 0xff, 0xc4, 0x00, 0x1f, 0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0,
                              0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 });
        auto file = jpegClaiming (w, h);
        file.insert (table.getData(), table.getSize(), 8);
        return file;
    };

    struct Case { const char* name; juce::MemoryBlock data; bool acceptable; };
    const Case cases[] = {
        { "ordinary.png",       png.getMemoryBlock(),                     true },
        { "ordinary.jpg",       jpeg.getMemoryBlock(),                    true },
        { "header-bomb.png",    pngClaiming (60000, 60000, 1),           false },   // 694 bytes that asked for 14 GB
        { "compression.png",    pngClaiming (10000, 10000, 10000),       false },
        { "wide.png",           pngClaiming (ThumbnailImage::maxSide + 1, 10, 10), false },
        { "zero.png",           pngClaiming (0, 10, 0),                  false },
        { "bomb.jpg",           jpegClaiming (65000, 65000),             false },
        { "tables-first.jpg",   tablesBeforeFrame (jpeg.getMemoryBlock()), true },
        { "tables-first-bomb.jpg", jpegWithTableClaiming (65000, 65000), false },
        { "bomb.gif",           bytes ({ 'G', 'I', 'F', '8', '9', 'a', 0x60, 0xea, 0x60, 0xea }), false },
        { "truncated.png",      bytes ({ 0x89, 'P', 'N', 'G' }),         false },
        { "text.png",           juce::MemoryBlock ("<html>not found</html>", 22), false },
        { "empty.png",          {},                                       false },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto file = temp.folder.getChildFile (c.name);
        ASSERT_TRUE (file.replaceWithData (c.data.getData(), c.data.getSize()));
        EXPECT_EQ (ThumbnailImage::isAcceptable (file), c.acceptable);

        auto square = ThumbnailImage::render (file, 145);
        EXPECT_EQ (square.getBounds(), juce::Rectangle<int> (0, 0, 145, 145));
        EXPECT_EQ (square.getPixelAt (72, 72).getAlpha() > 0, c.acceptable);
    }

    auto missing = ThumbnailImage::render (temp.folder.getChildFile ("none.png"), 145);
    EXPECT_EQ (missing.getPixelAt (72, 72).getAlpha(), 0);
}
