#include <gtest/gtest.h>

#include "account/CatalogueParser.h"
#include "storage/FileNames.h"
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

    EXPECT_EQ (CatalogueParser::parse ("not xml"), nullptr);
    EXPECT_EQ (CatalogueParser::parse (""), nullptr);
    EXPECT_NE (CatalogueParser::parse ("<EMPTY/>"), nullptr);
}

TEST (CatalogueParser, ThumbnailNamesAreSafeAndDistinct)
{
    testing_support::TempFolder temp;
    auto folder = temp.folder.getChildFile ("Thumbnails");

    EXPECT_EQ (CatalogueParser::thumbnailFile (folder, "http://h/img/verb-2_b.png"), folder.getChildFile ("verb-2_b.png"));

    // Only web addresses with a name give a file; nothing else is fetched.
    for (auto none : { "http://h/img/", "", "verb.png", "file:///etc/hostname", "javascript:alert(1)//x.png",
                       "ftp://h/x.png", "data:image/png;base64,AAAA", "http://user@h/x.png", "//h/x.png" })
        EXPECT_EQ (CatalogueParser::thumbnailFile (folder, none), juce::File()) << none;

    // Every name stays a plain file in the folder, and no two names share a
    // file, not even where letter case does not count.
    const juce::String longName = juce::String::repeatedString ("a", 200);
    juce::StringArray seen;

    for (auto name : { juce::String ("a#b.png"), juce::String ("ab.png"), juce::String ("AB.png"), juce::String ("Ab.png"),
                       longName + ".png", longName + "b.png", juce::String ("CON"), juce::String ("nul.png"),
                       juce::String ("con.png"), juce::String ("Com1.jpg"), juce::String (".."), juce::String ("."),
                       juce::String ("a\\..\\..\\evil.png"), juce::String ("C:evil.png"), juce::String ("%2e%2e"),
                       juce::String ("evil.png\x01"), juce::String ("name..."), juce::String ("\\\\server\\share\\x.png"),
                       juce::String::fromUTF8 ("\xc3\xbc.png"), juce::String ("u.png") })
    {
        auto file = CatalogueParser::thumbnailFile (folder, "http://h/" + name);
        ASSERT_NE (file, juce::File()) << name;
        EXPECT_EQ (file.getParentDirectory(), folder) << name;
        EXPECT_TRUE (FileNames::isUsableFileName (file.getFileName())) << name;
        EXPECT_LE (file.getFileName().length(), 100) << name;
        EXPECT_FALSE (seen.contains (file.getFileName(), true)) << name << " -> " << file.getFileName();
        seen.add (file.getFileName());
    }
}

TEST (CatalogueParser, HostileDocumentsAreRefusedBeforeParsing)
{
    auto nested = [] (int depth)
    {
        return "<PLUGINS>" + juce::String::repeatedString ("<a>", depth - 1) + juce::String::repeatedString ("</a>", depth - 1) + "</PLUGINS>";
    };

    // Levels that open and close again: the count must come back down.
    const auto siblings = "<PLUGINS>" + juce::String::repeatedString ("<PLUGIN name=\"A\"></PLUGIN>", 40) + "</PLUGINS>";
    const auto deepTwice = "<PLUGINS>" + nested (CatalogueParser::maxDepth - 1) + nested (CatalogueParser::maxDepth - 1) + "</PLUGINS>";
    const auto strayEnds = "<PLUGINS>" + juce::String::repeatedString ("</a>", 40) + nested (40) + "</PLUGINS>";

    const std::pair<juce::String, bool> cases[] = {
        // The 96-byte body that made the framework's parser expand an entity without end.
        { "<!DOCTYPE a [<!ENTITY a \"&a;&a;\">]><PLUGINS><PLUGIN name=\"&a;\"/></PLUGINS>", false },
        { "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;\">]><P>&lol2;</P>", false },
        { "<!doctype P SYSTEM \"file:///etc/passwd\"><P/>", false },
        { "<P><!ENTITY x \"y\"></P>", false },
        { nested (50000), false },
        { nested (CatalogueParser::maxDepth + 1), false },
        { "<PLUGINS><PLUGIN name=\"unterminated", false },
        { "<PLUGINS><!-- never closed </PLUGINS>", false },
        { nested (CatalogueParser::maxDepth), true },
        { "<?xml version=\"1.0\"?>\n<!-- a <!DOCTYPE in a comment --><PLUGINS><PLUGIN name=\"a > b\" x='<!x'/></PLUGINS>", true },
        { "<PLUGINS><![CDATA[<!DOCTYPE <deep><deep>]]><PLUGIN name=\"A\"/></PLUGINS>", true },
        { siblings, true },
        { deepTwice, true },
        { strayEnds, false },
    };

    for (auto& [text, safe] : cases)
    {
        SCOPED_TRACE (text.substring (0, 80));
        EXPECT_EQ (CatalogueParser::isSafeToParse (text), safe);
        EXPECT_EQ (CatalogueParser::parse (text) != nullptr, safe);
    }
}
