#include <gtest/gtest.h>

#include "support/LocalHttpServer.h"
#include "support/TestHelpers.h"
#include "ui/Utilities.h"

using testing_support::LocalHttpServer;
using testing_support::TempFolder;
using testing_support::waitUntil;

namespace
{
    juce::MemoryBlock patternBytes (int size)
    {
        juce::MemoryBlock block ((size_t) size);

        for (int i = 0; i < size; ++i)
            static_cast<char*> (block.getData())[i] = static_cast<char> ((i * 31 + 7) & 0xff);

        return block;
    }
}

TEST (Downloader, FreshInstanceReportsNothingStartedAndAZeroFraction)
{
    Downloader downloader;
    EXPECT_TRUE (downloader.isTaskFinished());
    EXPECT_FALSE (downloader.wasSuccessful());
    EXPECT_FALSE (downloader.wasStarted());
    EXPECT_EQ (downloader.getTotalLength(), 1);
    EXPECT_EQ (downloader.getLengthDownloaded(), 0);
}

TEST (Downloader, DownloadsAFileAndCanBeReused)
{
    LocalHttpServer server;
    ASSERT_TRUE (server.isListening());
    server.addRoute ("/one.bin", { 200, patternBytes (200000) });
    server.addText ("/two.txt", "second file");

    TempFolder temp;
    Downloader downloader;
    std::atomic<int> callbacks { 0 };
    downloader.setOnFinish ([&] { ++callbacks; });

    downloader.setURL (juce::URL (server.url ("/one.bin")));
    downloader.downloadToFile (temp.folder.getChildFile ("one.bin"));
    EXPECT_TRUE (downloader.wasStarted());
    ASSERT_TRUE (waitUntil ([&] { return downloader.isTaskFinished(); }));

    EXPECT_TRUE (downloader.wasSuccessful());
    EXPECT_EQ (downloader.getTotalLength(), 200000);
    EXPECT_EQ (downloader.getLengthDownloaded(), 200000);
    juce::MemoryBlock written;
    temp.folder.getChildFile ("one.bin").loadFileAsData (written);
    EXPECT_EQ (written, patternBytes (200000));

    downloader.setURL (juce::URL (server.url ("/two.txt")));
    downloader.downloadToFile (temp.folder.getChildFile ("two.txt"));
    ASSERT_TRUE (waitUntil ([&] { return downloader.isTaskFinished(); }));
    EXPECT_TRUE (downloader.wasSuccessful());
    EXPECT_EQ (temp.folder.getChildFile ("two.txt").loadFileAsString(), "second file");
    EXPECT_EQ (callbacks.load(), 2);
}

TEST (Downloader, ErrorStatusIsAFailureNotASavedErrorPage)
{
    LocalHttpServer server;
    ASSERT_TRUE (server.isListening());
    server.addText ("/gone", "<html>Not here</html>", 404);
    server.addText ("/broken", "<html>Server error</html>", 500);

    TempFolder temp;
    Downloader downloader;

    for (auto path : { "/gone", "/broken" })
    {
        downloader.setURL (juce::URL (server.url (path)));
        downloader.downloadToFile (temp.folder.getChildFile ("page"));
        ASSERT_TRUE (waitUntil ([&] { return downloader.isTaskFinished(); })) << path;
        EXPECT_FALSE (downloader.wasSuccessful()) << path;
    }
}

TEST (Downloader, RefusedConnectionFinishesAtOnceWithoutSuccess)
{
    auto port = LocalHttpServer::closedPort();

    TempFolder temp;
    Downloader downloader;
    downloader.setURL (juce::URL ("http://127.0.0.1:" + juce::String (port) + "/file.zip"));
    downloader.downloadToFile (temp.folder.getChildFile ("file.zip"));

    // The framework may start a task that fails at once, or none at all.
    ASSERT_TRUE (waitUntil ([&] { return downloader.isTaskFinished(); }, 3000));
    EXPECT_FALSE (downloader.wasSuccessful());
    EXPECT_EQ (downloader.getTotalLength(), 1);
}

TEST (Downloader, CancelStopsATransferMidway)
{
    LocalHttpServer server;
    ASSERT_TRUE (server.isListening());
    LocalHttpServer::Route slow { 200, patternBytes (400000), 4096, 50 };
    server.addRoute ("/slow.bin", slow);

    TempFolder temp;
    Downloader downloader;
    std::atomic<int> callbacks { 0 };
    downloader.setOnFinish ([&] { ++callbacks; });
    downloader.setURL (juce::URL (server.url ("/slow.bin")));
    downloader.downloadToFile (temp.folder.getChildFile ("slow.bin"));

    ASSERT_TRUE (waitUntil ([&] { return downloader.getLengthDownloaded() > 0; }));
    EXPECT_FALSE (downloader.isTaskFinished());
    EXPECT_EQ (downloader.getTotalLength(), 400000);

    downloader.cancel();
    EXPECT_TRUE (downloader.isTaskFinished());
    EXPECT_FALSE (downloader.wasSuccessful());
    EXPECT_FALSE (downloader.wasStarted());
    EXPECT_EQ (downloader.getLengthDownloaded(), 0);
    EXPECT_LT (temp.folder.getChildFile ("slow.bin").getSize(), 400000);
    EXPECT_EQ (callbacks.load(), 0);
}

TEST (Downloader, UnwritableDestinationFails)
{
    LocalHttpServer server;
    ASSERT_TRUE (server.isListening());
    server.addText ("/a.txt", "a");

    TempFolder temp;
    auto blocker = temp.folder.getChildFile ("file");
    ASSERT_TRUE (blocker.replaceWithText ("x"));

    Downloader downloader;
    downloader.setURL (juce::URL (server.url ("/a.txt")));
    downloader.downloadToFile (blocker.getChildFile ("inside/a.txt"));
    ASSERT_TRUE (downloader.waitUntilFinished (5000));
    EXPECT_FALSE (downloader.wasSuccessful());
}

TEST (Downloader, TheDestinationIsAbsentOrWholeAndNoTaskReportsLate)
{
    LocalHttpServer server;
    ASSERT_TRUE (server.isListening());
    server.addRoute ("/slow.bin", { 200, patternBytes (400000), 4096, 50 });
    server.addRoute ("/fast.bin", { 200, patternBytes (1000) });

    TempFolder temp;
    auto target = temp.folder.getChildFile ("file.bin");
    Downloader downloader;
    std::atomic<int> finishes { 0 }, inCallback { 0 }, overlaps { 0 };

    // The callback runs under the downloader's lock: a cancel waits for a
    // running one to end, and nothing runs after the cancel has returned.
    downloader.setOnFinish ([&]
    {
        if (++inCallback > 1)
            ++overlaps;

        juce::Thread::sleep (200);
        ++finishes;
        --inCallback;
    });

    // Replaced half-way: the first task never reports and leaves no file.
    downloader.setURL (juce::URL (server.url ("/slow.bin")));
    downloader.downloadToFile (target);
    ASSERT_TRUE (waitUntil ([&] { return downloader.getLengthDownloaded() > 0; }));
    downloader.setURL (juce::URL (server.url ("/fast.bin")));
    downloader.downloadToFile (target);
    ASSERT_TRUE (waitUntil ([&] { return inCallback.load() == 1; }));
    downloader.cancel();
    EXPECT_EQ (finishes.load(), 1);
    EXPECT_EQ (overlaps.load(), 0);
    EXPECT_EQ (target.getSize(), 1000);

    // Cancelled half-way: nothing at the destination, no leftovers beside it.
    downloader.setURL (juce::URL (server.url ("/slow.bin")));
    downloader.downloadToFile (target);
    ASSERT_TRUE (waitUntil ([&] { return downloader.getLengthDownloaded() > 0; }));
    downloader.cancel();
    juce::Thread::sleep (300);
    EXPECT_FALSE (target.exists());
    EXPECT_EQ (temp.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
    EXPECT_EQ (finishes.load(), 1);

    // Only web addresses start a task.
    for (auto* address : { "file:///etc/hostname", "javascript:alert(1)", "ftp://127.0.0.1/x" })
    {
        downloader.setURL (juce::URL (address));
        downloader.downloadToFile (target);
        EXPECT_FALSE (downloader.wasStarted()) << address;
        EXPECT_TRUE (downloader.isTaskFinished()) << address;
        EXPECT_FALSE (target.exists()) << address;
    }
}
