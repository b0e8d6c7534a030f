#pragma once

#include <juce_core/juce_core.h>

#include "account/CatalogueParser.h"
#include "account/ProductRecord.h"
#include "storage/MakerFolders.h"

#include <atomic>
#include <functional>
#include <memory>

//==============================================================================
/**
    The catalogue sync job: request, parse, cache thumbnails, verify the
    extraction tool, and commit. Runs on the main component's sync thread; it
    never touches a component. Tests run it directly.
*/
class CatalogueSync final
{
public:
    /** What a sync leaves for the message thread. */
    struct Result
    {
        juce::String error;                         // empty when none
        bool serverReached = false;
        bool serverUnreachable = false;             // no answer at all: working offline may be offered
        std::unique_ptr<juce::XmlElement> document; // set only when committed
        juce::Array<ProductRecord> products, demos;
    };

    /** The folders decide where thumbnails and the tool go. */
    explicit CatalogueSync (MakerFolders& folders);

    /** False skips the thumbnails (a caller that shows no pictures); read by run(). */
    bool withThumbnails = true;

    /** Progress counters, read by the message thread while the job runs;
        syncDone counts the rows ready, in catalogue order.
    */
    std::atomic<int> syncDone { 0 }, syncTotal { 0 };

    /** Runs the whole job. shouldStop is polled between steps and downloads. */
    Result run (const juce::String& email, const juce::String& password, std::function<bool()> shouldStop);

    /** Makes sure the extraction tool in the cache has its digest, downloading
        it when missing or wrong. Returns false when it failed or was stopped
        (stopped tells which).
    */
    bool ensureExtractionTool (std::function<bool()> shouldStop, bool& stopped);

    /** The extraction tool's file in the cache. */
    juce::File extractionToolFile() const;

    /** Lower-case hex SHA-256 of a file's content: the tool's pin. */
    static juce::String digestOf (const juce::File&);

    /** How many thumbnails are fetched at once. */
    static constexpr int maxThumbnailsAtOnce = 5;

private:
    /** Points the record at its thumbnail's cache file; returns that file when
        it still has to be fetched.
    */
    juce::File thumbnailToFetch (const juce::String& imageURL, ProductRecord& record);
    void fetchThumbnail (const juce::String& imageURL, const juce::File& file, const std::function<bool()>& shouldStop);

    /** Fetches the records' missing thumbnails, a few at once, counting
        syncDone up in the records' order. False when stopped.
    */
    bool cacheThumbnails (const juce::Array<ProductRecord*>& records, const juce::StringArray& imageURLs,
                          const std::function<bool()>& shouldStop);

    MakerFolders& folders;
};
