#include <gtest/gtest.h>

#include "products/VersionProbe.h"
#include "support/TestHelpers.h"

#include <unistd.h>

using namespace VersionProbe;

TEST (VersionText, NormaliseFindsTheFirstValidToken)
{
    EXPECT_EQ (normaliseVersion ("Version: v3.2"), "3.2");
    EXPECT_EQ (normaliseVersion ("1.0.4 beta"), "1.0.4");
    EXPECT_EQ (normaliseVersion ("build 17"), "");
    EXPECT_EQ (normaliseVersion ("1.2.3.4.5.6.7"), "");
    EXPECT_EQ (normaliseVersion ("2.0.0.0"), "2.0.0");
    EXPECT_EQ (normaliseVersion ("10.0"), "10.0");
    EXPECT_EQ (normaliseVersion ("v1.5.0"), "1.5.0");
    EXPECT_EQ (normaliseVersion ("  \r\n\t "), "");
    EXPECT_EQ (normaliseVersion ("release\t(2.4.1)\r\n"), "2.4.1");
    EXPECT_EQ (normaliseVersion ("name_1.2-rc+3"), "1.2");

    // What failed queries print instead of a version.
    EXPECT_EQ (normaliseVersion ("The domain/default pair of (x, y) does not exist 1.2"), "");
    EXPECT_EQ (normaliseVersion ("defaults[123] 1.2.3"), "");
}

TEST (VersionText, ValidateCountsPartsAndDropsTrailingZeros)
{
    EXPECT_EQ (validateVersion ("vV1.2"), "1.2");
    EXPECT_EQ (validateVersion ("1"), "");
    EXPECT_EQ (validateVersion ("1.2.3.4.5.6"), "1.2.3.4.5.6");
    EXPECT_EQ (validateVersion ("1.2.3.4.5.6.7"), "");
    EXPECT_EQ (validateVersion ("1..2"), "");
    EXPECT_EQ (validateVersion ("1.2."), "");
    EXPECT_EQ (validateVersion ("1.2a"), "");
    EXPECT_EQ (validateVersion ("1.0.0.0.0"), "1.0.0");
    EXPECT_EQ (validateVersion ("1.2.0"), "1.2.0");
    EXPECT_EQ (validateVersion ("1.2.3.0.4"), "1.2.3.0.4");
    EXPECT_EQ (validateVersion (""), "");
    EXPECT_EQ (validateVersion ("v"), "");
}

TEST (VersionText, CompareIsNumericAndIgnoresPrefixes)
{
    EXPECT_EQ (compareVersions ("1.2", "1.2.0"), 0);
    EXPECT_EQ (compareVersions ("v1.10", "1.9"), 1);
    EXPECT_EQ (compareVersions ("1.2.3", "1.10.0"), -1);
    EXPECT_EQ (compareVersions ("V2", "v2.0.0.0"), 0);
    EXPECT_EQ (compareVersions ("1.0", ""), 1);
    EXPECT_EQ (compareVersions ("", ""), 0);
    EXPECT_EQ (compareVersions ("1.2beta", "1.2"), 0);
    EXPECT_EQ (compareVersions ("99999999999999999999999.0", "1.0"), 1);
}

TEST (VersionProbe, RecordedVersionIsTheTrimmedRootAttribute)
{
    testing_support::TempFolder temp;
    auto file = temp.folder.getChildFile ("Product.qvs");

    EXPECT_EQ (readRecordedVersion (file), "");

    file.replaceWithText ("<?xml version=\"1.0\"?>\r\n<SETTINGS PluginManagerInstalledVersion=\"  v1.5.0 \"/>");
    EXPECT_EQ (readRecordedVersion (file), "v1.5.0");
    EXPECT_EQ (normaliseVersion (readRecordedVersion (file)), "1.5.0");

    file.replaceWithText ("<SETTINGS Other=\"1\"/>");
    EXPECT_EQ (readRecordedVersion (file), "");

    file.replaceWithText ("not xml at all");
    EXPECT_EQ (readRecordedVersion (file), "");

    file.deleteFile();
    file.createDirectory();
    EXPECT_EQ (readRecordedVersion (file), "");
}

TEST (VersionProbe, BundleSearchFollowsSubfolderThenExtensionOrder)
{
    testing_support::TempFolder temp;
    auto bundle = temp.folder.getChildFile ("Verb.vst3");
    auto make = [&] (const char* relative)
    {
        auto f = bundle.getChildFile (relative);
        f.getParentDirectory().createDirectory();
        f.replaceWithText ("x");
        return f;
    };

    const auto extensions = bundleExtensions();
    EXPECT_EQ (findBundleFile ({}, extensions), juce::File());
    EXPECT_EQ (findBundleFile (bundle.getFullPathName(), extensions), juce::File());

    bundle.createDirectory();
    EXPECT_EQ (findBundleFile (bundle.getFullPathName(), extensions), juce::File());

    auto atRoot = make ("Verb.dll");
    EXPECT_EQ (findBundleFile (bundle.getFullPathName(), extensions), atRoot);

    auto inContents = make ("Contents/Resources/deeper/Verb.vst3");
    EXPECT_EQ (findBundleFile (bundle.getFullPathName(), extensions), inContents);

    // Within one subfolder the extension order beats the depth.
    make ("Contents/x64/Verb.dll");
    auto x64 = make ("Contents/x64/sub/Verb.aaxplugin");
    EXPECT_EQ (findBundleFile (bundle.getFullPathName(), extensions), x64);

    make ("Contents/x86_64-win/deep/er/Verb.vst3");
    auto shortest = make ("Contents/x86_64-win/V.vst3");
    EXPECT_EQ (findBundleFile (bundle.getFullPathName(), extensions), shortest);

    // A plain file is its own bundle.
    EXPECT_EQ (findBundleFile (atRoot.getFullPathName(), extensions), atRoot);
}

TEST (VersionProbe, BundleSearchTakesNoLinks)
{
    // Two links to ".." made the search endless when it followed them.
    testing_support::TempFolder temp;
    auto bundle = temp.folder.getChildFile ("Loop.vst3");
    auto contents = bundle.getChildFile ("Contents");
    ASSERT_TRUE (contents.createDirectory());
    ASSERT_EQ (::symlink ("..", contents.getChildFile ("a").getFullPathName().toRawUTF8()), 0);
    ASSERT_EQ (::symlink ("..", contents.getChildFile ("b").getFullPathName().toRawUTF8()), 0);

    // Nor a link standing in for a subfolder, nor a linked file.
    auto elsewhere = temp.folder.getChildFile ("elsewhere");
    elsewhere.getChildFile ("Loop.vst3").create();
    ASSERT_EQ (::symlink (elsewhere.getFullPathName().toRawUTF8(), contents.getChildFile ("x64").getFullPathName().toRawUTF8()), 0);
    ASSERT_EQ (::symlink (elsewhere.getChildFile ("Loop.vst3").getFullPathName().toRawUTF8(),
                          contents.getChildFile ("Linked.vst3").getFullPathName().toRawUTF8()), 0);

    EXPECT_EQ (findBundleFile (bundle.getFullPathName(), bundleExtensions()), juce::File());
    EXPECT_EQ (probeVersion (bundle.getFullPathName(), readClapVersion), "");

    auto real = contents.getChildFile ("Resources/Loop.vst3");
    ASSERT_TRUE (real.create());
    EXPECT_EQ (findBundleFile (bundle.getFullPathName(), bundleExtensions()), real);
}

TEST (VersionProbe, FilesWithoutAnyVersionYieldNothing)
{
    testing_support::TempFolder temp;
    auto text = temp.folder.getChildFile ("Plain.dll");
    text.replaceWithText ("MZ but nothing else");
    EXPECT_EQ (probeVersion (text.getFullPathName(), readClapVersion), "");
    EXPECT_EQ (probeVersion (temp.folder.getFullPathName(), readClapVersion), "");
    EXPECT_EQ (probeVersion ({}, readClapVersion), "");
    EXPECT_EQ (probeVersion ("relative/path.dll", readClapVersion), "");
}
