#include <gtest/gtest.h>

#include "support/TestHelpers.h"
#include "ui/PartialDownload.h"

using Answer = PartialDownload::Answer;

TEST (PartialDownload, JudgesEachAnswerToARequestForTheRest)
{
    struct Case { int status; const char* contentRange; juce::int64 have, knownTotal; Answer answer; juce::int64 total; };
    const Case cases[] = {
        { 206, "bytes 600-999/1000",  600, 1000, Answer::append,     1000 },
        { 206, "bytes 600-999/1000",  600, -1,   Answer::append,     1000 },
        { 206, "bytes 500-999/1000",  600, 1000, Answer::startAgain, 1000 },   // not where the kept bytes end
        { 206, "bytes 600-799/1000",  600, 1000, Answer::startAgain, 1000 },   // not the whole rest
        { 206, "bytes 600-1199/1200", 600, 1000, Answer::startAgain, 1200 },   // the file grew
        { 206, "bytes 600-999/*",     600, 1000, Answer::startAgain, -1 },
        { 206, "",                    600, 1000, Answer::startAgain, -1 },
        { 206, "bytes 0-999/1000",    0,   -1,   Answer::startAgain, -1 },     // asked for everything
        { 200, "",                    600, 1000, Answer::restart,    1000 },   // no ranges, or a new file
        { 416, "bytes */1000",        600, 1000, Answer::startAgain, -1 },
        { 404, "",                    600, 1000, Answer::refuse,     -1 },
        { 503, "",                    600, 1000, Answer::refuse,     -1 },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.status) + " " + c.contentRange + " after " + juce::String (c.have));
        juce::StringPairArray headers;
        headers.set ("Content-Range", c.contentRange);
        headers.set ("Content-Length", "1000");
        juce::int64 total = -2;
        EXPECT_EQ ((int) PartialDownload::judge (c.status, headers, c.have, c.knownTotal, total), (int) c.answer);

        if (c.answer != Answer::refuse)
            EXPECT_EQ (total, c.total);
    }
}

TEST (PartialDownload, OnlyAPartThatFitsItsRecordIsResumed)
{
    testing_support::TempFolder folder;
    const PartialDownload partial (folder.folder.getChildFile ("Setup.zip"));
    const juce::String url = "https://127.0.0.1/installers/Setup.zip";

    struct Case { const char* what; juce::String url, etag, lastModified; juce::int64 recorded, total, onDisk, resumesFrom; };
    const Case cases[] = {
        { "as recorded",            url, "\"a\"", "",     400, 1000, 400, 400 },
        { "more written than saved", url, "\"a\"", "",    400, 1000, 500, 500 },
        { "a date is enough",       url, "",      "Wed, 09 Dec 2026 10:00:00 GMT", 400, 1000, 400, 400 },
        { "another address",        url + "?v=2", "\"a\"", "", 400, 1000, 400, 0 },
        { "no validator",           url, "",      "",     400, 1000, 400, 0 },
        { "fewer bytes than saved", url, "\"a\"", "",     400, 1000, 300, 0 },
        { "more than the whole",    url, "\"a\"", "",     400, 1000, 1200, 0 },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        partial.discard();
        juce::MemoryBlock bytes ((size_t) c.onDisk, true);
        ASSERT_TRUE (partial.dataFile().replaceWithData (bytes.getData(), bytes.getSize()));
        ASSERT_TRUE (partial.save ({ c.url, c.etag, c.lastModified, c.recorded, c.total }));

        EXPECT_EQ (partial.load (url).bytes, c.resumesFrom);
    }
}
