#include "products/ThumbnailCheck.h"

#include <cstring>
#include <limits>

namespace ThumbnailImage
{

namespace
{
    int bigEndian16 (const juce::uint8* p)  { return (p[0] << 8) | p[1]; }
    int littleEndian16 (const juce::uint8* p) { return p[0] | (p[1] << 8); }

    juce::int64 bigEndian32 (const juce::uint8* p)
    {
        return ((juce::int64) p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    }

    std::optional<Dimensions> readPng (juce::InputStream& in)
    {
        // Signature, then the IHDR chunk, which must come first.
        juce::uint8 h[24] {};

        if (in.read (h, 24) != 24 || std::memcmp (h, "\x89PNG\r\n\x1a\n", 8) != 0 || std::memcmp (h + 12, "IHDR", 4) != 0)
            return {};

        const auto w = bigEndian32 (h + 16), ht = bigEndian32 (h + 20);

        if (w > std::numeric_limits<int>::max() || ht > std::numeric_limits<int>::max())
            return Dimensions { std::numeric_limits<int>::max(), std::numeric_limits<int>::max() };

        return Dimensions { (int) w, (int) ht };
    }

    std::optional<Dimensions> readGif (juce::InputStream& in)
    {
        juce::uint8 h[10] {};

        if (in.read (h, 10) != 10 || (std::memcmp (h, "GIF87a", 6) != 0 && std::memcmp (h, "GIF89a", 6) != 0))
            return {};

        return Dimensions { littleEndian16 (h + 6), littleEndian16 (h + 8) };
    }

    std::optional<Dimensions> readJpeg (juce::InputStream& in)
    {
        juce::uint8 soi[2] {};

        if (in.read (soi, 2) != 2 || soi[0] != 0xff || soi[1] != 0xd8)
            return {};

        // Walk the segments up to the frame header that holds the size.
        for (;;)
        {
            juce::uint8 marker[2] {};

            if (in.read (marker, 2) != 2 || marker[0] != 0xff)
                return {};

            while (marker[1] == 0xff)
                if (in.read (marker + 1, 1) != 1)
                    return {};

            const auto code = marker[1];

            if (code == 0xd8 || (code >= 0xd0 && code <= 0xd7) || code == 0x01)
                continue;

            if (code == 0xd9 || code == 0xda)
                return {};

            juce::uint8 lengthBytes[2] {};

            if (in.read (lengthBytes, 2) != 2)
                return {};

            const auto length = bigEndian16 (lengthBytes);

            if (length < 2)
                return {};

            const auto isFrameHeader = code >= 0xc0 && code <= 0xcf && code != 0xc4 && code != 0xc8 && code != 0xcc;

            if (isFrameHeader)
            {
                juce::uint8 frame[5] {};

                if (length < 7 || in.read (frame, 5) != 5)
                    return {};

                return Dimensions { bigEndian16 (frame + 3), bigEndian16 (frame + 1) };
            }

            if (! in.setPosition (in.getPosition() + length - 2) || in.isExhausted())
                return {};
        }
    }
}

std::optional<Dimensions> readDimensions (const juce::File& file)
{
    juce::FileInputStream in (file);

    if (! in.openedOk())
        return {};

    for (auto* reader : { &readPng, &readJpeg, &readGif })
    {
        in.setPosition (0);

        if (auto found = reader (in))
            return found;
    }

    return {};
}

bool isAcceptable (const juce::File& file)
{
    if (! file.existsAsFile() || file.getSize() > maxFileBytes)
        return false;

    const auto size = readDimensions (file);
    return size.has_value() && size->width > 0 && size->height > 0
        && size->width <= maxSide && size->height <= maxSide;
}

} // namespace ThumbnailImage
