// Installer downloads through WinINet that break off part-way: the next try
// asks the stand-in only for the rest, unless it cannot or the file changed.
#include "WindowsTestSupport.h"

#include "ui/Downloader.h"
#include "ui/PartialDownload.h"

#include <juce_cryptography/juce_cryptography.h>

using windows_testing::TempFolder;

namespace
{
    struct Seen
    {
        juce::String range, ifRange;
        juce::int64 sent = 0;
    };

    /** The requests for one path the stand-in logged after the first `skip` of them. */
    std::vector<Seen> requestsFor (const juce::String& path, size_t skip)
    {
        std::vector<Seen> seen;
        const auto log = windows_testing::standInLog();

        if (auto* entries = log.getArray())
            for (auto& entry : *entries)
                if (entry["path"].toString() == path)
                    seen.push_back ({ entry["range"].isVoid() ? juce::String() : entry["range"].toString(),
                                      entry["ifRange"].isVoid() ? juce::String() : entry["ifRange"].toString(),
                                      (juce::int64) entry["sent"] });

        seen.erase (seen.begin(), seen.begin() + (std::ptrdiff_t) juce::jmin (skip, seen.size()));
        return seen;
    }

    bool download (const juce::String& url, const juce::File& destination)
    {
        Downloader downloader;
        downloader.setResumable (true);
        downloader.setURL (juce::URL (url));
        downloader.downloadToFile (destination);
        return downloader.waitUntilFinished (60000) && downloader.wasSuccessful();
    }
}

TEST (WindowsResume, ADroppedDownloadAsksForTheRest)
{
    if (! windows_testing::standInAnswers())
        GTEST_SKIP() << "no stand-in started by scripts/test-windows";

    // An archive no other test of this run fetches, so the log is this test's.
    const juce::String path = "/installers/GrandLibrary.zip";
    const auto source = windows_testing::buildFile (QUILLOTONE_STANDIN_CONTENT).getChildFile (path.substring (1));
    const auto size = source.getSize();
    const auto cut = size * 6 / 10;
    ASSERT_GT (size, 100000);

    TempFolder folder;
    const auto destination = folder.folder.getChildFile ("GrandLibrary.zip");
    const PartialDownload partial (destination);

    struct Case
    {
        const char* what;
        const char* secondFault;
        size_t requests;            // all it takes
        juce::int64 maxSent;        // body bytes served in all
    };

    const Case cases[] = {
        { "range honoured",     "null",                               2, size },
        { "no range support",   R"({"norange": true, "count": 1})",  2, cut + size },
        { "file changed",       R"({"etag": "\"v2\"", "count": 1})", 2, cut + size },
        { "416",                R"({"status": 416, "count": 1})",    3, 2 * size },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto before = requestsFor (path, 0).size();
        windows_testing::setStandInFault (path, "{\"drop\": " + juce::String (cut) + ", \"count\": 1}");
        EXPECT_FALSE (download (windows_testing::standInOrigin() + path, destination));
        EXPECT_EQ (partial.dataFile().getSize(), cut);

        windows_testing::setStandInFault (path, c.secondFault);
        ASSERT_TRUE (download (windows_testing::standInOrigin() + path, destination));
        windows_testing::setStandInFault (path, "null");
        EXPECT_EQ (juce::MD5 (destination).toHexString(), juce::MD5 (source).toHexString());
        EXPECT_FALSE (partial.dataFile().exists());
        EXPECT_FALSE (partial.recordFile().exists());

        const auto requests = requestsFor (path, before);
        ASSERT_EQ (requests.size(), c.requests);
        EXPECT_EQ (requests[0].range, juce::String());
        EXPECT_EQ (requests[1].range, "bytes=" + juce::String (cut) + "-");
        EXPECT_TRUE (requests[1].ifRange.isNotEmpty());
        EXPECT_EQ (requests.back().range.isEmpty(), c.requests > 2);

        juce::int64 sent = 0;

        for (auto& r : requests)
            sent += r.sent;

        EXPECT_LE (sent, c.maxSent);
        destination.deleteFile();
    }
}
