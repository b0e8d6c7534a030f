#pragma once

#include <juce_core/juce_core.h>

/**
    The portable reader of Windows file versions behind
    VersionProbe::readFileVersion().

    It walks a PE image's headers, section table and resource tree to the
    version resource, checking every offset and size against the image, so
    truncated or hostile files give an empty result and never a read outside
    the data. The image is read piecewise through an ImageSource, so a large
    plugin file costs a few small reads rather than a full load.
*/
namespace PeVersionReader
{
    /** Random access to the bytes of an image. */
    struct ImageSource
    {
        virtual ~ImageSource() = default;

        /** The number of bytes in the image. */
        virtual juce::uint64 getSize() const = 0;

        /** Copies the bytes at [offset, offset + numBytes) into destination;
            false when they are not all there.
        */
        virtual bool read (juce::uint64 offset, void* destination, size_t numBytes) const = 0;
    };

    /** The fixed file version of the image as four dotted unsigned numbers
        (e.g. "1.2.3.0"), or empty when it has none or is malformed.
    */
    juce::String readFileVersion (const ImageSource& image);

    /** The same for an image held in memory; tests feed damaged buffers here. */
    juce::String readFileVersionFromBytes (const void* data, size_t numBytes);

    /** The same for a file, read piecewise; empty when it cannot be opened. */
    juce::String readFileVersion (const juce::File& file);
}
