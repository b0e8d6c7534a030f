#pragma once

#include <juce_core/juce_core.h>

#include "account/ProductRecord.h"
#include "storage/MakerFolders.h"

#include <atomic>
#include <functional>
#include <memory>

class Downloader;

/**
    The rules for reading the web service's catalogue answer.
*/
namespace CatalogueParser
{
    /** The parsed document, or null when the text has no root element. */
    std::unique_ptr<juce::XmlElement> parse (const juce::String& text);

    /** How many "PLUGIN" and "PLUGIN_DEMO" children have a non-blank name. */
    int countNamedEntries (const juce::XmlElement& root);

    /** True for an owned entry whose installer number (or installer) is "10". */
    bool isExcludedOwnedEntry (const juce::XmlElement& entry);

    /** The record of a "PLUGIN" or "PLUGIN_DEMO" element; demos carry no hash,
        date or NFR mark. The thumbnail path is filled in by the sync.
    */
    ProductRecord readRecord (const juce::XmlElement& entry, bool isDemo);

    /** True when the first non-blank character is 1, t, T, y or Y. */
    bool readFlag (const juce::String& text);

    /** Leading decimal digits with an optional sign; anything else reads 0. */
    int readId (const juce::String& text);

    /** The cache file for an "imageURL": the part after its last "/", in the
        thumbnails folder. Empty when there is no usable name. The name comes
        from the network, so anything that could leave the folder (backslashes,
        "..", drive prefixes, characters no file system takes) is refused or
        dropped rather than trusted.
    */
    juce::File thumbnailFile (const juce::File& thumbnailsFolder, const juce::String& imageURL);
}

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
        std::unique_ptr<juce::XmlElement> document; // set only when committed
        juce::Array<ProductRecord> products, demos;
    };

    /** The folders decide where thumbnails and the tool go; the downloader is
        the main component's, used for the tool.
    */
    CatalogueSync (MakerFolders& folders, Downloader& toolDownloader);

    /** Progress counters, read by the message thread while the job runs. */
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

    /** Lower-case hex MD5 of a file's content. */
    static juce::String md5Of (const juce::File&);

private:
    bool cacheThumbnail (const juce::String& imageURL, ProductRecord& record, std::function<bool()>& shouldStop);

    MakerFolders& folders;
    Downloader& toolDownloader;
};
