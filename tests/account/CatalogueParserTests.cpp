#include <gtest/gtest.h>

#include "account/CatalogueSync.h"
#include "support/TestHelpers.h"

namespace
{
    std::unique_ptr<juce::XmlElement> entry (const juce::String& xml)
    {
        return juce::parseXML (xml);
    }
}

TEST (CatalogueParser, InstallerNumberTenOmitsOwnedEntriesOnly)
{
    EXPECT_TRUE (CatalogueParser::isExcludedOwnedEntry (*entry ("<PLUGIN name='a' installerNumber='10'/>")));
    EXPECT_TRUE (CatalogueParser::isExcludedOwnedEntry (*entry ("<PLUGIN name='a' installerNumber=' 10 '/>")));
    EXPECT_TRUE (CatalogueParser::isExcludedOwnedEntry (*entry ("<PLUGIN name='a' installer='10'/>")));
    EXPECT_FALSE (CatalogueParser::isExcludedOwnedEntry (*entry ("<PLUGIN name='a' installerNumber='3' installer='10'/>")));
    EXPECT_FALSE (CatalogueParser::isExcludedOwnedEntry (*entry ("<PLUGIN name='a' installerNumber='100'/>")));
    EXPECT_FALSE (CatalogueParser::isExcludedOwnedEntry (*entry ("<PLUGIN name='a'/>")));

    auto doc = CatalogueParser::parse ("<ROOT><PLUGIN name='  '/><PLUGIN name=' Keep '/><PLUGIN_DEMO name='Demo' installerNumber='10'/>"
                                       "<OTHER name='x'/><PLUGIN_DEMO name=''/></ROOT>");
    ASSERT_NE (doc, nullptr);
    EXPECT_EQ (CatalogueParser::countNamedEntries (*doc), 2);
}

TEST (CatalogueParser, RecordsFollowTheAttributeRules)
{
    auto owned = CatalogueParser::readRecord (*entry (
        "<PLUGIN id='42abc' name='  Big Room Verb \t' hash='h' date='d' version='1.2.0' productURL='p' imageURL='i'"
        " downloadMAC='m' downloadPC='w' downloadLINUX='l' freebie=' yes' nfr='True'/>"), false);
    EXPECT_EQ (owned.id, 42);
    EXPECT_EQ (owned.name, "Big Room Verb");
    EXPECT_EQ (owned.hash, "h");
    EXPECT_EQ (owned.date, "d");
    EXPECT_EQ (owned.latestVersion, "1.2.0");
    EXPECT_EQ (owned.downloadURLWindows, "w");
    EXPECT_TRUE (owned.isFreebie);
    EXPECT_TRUE (owned.isNFR);
    EXPECT_FALSE (owned.isDemo);

    auto demo = CatalogueParser::readRecord (*entry ("<PLUGIN_DEMO id='-7' name='D' hash='h' date='d' nfr='1' freebie='0'/>"), true);
    EXPECT_EQ (demo.id, -7);
    EXPECT_TRUE (demo.hash.isEmpty());
    EXPECT_TRUE (demo.date.isEmpty());
    EXPECT_FALSE (demo.isNFR);
    EXPECT_FALSE (demo.isFreebie);
    EXPECT_TRUE (demo.isDemo);

    EXPECT_EQ (CatalogueParser::readId ("abc"), 0);
    EXPECT_EQ (CatalogueParser::readId (""), 0);
    EXPECT_EQ (CatalogueParser::readId ("99999999999999"), std::numeric_limits<int>::max());
    EXPECT_FALSE (CatalogueParser::readFlag ("no"));
    EXPECT_FALSE (CatalogueParser::readFlag (""));

    EXPECT_EQ (CatalogueParser::parse ("not xml"), nullptr);
    EXPECT_EQ (CatalogueParser::parse (""), nullptr);
    EXPECT_NE (CatalogueParser::parse ("<EMPTY/>"), nullptr);
}

TEST (CatalogueParser, ThumbnailNamesNeverLeaveTheThumbnailsFolder)
{
    testing_support::TempFolder temp;
    auto folder = temp.folder.getChildFile ("Thumbnails");

    EXPECT_EQ (CatalogueParser::thumbnailFile (folder, "http://h/img/verb.png"), folder.getChildFile ("verb.png"));
    EXPECT_EQ (CatalogueParser::thumbnailFile (folder, "verb.png"), folder.getChildFile ("verb.png"));
    EXPECT_EQ (CatalogueParser::thumbnailFile (folder, "http://h/img/"), juce::File());
    EXPECT_EQ (CatalogueParser::thumbnailFile (folder, ""), juce::File());

    for (auto hostile : { "http://h/..", "http://h/.", "http://h/a\\..\\..\\evil.png", "..\\..\\evil.png",
                          "http://h/C:\\Windows\\evil.png", "http://h/C:evil.png", "http://h/\\\\server\\share\\x.png",
                          "http://h/%2e%2e", "http://h/evil.png\x01", "http://h/name...", "http://h/CON" })
    {
        auto file = CatalogueParser::thumbnailFile (folder, hostile);

        if (file != juce::File())
        {
            EXPECT_TRUE (file.isAChildOf (folder)) << hostile;
            EXPECT_EQ (file.getParentDirectory(), folder) << hostile;
            EXPECT_FALSE (file.getFileName().containsAnyOf ("\\/:")) << hostile;
        }
    }

    EXPECT_EQ (CatalogueParser::thumbnailFile (folder, "http://h/a\\..\\..\\evil.png"), folder.getChildFile ("evil.png"));
    EXPECT_EQ (CatalogueParser::thumbnailFile (folder, "http://h/.."), juce::File());
}
