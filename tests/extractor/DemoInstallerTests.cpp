// The demo catalogue's download archives as the stand-in serves them: each a
// ZIP holding one installer program that quillex unpacks to exactly the tree it
// was made from, with plugin files that carry the catalogue's version.

#include <gtest/gtest.h>

#include <juce_cryptography/juce_cryptography.h>

#include "products/VersionProbe.h"
#include "support/TestHelpers.h"

#include <map>

namespace
{
    std::map<juce::String, juce::String> snapshot (const juce::File& root)
    {
        std::map<juce::String, juce::String> entries;

        for (const auto& item : juce::RangedDirectoryIterator (root, true, "*", juce::File::findFilesAndDirectories))
            entries[item.getFile().getRelativePathFrom (root)] = item.isDirectory() ? juce::String ("folder")
                                                                                     : juce::MD5 (item.getFile()).toHexString();
        return entries;
    }

    /** The first of the candidates that exists, as the install step picks them. */
    juce::File firstExisting (std::initializer_list<juce::File> candidates)
    {
        for (auto& candidate : candidates)
            if (candidate.exists())
                return candidate;

        return {};
    }
}

TEST (DemoInstallers, UnpackToTheirTreesAndCarryTheCatalogueVersion)
{
    auto catalogue = juce::JSON::parse (juce::File (QUILLOTONE_SOURCE_DIR).getChildFile ("tools/standin/demo/catalogue.json"));
    auto* products = catalogue["products"].getArray();
    ASSERT_NE (products, nullptr);
    ASSERT_EQ (products->size(), 13);

    for (auto& product : *products)
    {
        SCOPED_TRACE (product["name"].toString());
        testing_support::TempFolder work;

        juce::ZipFile archive (juce::File (QUILLOTONE_STANDIN_CONTENT).getChildFile ("installers").getChildFile (product["installer"].toString()));
        ASSERT_EQ (archive.getNumEntries(), 1);
        auto programName = archive.getEntry (0)->filename;
        ASSERT_TRUE (programName.endsWith ("Setup.exe"));
        ASSERT_TRUE (archive.uncompressTo (work.folder).wasOk());

        auto expand = work.folder.getChildFile ("Expand");
        juce::ChildProcess tool;
        ASSERT_TRUE (tool.start ({ QUILLOTONE_EXTRACTION_TOOL, "-x", work.folder.getChildFile (programName).getFullPathName(),
                                   "-d" + expand.getFullPathName(), "-q", "-y" }));
        auto output = tool.readAllProcessOutput();
        ASSERT_TRUE (tool.waitForProcessToFinish (30000));
        ASSERT_EQ (tool.getExitCode(), 0u) << output;

        auto base = programName.upToLastOccurrenceOf ("Setup.exe", false, false);
        EXPECT_EQ (snapshot (expand), snapshot (juce::File (QUILLOTONE_DEMO_INSTALLER_TREES).getChildFile (base)));

        // What the install step will place, read the way the status reads it.
        auto cf64 = expand.getChildFile ("{cf64}");
        auto vst2 = expand.getChildFile ("{code_GetVST264}");
        const juce::File plugins[] = {
            firstExisting ({ vst2.getChildFile (base + ".dll"), vst2.getChildFile (base + "_x64.dll") }),
            cf64.getChildFile ("VST3/" + base + ".vst3"),
            cf64.getChildFile ("Avid/Audio/Plug-Ins/" + base + ".aaxplugin"),
            firstExisting ({ cf64.getChildFile ("CLAP/" + base + ".clap"), cf64.getChildFile ("CLAP/Quillotone/" + base + ".clap") }),
        };

        for (auto& plugin : plugins)
            EXPECT_EQ (VersionProbe::normaliseVersion (VersionProbe::probeVersion (plugin.getFullPathName(), {})),
                       VersionProbe::normaliseVersion (product["version"].toString())) << plugin.getFullPathName();
    }
}
