#include <gtest/gtest.h>

#include "products/ProductStatus.h"
#include "support/TestHelpers.h"

// The status rules on their own: no component, no thread. Fake plugins are
// text files (or folders with a version.txt) that carry their version.
namespace
{
    using namespace PluginFormat;

    struct Machine
    {
        explicit Machine (const juce::String& latest = "1.0.0", bool nfr = false)
        {
            record.name = "Big Room Verb";
            record.latestVersion = latest;
            record.isNFR = nfr;

            const char* names[] = { "au", "vst", "vst3", "aax", "clap" };

            for (auto format : installable)
                settings.folder[format] = temp.folder.getChildFile (names[format]).getFullPathName() + "/";

            settings.sampleFolder = temp.folder.getChildFile ("Samples").getFullPathName() + "/";

            readers.fileVersion = [] (const juce::String& path)
            {
                juce::File f (path);
                return f.isDirectory() ? f.getChildFile ("version.txt").loadFileAsString() : f.loadFileAsString();
            };
            readers.recordedVersion = [this] { return recorded; };
        }

        ProductStatus::Value status() const
        {
            return ProductStatus::compute (record, "BigRoomVerb", settings, readers);
        }

        static void place (const juce::String& target, const juce::String& version, bool asFolder = false)
        {
            testing_support::placeVersionedPlugin (target, version, asFolder);
        }

        void place (Format format, const juce::String& version, bool asFolder = false) const
        {
            place (status().target[format], version, asFolder);
        }

        testing_support::TempFolder temp;
        ProductRecord record;
        ProductStatus::Settings settings;
        ProductStatus::Readers readers;
        juce::String recorded;
    };
}

//==============================================================================
TEST (ProductStatus, TargetsAreTheFolderStringsPlusTheInstallName)
{
    Machine m;
    const auto s = m.status();

    EXPECT_EQ (s.target[VST2], m.settings.folder[VST2] + "BigRoomVerb.dll");
    EXPECT_EQ (s.target[VST3], m.settings.folder[VST3] + "BigRoomVerb.vst3");
    EXPECT_EQ (s.target[AAX],  m.settings.folder[AAX]  + "BigRoomVerb.aaxplugin");
    EXPECT_EQ (s.target[CLAP], m.settings.folder[CLAP] + "BigRoomVerb.clap");
    EXPECT_EQ (s.target[AU], "");
    EXPECT_EQ (s.samplesTarget, m.temp.folder.getChildFile ("Samples/BigRoomVerb").getFullPathName());

    // An unusable catalogue name gives no place at all.
    const auto none = ProductStatus::compute (m.record, {}, m.settings, m.readers);
    for (auto format : installable)
        EXPECT_EQ (none.target[format], "");
    EXPECT_EQ (none.legacyClapTarget, "");
    EXPECT_EQ (none.samplesTarget, "");
    EXPECT_EQ (none.statusText, "not installed");
}

TEST (ProductStatus, VersionsOfTheFormatsDecideStatusAndAction)
{
    struct Case
    {
        const char* latest;
        std::vector<std::tuple<Format, const char*, bool>> placed;    // format, version, as a bundle folder
        bool nfr;
        const char* status;
        bool update;
    };

    const Case cases[] = {
        { "1.2.0",  { { VST3, "1.2.0", true }, { CLAP, "1.2", false } }, false, "v1.2.0", false },
        { "1.1.0",  { { VST2, "1.0.0", false }, { VST3, "1.1.0", true } }, false, "mixed versions", true },
        // Mixed, but nothing older than the catalogue: a reinstall.
        { "1.0.0",  { { VST2, "1.0.0", false }, { VST3, "1.1.0", true } }, false, "mixed versions", false },
        { "1.10.0", { { AAX, "v1.2.3", true } }, false, "v1.2.3", true },
        // An empty catalogue version is older than anything installed.
        { "",       { { VST2, "3.0", false } }, false, "v3.0", false },
        // NFR follows every kind of status.
        { "2.0.0",  { { VST2, "1.4.2", false } }, true, "v1.4.2 (NFR)", true },
        { "1.1.0",  { { VST2, "1.0.0", false }, { AAX, "1.1.0", true } }, true, "mixed versions (NFR)", true },
        { "1.0.0",  {}, true, "not installed (NFR)", false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.status);
        Machine m (c.latest, c.nfr);

        for (auto& [format, version, asFolder] : c.placed)
            m.place (format, version, asFolder);

        const auto s = m.status();
        EXPECT_EQ (s.statusText, c.status);
        EXPECT_EQ (s.updateAvailable, c.update);
        EXPECT_EQ (s.actionText, c.update ? "Update" : "Install");
        EXPECT_EQ (s.busyText, "STOP");

        for (auto format : installable)
        {
            const auto placed = std::any_of (c.placed.begin(), c.placed.end(),
                                             [format = format] (auto& p) { return std::get<0> (p) == format; });
            EXPECT_EQ (s.installed[format], placed) << name (format);
        }

        EXPECT_FALSE (s.installed[AU]);
    }

    Machine both ("1.2.0");
    both.place (VST3, "1.2.0", true);
    both.place (CLAP, "1.2");
    EXPECT_EQ (both.status().version[CLAP], "1.2");
    EXPECT_EQ (both.status().version[VST3], "1.2.0");
}

TEST (ProductStatus, RecordedVersionOnlyWhenTheFilesHaveNone)
{
    Machine m ("2.0.1");
    m.place (VST2, "no version in here");
    EXPECT_EQ (m.status().statusText, "installed");
    EXPECT_EQ (m.status().actionText, "Install");
    EXPECT_TRUE (m.status().anyInstalled());

    m.recorded = "  v2.0.1 ";
    EXPECT_EQ (m.status().statusText, "v2.0.1");
    EXPECT_FALSE (m.status().updateAvailable);

    m.recorded = "1.9";
    EXPECT_EQ (m.status().statusText, "v1.9");
    EXPECT_TRUE (m.status().updateAvailable);

    // A file version wins over the record; without any file the record is ignored.
    m.place (VST2, "2.0.1");
    EXPECT_EQ (m.status().statusText, "v2.0.1");

    juce::File (m.status().target[VST2]).deleteFile();
    EXPECT_EQ (m.status().statusText, "not installed");
    EXPECT_EQ (m.status().actionText, "Install");
}

TEST (ProductStatus, ClapAtTheLegacyLocationCounts)
{
    Machine m ("1.0.0");
    const auto legacy = m.status().legacyClapTarget;
    EXPECT_EQ (legacy, m.temp.folder.getChildFile ("clap/Quillotone/BigRoomVerb.clap").getFullPathName());

    Machine::place (legacy, "0.9.1");
    auto s = m.status();
    EXPECT_TRUE (s.installed[CLAP]);
    EXPECT_EQ (s.version[CLAP], "0.9.1");
    EXPECT_EQ (s.statusText, "v0.9.1");
    EXPECT_TRUE (s.updateAvailable);

    // The normal location wins when both exist.
    m.place (CLAP, "1.0.0");
    EXPECT_EQ (m.status().version[CLAP], "1.0.0");

    // A CLAP folder that is itself named Quillotone has no separate legacy place.
    m.settings.folder[CLAP] = m.temp.folder.getChildFile ("CLAP/QUILLOTONE").getFullPathName() + "/";
    EXPECT_EQ (juce::File (m.status().legacyClapTarget), juce::File (m.status().target[CLAP]));
}

TEST (ProductStatus, FoldersThatAreNotFullPathsGiveNoTarget)
{
    // An emptied settings field arrives as a lone separator; a plugin of the
    // same name at the top of the drive must not count, nor be a target.
    for (auto* folder : { "/", "//", "", "relative/vst3/", "./" })
    {
        SCOPED_TRACE (folder);
        Machine m;
        m.settings.folder[VST3] = folder;
        m.settings.sampleFolder = folder;
        const auto s = m.status();

        EXPECT_EQ (s.target[VST3], "");
        EXPECT_FALSE (s.installed[VST3]);
        EXPECT_EQ (s.samplesTarget, "");
        EXPECT_NE (s.target[VST2], "") << "the other formats keep theirs";
    }

    Machine m;
    m.settings.folder[CLAP] = "/";
    EXPECT_EQ (m.status().target[CLAP], "");
    EXPECT_EQ (m.status().legacyClapTarget, "");

    EXPECT_TRUE (ProductStatus::isUsableFolder ("/opt/vst3/"));
    EXPECT_TRUE (ProductStatus::isUsableFolder ("~/.vst3/"));
}

TEST (ProductStatus, UnusableFolderMessagesNameEveryFormat)
{
    const auto one = ProductStatus::unusableFolderMessage ("Big Room Verb", { VST3 }, true);
    EXPECT_TRUE (one.startsWith ("The folder for VST3 in Settings is empty or not a full path")) << one;
    EXPECT_TRUE (one.contains ("Big Room Verb was not installed")) << one;

    const auto three = ProductStatus::unusableFolderMessage ("Big Room Verb", { VST2, AAX, CLAP }, false);
    EXPECT_TRUE (three.startsWith ("The folders for VST2, AAX and CLAP in Settings are empty or not a full path")) << three;
}
