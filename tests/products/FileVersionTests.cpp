#include <gtest/gtest.h>

#include "products/PeVersionReader.h"
#include "products/VersionProbe.h"
#include "support/TestHelpers.h"

#include <algorithm>
#include <cstring>
#include <map>

// The images come from tools/fixtures/make-pe-fixtures.sh, run by the build.
namespace
{
    juce::File windowsFixtures()
    {
        return juce::File (QUILLOTONE_FIXTURES_DIR).getChildFile ("windows");
    }

    juce::File windowsFixture (const juce::String& relativePath)
    {
        return windowsFixtures().getChildFile (relativePath);
    }

    juce::MemoryBlock bytesOf (const juce::File& file)
    {
        juce::MemoryBlock block;
        file.loadFileAsData (block);
        return block;
    }

    juce::Array<juce::File> filesIn (const juce::File& folder)
    {
        auto files = folder.findChildFiles (juce::File::findFiles, true);
        files.sort();
        return files;
    }

    bool isFourDottedNumbers (const juce::String& text)
    {
        juce::StringArray parts;
        parts.addTokens (text, ".", {});
        return parts.size() == 4 && ! parts.contains ("") && text.containsOnly ("0123456789.");
    }

    /** An image whose bytes lie at the start of a much larger file of zeros,
        counting how much the reader asks for.
    */
    struct CountingSource final : PeVersionReader::ImageSource
    {
        CountingSource (const juce::MemoryBlock& b, juce::uint64 s) : bytes (b), size (s) {}

        juce::uint64 getSize() const override   { return size; }

        bool read (juce::uint64 offset, void* destination, size_t numBytes) const override
        {
            if (offset > size || numBytes > size - offset)
                return false;

            bytesRead += numBytes;
            auto* out = static_cast<char*> (destination);

            for (size_t i = 0; i < numBytes; ++i)
                out[i] = offset + i < bytes.getSize() ? static_cast<const char*> (bytes.getData())[offset + i] : 0;

            return true;
        }

        const juce::MemoryBlock& bytes;
        juce::uint64 size;
        mutable juce::uint64 bytesRead = 0;
    };
}

//==============================================================================
TEST (FileVersion, FixedVersionOfEachImageInWordOrder)
{
    const std::map<juce::String, juce::String> expected {
        { "version-2.1.0.0.dll", "2.1.0.0" },
        { "version-1.2.3.0.dll", "1.2.3.0" },
        { "version-10.20.30.40.dll", "10.20.30.40" },
        { "version-65535.32768.1.65534.dll", "65535.32768.1.65534" },
        { "pe32-version-3.4.5.6.dll", "3.4.5.6" },
    };

    for (const auto& [name, version] : expected)
        EXPECT_EQ (VersionProbe::readFileVersion (windowsFixture (name)), version) << name;

    // The string table and the product version say otherwise: only the fixed
    // file version counts.
    const auto path = windowsFixture ("version-2.1.0.0.dll").getFullPathName();
    EXPECT_EQ (VersionProbe::probeVersion (path, VersionProbe::readClapVersion), "2.1.0.0");
    EXPECT_EQ (VersionProbe::normaliseVersion (VersionProbe::probeVersion (path, VersionProbe::readClapVersion)), "2.1.0");
}

TEST (FileVersion, BundlesAnswerWithThePlatformImage)
{
    // Each bundle also holds an image at 1.2.3.0 in Contents/Resources, on a
    // shorter path than the platform folder's.
    const auto vst3 = windowsFixture ("bundles/Fixture.vst3");
    ASSERT_TRUE (vst3.getChildFile ("Contents/Resources/Fixture.vst3").existsAsFile());
    EXPECT_EQ (VersionProbe::probeVersion (vst3.getFullPathName(), VersionProbe::readClapVersion), "2.1.0.0");
    EXPECT_EQ (VersionProbe::normaliseVersion (VersionProbe::probeVersion (vst3.getFullPathName(), VersionProbe::readClapVersion)), "2.1.0");

    const auto aax = windowsFixture ("bundles/Fixture.aaxplugin");
    ASSERT_TRUE (aax.getChildFile ("Contents/Resources/Fixture.aaxplugin").existsAsFile());
    EXPECT_EQ (VersionProbe::probeVersion (aax.getFullPathName(), VersionProbe::readClapVersion), "10.20.30.40");
}

TEST (FileVersion, FilesWithoutAVersionResourceGiveNothing)
{
    EXPECT_EQ (VersionProbe::readFileVersion (windowsFixture ("no-resource.dll")), "");
    EXPECT_EQ (VersionProbe::readFileVersion (windowsFixture ("windows-clap.clap")), "");

    testing_support::TempFolder temp;
    const auto text = temp.folder.getChildFile ("notes.dll");
    ASSERT_TRUE (text.replaceWithText ("MZ and then some text that is no image at all"));
    EXPECT_EQ (VersionProbe::readFileVersion (text), "");

    EXPECT_EQ (VersionProbe::readFileVersion (temp.folder), "");
    EXPECT_EQ (VersionProbe::readFileVersion (temp.folder.getChildFile ("missing.dll")), "");
    EXPECT_EQ (VersionProbe::readFileVersion (juce::File()), "");

    // An ELF library: the CLAP fixture of this platform.
    EXPECT_EQ (VersionProbe::readFileVersion (juce::File (QUILLOTONE_FIXTURES_DIR).getChildFile ("clap/ok.clap")), "");
}

//==============================================================================
TEST (FileVersion, TruncatedAndCorruptedImagesGiveNothing)
{
    for (const auto* folder : { "truncated", "corrupted" })
    {
        const auto files = filesIn (windowsFixture (folder));
        EXPECT_GE (files.size(), 12) << folder;

        for (const auto& file : files)
            EXPECT_EQ (VersionProbe::readFileVersion (file), "") << file.getFullPathName();
    }
}

TEST (FileVersion, EveryCutBeforeTheResourceEndsGivesNothing)
{
    const auto image = bytesOf (windowsFixture ("version-2.1.0.0.dll"));
    ASSERT_GT (image.getSize(), 1024u);

    // The shortest prefix that reads; every longer one must read the same.
    size_t firstReadable = 0;

    for (size_t length = 0; length <= image.getSize(); ++length)
    {
        const auto version = PeVersionReader::readFileVersionFromBytes (image.getData(), length);

        if (firstReadable == 0 && version.isNotEmpty())
            firstReadable = length;

        if (firstReadable != 0)
        {
            ASSERT_EQ (version, "2.1.0.0") << "cut at " << length;
        }
    }

    // Having the fixed file info is not enough: the resource's string tables
    // follow it, and a file cut there is damaged all the same.
    const char key[] = "V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0\0";
    const auto* data = static_cast<const char*> (image.getData());
    const auto keyAt = std::search (data, data + image.getSize(), key, key + sizeof (key) - 1) - data;
    ASSERT_LT ((size_t) keyAt, image.getSize());

    const auto fixedInfoEnd = (size_t) keyAt - 6 + 40 + 52;
    EXPECT_GT (firstReadable, fixedInfoEnd);
    EXPECT_LE (firstReadable, image.getSize());

    EXPECT_EQ (PeVersionReader::readFileVersionFromBytes (nullptr, 100), "");
}

TEST (FileVersion, DamagedBytesAnywhereNeverDerailTheReader)
{
    const auto original = bytesOf (windowsFixture ("version-2.1.0.0.dll"));
    ASSERT_GT (original.getSize(), 0u);
    auto image = original;
    auto* bytes = static_cast<juce::uint8*> (image.getData());

    // Single bytes at every offset, then 32-bit values that make offsets and
    // counts huge or negative at every even offset.
    int readable = 0, damaged = 0;

    auto check = [&] (size_t offset)
    {
        const auto version = PeVersionReader::readFileVersionFromBytes (image.getData(), image.getSize());
        ++damaged;

        if (version.isNotEmpty())
        {
            ++readable;
            ASSERT_TRUE (isFourDottedNumbers (version)) << version << " at " << offset;
        }
    };

    for (size_t offset = 0; offset < image.getSize(); ++offset)
    {
        for (const juce::uint8 value : { 0x00, 0x7F, 0x80, 0xFF })
        {
            bytes[offset] = value;
            check (offset);
        }

        bytes[offset] = static_cast<const juce::uint8*> (original.getData())[offset];
    }

    for (size_t offset = 0; offset + 4 <= image.getSize(); offset += 2)
    {
        for (const juce::uint32 value : { 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u })
        {
            const juce::uint32 littleEndian = juce::ByteOrder::swapIfBigEndian (value);
            std::memcpy (bytes + offset, &littleEndian, 4);
            check (offset);
        }

        std::memcpy (bytes + offset, static_cast<const juce::uint8*> (original.getData()) + offset, 4);
    }

    // Most damage lands in code and data the reader never looks at.
    EXPECT_GT (readable, damaged / 2);
}

TEST (FileVersion, ReadsAFewSmallPiecesOfAHugeFile)
{
    const auto image = bytesOf (windowsFixture ("version-2.1.0.0.dll"));
    ASSERT_GT (image.getSize(), 0u);

    // Eight gigabytes of which only the image part holds anything.
    CountingSource source (image, juce::uint64 (8) << 30);
    EXPECT_EQ (PeVersionReader::readFileVersion (source), "2.1.0.0");
    EXPECT_LT (source.bytesRead, 4096u);
}

//==============================================================================
// python3-pefile reads every fixture independently; the two must agree,
// "no version" included.
TEST (FileVersion, AgreesWithPefileOnEveryImage)
{
    const auto files = filesIn (windowsFixtures());
    ASSERT_GE (files.size(), 40);

    juce::StringArray command { "/usr/bin/python3",
                                juce::File (QUILLOTONE_SOURCE_DIR).getChildFile ("tests/products/pefile_oracle.py").getFullPathName() };

    for (const auto& file : files)
        command.add (file.getFullPathName());

    juce::ChildProcess oracle;
    ASSERT_TRUE (oracle.start (command));
    const auto output = oracle.readAllProcessOutput();
    ASSERT_TRUE (oracle.waitForProcessToFinish (60000));
    ASSERT_EQ (oracle.getExitCode(), 0u) << output;

    std::map<juce::String, juce::String> pefileSays;

    for (const auto& line : juce::StringArray::fromLines (output))
        if (line.contains ("\t"))
            pefileSays[line.upToFirstOccurrenceOf ("\t", false, false)] = line.fromFirstOccurrenceOf ("\t", false, false);

    ASSERT_EQ ((int) pefileSays.size(), files.size()) << output;

    int withVersion = 0;

    for (const auto& file : files)
    {
        const auto expected = pefileSays[file.getFullPathName()];
        EXPECT_EQ (VersionProbe::readFileVersion (file), expected) << file.getFullPathName();
        withVersion += expected.isNotEmpty() ? 1 : 0;
    }

    // Five images plus the four inside the bundles.
    EXPECT_EQ (withVersion, 9);
}
