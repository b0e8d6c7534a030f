// Installer downloads that fail part-way keep what they have and the next
// install asks only for the rest, unless the server cannot or the file changed.
#include <gtest/gtest.h>

#include "account/CatalogueSync.h"
#include "products/Product.h"
#include "support/StandIn.h"
#include "support/TestHelpers.h"
#include "ui/Downloader.h"
#include "ui/PartialDownload.h"
#include "ui/VortelDialog.h"

#include <juce_cryptography/juce_cryptography.h>

using testing_support::ScopedHome;
using testing_support::StandIn;
using testing_support::TempFolder;
using testing_support::waitUntil;

namespace
{
    juce::String md5 (const juce::File& f)     { return juce::MD5 (f).toHexString(); }

    /** The installer requests the stand-in saw: (Range asked for, body bytes sent). */
    std::vector<std::pair<juce::String, juce::int64>> requestsFor (StandIn& server, const juce::String& path)
    {
        std::vector<std::pair<juce::String, juce::int64>> seen;
        const auto requests = server.requestLog();

        if (auto* log = requests.getArray())
            for (auto& entry : *log)
                if (entry["path"].toString() == path)
                    seen.push_back ({ entry["range"].isVoid() ? juce::String() : entry["range"].toString(), (juce::int64) entry["sent"] });

        return seen;
    }

    juce::int64 sentIn (const std::vector<std::pair<juce::String, juce::int64>>& requests)
    {
        juce::int64 total = 0;

        for (auto& r : requests)
            total += r.second;

        return total;
    }

    bool download (Downloader& d, const juce::File& destination)
    {
        d.downloadToFile (destination);
        return d.waitUntilFinished (30000) && d.wasSuccessful();
    }
}

//==============================================================================
TEST (ResumedDownload, EachAnswerToAResumeIsHandled)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    ScopedHome home;
    const juce::String path = "/installers/BigRoomVerb.zip";
    const auto source = StandIn::contentFolder().getChildFile (path.substring (1));
    const auto size = source.getSize();
    const auto destination = home.home.folder.getChildFile ("BigRoomVerb.zip");

    struct Case
    {
        const char* what;
        const char* secondFault;
        int requests;               // all it takes
        bool resumed;               // the second request asked for the rest
        juce::int64 maxSent;        // body bytes served in all
    };

    const Case cases[] = {
        { "range honoured",         "{}",                                 2, true,  size },
        { "no range support",       R"({"norange": true, "count": 1})",  2, true,  size + size / 2 },
        { "file changed",           R"({"etag": "\"v2\"", "count": 1})", 2, true,  size + size / 2 },
        { "416",                    R"({"status": 416, "count": 1})",    3, true,  size + size },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        server.clearFaults();
        server.setFault (path, "{\"drop\": " + juce::String (size / 2) + ", \"count\": 1}");

        Downloader first;
        first.setResumable (true);
        first.setURL (juce::URL (server.base() + path));
        EXPECT_FALSE (download (first, destination));
        EXPECT_EQ (PartialDownload (destination).dataFile().getSize(), size / 2);

        server.setFault (path, c.secondFault);
        Downloader second;
        second.setResumable (true);
        second.setURL (juce::URL (server.base() + path));
        ASSERT_TRUE (download (second, destination));
        EXPECT_EQ (md5 (destination), md5 (source));
        EXPECT_FALSE (PartialDownload (destination).dataFile().exists());
        EXPECT_FALSE (PartialDownload (destination).recordFile().exists());

        const auto requests = requestsFor (server, path);
        ASSERT_EQ ((int) requests.size(), c.requests);
        EXPECT_EQ (requests[1].first, c.resumed ? "bytes=" + juce::String (size / 2) + "-" : juce::String());
        EXPECT_TRUE (requests.back().first.isEmpty() || c.requests == 2);
        EXPECT_LE (sentIn (requests), c.maxSent);
        destination.deleteFile();
    }
}

TEST (ResumedDownload, ClosingKeepsThePartAndStopDiscardsIt)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    ScopedHome home;
    const juce::String path = "/installers/BigRoomVerb.zip";
    const auto source = StandIn::contentFolder().getChildFile (path.substring (1));
    const auto destination = home.home.folder.getChildFile ("BigRoomVerb.zip");
    const PartialDownload partial (destination);

    for (bool stop : { false, true })
    {
        SCOPED_TRACE (stop ? "stop" : "window closed");
        server.clearFaults();
        partial.discard();
        server.setFault (path, "{\"drop\": " + juce::String (source.getSize() / 4) + ", \"count\": 1}");

        {
            Downloader first;
            first.setResumable (true);
            first.setURL (juce::URL (server.base() + path));
            EXPECT_FALSE (download (first, destination));
        }

        // The resumed part stalls half-way, and the window closes (or STOP).
        server.setFault (path, R"({"stall": 20000, "count": 1})");

        {
            Downloader second;
            second.setResumable (true);
            second.setURL (juce::URL (server.base() + path));
            second.downloadToFile (destination);
            ASSERT_TRUE (waitUntil ([&] { return second.getLengthDownloaded() > source.getSize() / 2; }, 10000));
            EXPECT_EQ (second.getTotalLength(), source.getSize());

            if (stop)
                second.cancel (true);
        }

        ASSERT_TRUE (waitUntil ([&] { return stop ? ! partial.dataFile().exists() : partial.recordFile().exists()
                                                                                       && partial.load (server.base() + path).bytes > source.getSize() / 2; }));

        Downloader third;
        third.setResumable (true);
        third.setURL (juce::URL (server.base() + path));
        ASSERT_TRUE (download (third, destination));
        EXPECT_EQ (md5 (destination), md5 (source));
        EXPECT_EQ (requestsFor (server, path).back().first.isNotEmpty(), ! stop);
        destination.deleteFile();
    }
}

//==============================================================================
TEST (ResumedDownload, ALargeArchiveDroppedPartWayIsResumedByTheNextInstall)
{
    // An installer archive of about 64 MiB, made once per build folder.
    const auto buildFolder = StandIn::contentFolder().getParentDirectory();
    const auto made = juce::File (testing_support::runAndRead ({ "/usr/bin/python3",
                                      juce::File (QUILLOTONE_SOURCE_DIR).getChildFile ("bench/install_bench_data.py").getFullPathName(),
                                      QUILLOTONE_INSTALLER_STUB, buildFolder.getChildFile ("resume-test-data").getFullPathName(),
                                      "--archive-mib", "64" }).trim().fromLastOccurrenceOf ("\n", false, false));
    ASSERT_TRUE (made.existsAsFile());
    EXPECT_NEAR ((double) made.getSize() / (1 << 20), 64.0, 2.0);

    TempFolder content;
    const auto archive = content.folder.getChildFile ("installers/BenchVerb.zip");
    archive.getParentDirectory().createDirectory();
    ASSERT_TRUE (made.copyFileTo (archive));
    const auto size = archive.getSize();

    StandIn::Options options;
    options.contentFolder = content.folder;
    StandIn server (options);
    REQUIRE_STANDIN (server);
    ScopedHome home;

    // The extraction tool the install uses, where a sync would have put it.
    MakerFolders folders;
    const auto tool = CatalogueSync (folders).extractionToolFile();
    tool.getParentDirectory().createDirectory();
    ASSERT_TRUE (juce::File (QUILLOTONE_EXTRACTION_TOOL).copyFileTo (tool));
    tool.setExecutePermission (true);

    TempFolder plugins;
    ProductRecord record;
    record.name = "Bench Verb";
    record.latestVersion = "1.0.0";
    record.downloadURLWindows = server.base() + "/installers/BenchVerb.zip";
    Product product (record);
    product.settings.installFlag[PluginFormat::VST3] = [] { return true; };
    product.settings.folder[PluginFormat::VST3] = [&] { return plugins.folder.getFullPathName() + "/"; };

    auto install = [&]
    {
        if (! product.startInstall() || ! waitUntil ([&] { return ! product.installBusy; }, 120000))
            return juce::String ("not run");

        for (auto* child : product.getChildren())
            if (auto* d = dynamic_cast<VortelDialog*> (child))
            {
                auto text = d->getTitle();
                d->dismiss();
                return text;
            }

        return juce::String();
    };

    server.setFault ("/installers/BenchVerb.zip", "{\"drop\": " + juce::String (size * 6 / 10) + ", \"count\": 1}");
    EXPECT_EQ (install(), "Download error");
    EXPECT_NE (install(), "Download error");

    const auto requests = requestsFor (server, "/installers/BenchVerb.zip");
    ASSERT_EQ (requests.size(), 2u);
    EXPECT_EQ (requests[1].first, "bytes=" + juce::String (requests[0].second) + "-");
    EXPECT_LE ((double) sentIn (requests), (double) size * 1.05);

    // The placed plugin is the one in the archive, byte for byte.
    TempFolder reference;
    ASSERT_TRUE (juce::ZipFile (archive).uncompressTo (reference.folder).wasOk());
    const auto expanded = reference.folder.getChildFile ("expanded");
    testing_support::runAndRead ({ QUILLOTONE_EXTRACTION_TOOL, "-x", reference.folder.getChildFile ("BenchVerbSetup.exe").getFullPathName(),
                                   "-d" + expanded.getFullPathName(), "-q", "-y" });
    const auto relative = juce::String ("BenchVerb.vst3/Contents/x86_64-win/BenchVerb.vst3");
    const auto expected = expanded.getChildFile ("{cf64}/VST3").getChildFile (relative);
    ASSERT_TRUE (expected.existsAsFile());
    EXPECT_EQ (md5 (plugins.folder.getChildFile (relative)), md5 (expected));
}
