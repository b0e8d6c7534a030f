#pragma once

#include <juce_core/juce_core.h>

/**
    What an interrupted download leaves so that the next one asks only for the
    rest: the bytes so far in "<destination>.partial" and, beside them in
    "<destination>.partial.json", the address, the announced total and the
    server's ETag or Last-Modified date. Plain files and rules; the downloader's
    worker uses them, tests call them directly.
*/
class PartialDownload final
{
public:
    struct Record
    {
        juce::String url, etag, lastModified;
        juce::int64 bytes = 0;          ///< bytes already in the data file
        juce::int64 total = -1;         ///< the whole resource, -1 when not announced

        /** True when a later answer can be checked against this one. */
        bool hasValidator() const       { return etag.isNotEmpty() || lastModified.isNotEmpty(); }
    };

    explicit PartialDownload (const juce::File& destination);

    juce::File dataFile() const         { return data; }
    juce::File recordFile() const       { return record; }

    /** What is kept for this address; an empty record (0 bytes) when nothing
        usable is: another address, no validator, or a data file that does not
        match the record.
    */
    Record load (const juce::String& url) const;

    bool save (const Record&) const;

    /** Deletes both files. */
    void discard() const;

    /** The request headers that ask for the rest of a kept download. */
    static juce::String resumeHeaders (const Record&);

    enum class Answer
    {
        append,         ///< 206 for exactly the rest: add it to the bytes kept
        restart,        ///< 200: the whole resource, from zero
        startAgain,     ///< 416, or a range or total that does not fit: drop what is kept
        refuse          ///< an error answer: keep what is kept for another time
    };

    /** Judges an answer to a request that asked for the rest from byte `have`
        (0: asked for everything) of a resource last announced as `knownTotal`
        (-1 unknown). Sets total to the whole resource's size when announced.
    */
    static Answer judge (int status, const juce::StringPairArray& headers,
                         juce::int64 have, juce::int64 knownTotal, juce::int64& total);

private:
    juce::File data, record;
};
