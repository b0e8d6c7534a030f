#include <gtest/gtest.h>

#include <thread>

#include "account/CatalogueSync.h"
#include "account/ServiceTexts.h"
#include "storage/FileNames.h"
#include "support/StandIn.h"
#include "support/TestHelpers.h"
#include "ui/Utilities.h"

using testing_support::ScopedHome;
using testing_support::StandIn;

namespace
{
    struct Sync
    {
        CatalogueSync::Result run (const juce::String& email, const juce::String& password = "quillotone")
        {
            return sync.run (email, password, [this] { return stopRequested.load(); });
        }

        ScopedHome home;
        MakerFolders folders;
        CatalogueSync sync { folders };
        std::atomic<bool> stopRequested { false };
    };

    // Where the stand-in serves the tool: the address the manager pins.
    juce::String toolAddressPath()
    {
        return "/" + juce::URL (ServiceTexts::extractionToolURL()).getSubPath();
    }

    juce::File standInTool()
    {
        return StandIn::contentFolder().getChildFile (toolAddressPath().substring (1));
    }
}

TEST (CatalogueSync, FetchesRecordsThumbnailsAndTheTool)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Sync s;

    auto result = s.run ("Demo@Quillotone.test");
    EXPECT_EQ (result.error, "");
    ASSERT_NE (result.document, nullptr);
    EXPECT_TRUE (result.serverReached);

    // Eight owned entries, one of them with installer number " 10 ".
    ASSERT_EQ (result.products.size(), 7);
    EXPECT_EQ (result.demos.size(), 4);
    EXPECT_EQ (s.sync.syncTotal.load(), 12);
    EXPECT_EQ (s.sync.syncDone.load(), 11);

    auto& first = result.products.getReference (0);
    EXPECT_EQ (first.name, "Big Room Verb");
    EXPECT_EQ (first.latestVersion, "1.2.0");
    EXPECT_FALSE (first.hash.isEmpty());

    juce::File thumbnail (first.thumbnailFile);
    EXPECT_EQ (thumbnail, s.folders.cacheFolder ("/Thumbnails").getChildFile ("big-room-verb.png"));
    EXPECT_GE (thumbnail.getSize(), 500);
    EXPECT_EQ (CatalogueSync::digestOf (thumbnail), CatalogueSync::digestOf (StandIn::contentFolder().getChildFile ("thumbnails/big-room-verb.png")));

    for (auto& demo : result.demos)
    {
        EXPECT_TRUE (demo.isDemo);
        EXPECT_TRUE (demo.hash.isEmpty());
    }

    // The tool the build made, byte for byte.
    EXPECT_EQ (CatalogueSync::digestOf (s.sync.extractionToolFile()), ServiceTexts::extractionToolDigest());
    EXPECT_EQ (CatalogueSync::digestOf (s.sync.extractionToolFile()), CatalogueSync::digestOf (juce::File (QUILLOTONE_EXTRACTION_TOOL)));
}

TEST (CatalogueSync, ThumbnailsComeAFewAtOnceOverKeptConnectionsInCatalogueOrder)
{
    StandIn::Options options;
    options.latencyMs = 30;
    StandIn server (options);
    REQUIRE_STANDIN (server);
    Sync s;
    const auto connectionsBefore = server.connectionCount();

    // The first row's picture is slow: the others are fetched meanwhile, but
    // no row counts as done before it.
    server.setFault ("/thumbnails/big-room-verb.png", R"({"delay": 1500, "count": 1})");
    CatalogueSync::Result result;
    std::thread job ([&] { result = s.run ("demo@quillotone.test"); });

    const auto thumbnails = s.folders.cacheFolder ("/Thumbnails");
    const auto othersFetched = testing_support::waitUntil ([&] {
        return thumbnails.getNumberOfChildFiles (juce::File::findFiles, "*.png") >= 6; }, 1300);
    const auto doneMeanwhile = s.sync.syncDone.load();
    job.join();

    EXPECT_TRUE (othersFetched);
    EXPECT_EQ (doneMeanwhile, 0);
    EXPECT_EQ (result.error, "");
    ASSERT_EQ (result.products.size(), 7);
    EXPECT_EQ (result.products[0].name, "Big Room Verb");
    EXPECT_EQ (s.sync.syncDone.load(), 11);

    for (auto& record : result.products)
        EXPECT_TRUE (juce::File (record.thumbnailFile).existsAsFile()) << record.name;

    // Eleven pictures, the catalogue and the tool over a handful of connections
    // (the slow answer ends its own, and the test's own requests count too).
    EXPECT_LE (server.connectionCount() - connectionsBefore, CatalogueSync::maxThumbnailsAtOnce + 5);
}

TEST (CatalogueSync, CachedThumbnailsAreKeptUnlessTooSmall)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Sync s;
    auto thumbnails = s.folders.cacheFolder ("/Thumbnails");
    auto small = thumbnails.getChildFile ("big-room-verb.png");
    auto kept = thumbnails.getChildFile ("tape-halo.png");
    small.replaceWithData (juce::MemoryBlock (499, true).getData(), 499);
    kept.replaceWithData (juce::MemoryBlock (500, true).getData(), 500);

    auto result = s.run ("demo@quillotone.test");
    ASSERT_NE (result.document, nullptr);
    EXPECT_GT (small.getSize(), 499) << "a 499-byte thumbnail is fetched again";
    EXPECT_EQ (kept.getSize(), 500) << "a 500-byte one is kept";
}

TEST (CatalogueSync, ServerMessagesAndBadAnswersCommitNothing)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Sync s;

    auto wrong = s.run ("demo@quillotone.test", "not-the-password");
    EXPECT_EQ (wrong.error, "ERROR: The e-mail address or password is incorrect.");
    EXPECT_EQ (wrong.document, nullptr);
    EXPECT_TRUE (wrong.serverReached);

    const juce::String hostileBodies[] = {
        "<<<not xml",
        "<!DOCTYPE a [<!ENTITY a \"&a;&a;\">]><PLUGINS><PLUGIN name=\"&a;\"/></PLUGINS>",
        juce::String::repeatedString ("<a>", 50000) + juce::String::repeatedString ("</a>", 50000),
    };

    for (auto& body : hostileBodies)
    {
        server.setFault ("*", "{\"body\": " + juce::JSON::toString (body) + ", \"count\": 1}");
        auto invalid = s.run ("demo@quillotone.test");
        EXPECT_EQ (invalid.error, "The server returned an invalid response.") << body.substring (0, 40);
        EXPECT_EQ (invalid.document, nullptr);
    }

    server.setFault ("*", R"({"body": "Session eRRoR:\r\n try again", "count": 1})");
    auto marker = s.run ("demo@quillotone.test");
    EXPECT_EQ (marker.error, "Session eRRoR: try again");
}

TEST (CatalogueSync, ServerDownReportsTheConnection)
{
    Sync s;
    auto result = s.run ("demo@quillotone.test");
    EXPECT_EQ (result.error, ServiceTexts::syncConnectionFailedMessage());
    EXPECT_FALSE (result.serverReached);
    EXPECT_TRUE (result.serverUnreachable);
    EXPECT_EQ (result.document, nullptr);
}

TEST (CatalogueSync, EmptyCatalogueStillVerifiesTheTool)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Sync s;

    auto result = s.run ("empty@quillotone.test");
    EXPECT_EQ (result.error, "");
    ASSERT_NE (result.document, nullptr);
    EXPECT_EQ (result.products.size(), 0);
    EXPECT_EQ (result.demos.size(), 0);
    EXPECT_TRUE (s.sync.extractionToolFile().existsAsFile());
}

TEST (CatalogueSync, ADamagedToolIsReplacedBeforeCommitting)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Sync s;

    juce::MemoryBlock bytes;
    ASSERT_TRUE (standInTool().loadFileAsData (bytes));
    static_cast<char*> (bytes.getData())[100] ^= 0x20;
    auto tool = s.sync.extractionToolFile();
    tool.getParentDirectory().createDirectory();
    ASSERT_TRUE (tool.replaceWithData (bytes.getData(), bytes.getSize()));
    ASSERT_NE (CatalogueSync::digestOf (tool), ServiceTexts::extractionToolDigest());

    auto result = s.run ("demo@quillotone.test");
    EXPECT_EQ (result.error, "");
    ASSERT_NE (result.document, nullptr);
    EXPECT_EQ (CatalogueSync::digestOf (tool), ServiceTexts::extractionToolDigest());
}

TEST (CatalogueSync, AToolThatStaysWrongFailsTheSync)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Sync s;

    server.setFault (toolAddressPath(), R"({"flip": 10})");
    auto result = s.run ("demo@quillotone.test");
    EXPECT_EQ (result.error, "Could not verify the Windows installer extraction tool.");
    EXPECT_FALSE (result.serverReached);
    EXPECT_FALSE (result.serverUnreachable);
    EXPECT_EQ (result.document, nullptr);
    EXPECT_TRUE (result.products.isEmpty());
    EXPECT_FALSE (s.sync.extractionToolFile().exists());

    // A missing tool (404) fails the same way, and a folder in its place is removed.
    server.setFault (toolAddressPath(), R"({"status": 404})");
    ASSERT_TRUE (s.sync.extractionToolFile().createDirectory());
    auto missing = s.run ("demo@quillotone.test");
    EXPECT_EQ (missing.error, "Could not verify the Windows installer extraction tool.");
    EXPECT_FALSE (s.sync.extractionToolFile().exists());
}

TEST (CatalogueSync, StoppingDuringDownloadsCommitsNothing)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Sync s;

    // Slow thumbnails: stop while the first one is on its way.
    server.setFault ("/thumbnails/big-room-verb.png", R"({"delay": 3000})");
    std::thread stopper ([&s] { juce::Thread::sleep (600); s.stopRequested = true; });

    auto started = juce::Time::getMillisecondCounter();
    auto result = s.run ("demo@quillotone.test");
    stopper.join();

    EXPECT_EQ (result.document, nullptr);
    EXPECT_EQ (result.error, "");
    EXPECT_TRUE (result.products.isEmpty());
    // The stop lands while the thumbnail is still on its way; the rest is skipped.
    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 1500u);
    EXPECT_FALSE (s.sync.extractionToolFile().exists());
}

TEST (CatalogueSync, HostileEntriesNeverReachTheDiskOrADecoder)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Sync s;
    auto thumbnails = s.folders.cacheFolder ("/Thumbnails");
    auto origin = StandIn::origin();

    auto entry = [] (const juce::String& name, const juce::String& image)
    {
        return "<PLUGIN name=\"" + name + "\" imageURL=\"" + image + "\"/>";
    };

    auto catalogue = "<PLUGINS>" + entry ("Local", "file:///etc/hostname") + entry ("Script", "javascript:alert(1)//x.png")
                   + entry ("Hash", origin + "/thumbnails/a#b.png") + entry ("Plain", origin + "/thumbnails/ab.png")
                   + entry ("Device", origin + "/thumbnails/nul.png")
                   + entry ("Text", origin + "/thumbnails/big-room-verb.png") + "</PLUGINS>";

    server.setFault ("/" + juce::URL (ServiceTexts::catalogueURL()).getSubPath(), "{\"body\": " + juce::JSON::toString (catalogue) + ", \"count\": 1}");
    server.setFault ("/thumbnails/big-room-verb.png", "{\"body\": " + juce::JSON::toString (juce::String::repeatedString ("not a picture ", 60)) + "}");
    auto result = s.run ("demo@quillotone.test");
    ASSERT_EQ (result.error, "");
    ASSERT_EQ (result.products.size(), 6);

    EXPECT_EQ (result.products[0].thumbnailFile, "");
    EXPECT_EQ (result.products[1].thumbnailFile, "");
    EXPECT_NE (result.products[2].thumbnailFile, result.products[3].thumbnailFile);
    EXPECT_TRUE (FileNames::isUsableFileName (juce::File (result.products[4].thumbnailFile).getFileName()));

    // What came back for a picture was text: refused, so the row shows none.
    EXPECT_FALSE (juce::File (result.products[5].thumbnailFile).exists());
    EXPECT_EQ (thumbnails.getNumberOfChildFiles (juce::File::findFiles), 0);
}
