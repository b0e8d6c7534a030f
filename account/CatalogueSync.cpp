#include "account/CatalogueSync.h"

#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "ui/Utilities.h"

#include <juce_cryptography/juce_cryptography.h>

namespace CatalogueParser
{

std::unique_ptr<juce::XmlElement> parse (const juce::String& text)
{
    if (text.trim().isEmpty())
        return nullptr;

    return juce::parseXML (text);
}

int countNamedEntries (const juce::XmlElement& root)
{
    int count = 0;

    for (auto* entry : root.getChildIterator())
        if ((entry->hasTagName ("PLUGIN") || entry->hasTagName ("PLUGIN_DEMO"))
             && entry->getStringAttribute ("name").trim().isNotEmpty())
            ++count;

    return count;
}

bool isExcludedOwnedEntry (const juce::XmlElement& entry)
{
    auto number = entry.hasAttribute ("installerNumber") ? entry.getStringAttribute ("installerNumber")
                                                         : entry.getStringAttribute ("installer");
    return number.trim() == "10";
}

bool readFlag (const juce::String& text)
{
    auto first = text.trimStart()[0];
    return first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
}

int readId (const juce::String& text)
{
    auto trimmed = text.trimStart();
    auto sign = trimmed.startsWithChar ('-') || trimmed.startsWithChar ('+') ? trimmed.substring (0, 1) : juce::String();
    auto digits = trimmed.substring (sign.length()).initialSectionContainingOnly ("0123456789");

    if (digits.isEmpty())
        return 0;

    auto value = digits.substring (0, 10).getLargeIntValue();
    value = juce::jmin (value, (juce::int64) std::numeric_limits<int>::max());
    return (int) (sign == "-" ? -value : value);
}

ProductRecord readRecord (const juce::XmlElement& entry, bool isDemo)
{
    ProductRecord record;
    record.id = readId (entry.getStringAttribute ("id"));
    record.name = entry.getStringAttribute ("name").trim();
    record.latestVersion = entry.getStringAttribute ("version");
    record.productURL = entry.getStringAttribute ("productURL");
    record.downloadURLMac = entry.getStringAttribute ("downloadMAC");
    record.downloadURLWindows = entry.getStringAttribute ("downloadPC");
    record.downloadURLLinux = entry.getStringAttribute ("downloadLINUX");
    record.isFreebie = readFlag (entry.getStringAttribute ("freebie"));
    record.isDemo = isDemo;

    if (! isDemo)
    {
        record.hash = entry.getStringAttribute ("hash");
        record.date = entry.getStringAttribute ("date");
        record.isNFR = readFlag (entry.getStringAttribute ("nfr"));
    }

    return record;
}

juce::File thumbnailFile (const juce::File& thumbnailsFolder, const juce::String& imageURL)
{
    auto name = imageURL.fromLastOccurrenceOf ("/", false, false);

    // A backslash is a separator on Windows: never let it build a path.
    name = name.fromLastOccurrenceOf ("\\", false, false);

    if (name.isEmpty() || name == "." || name == "..")
        return {};

    auto legal = juce::File::createLegalFileName (name).trimCharactersAtEnd (". ");

    if (legal.isEmpty() || legal == "." || legal == ".." || legal.containsAnyOf ("/\\:"))
        return {};

    auto file = thumbnailsFolder.getChildFile (legal);
    return file.isAChildOf (thumbnailsFolder) ? file : juce::File();
}

} // namespace CatalogueParser

//==============================================================================
namespace
{
    /** Waits for a download, waking on completion or every interval to look at
        the stop flag. Returns false when asked to stop.
    */
    bool waitForDownload (Downloader& downloader, juce::WaitableEvent& done, int intervalMs,
                          std::function<bool()>& shouldStop)
    {
        while (! downloader.isTaskFinished())
        {
            if (shouldStop())
                return false;

            done.wait (intervalMs);
        }

        return ! shouldStop();
    }
}

CatalogueSync::CatalogueSync (MakerFolders& f, Downloader& d)
    : folders (f), toolDownloader (d)
{
}

juce::File CatalogueSync::extractionToolFile() const
{
    return folders.cacheFolder().getChildFile (ServiceTexts::extractionToolPath().trimCharactersAtStart ("/"));
}

juce::String CatalogueSync::md5Of (const juce::File& file)
{
    return juce::MD5 (file).toHexString().toLowerCase();
}

bool CatalogueSync::cacheThumbnail (const juce::String& imageURL, ProductRecord& record, std::function<bool()>& shouldStop)
{
    auto file = CatalogueParser::thumbnailFile (folders.cacheFolder ("/Thumbnails"), imageURL);

    if (file == juce::File())
        return true;

    record.thumbnailFile = file.getFullPathName();

    // Cached thumbnails are kept across syncs; a short file is a broken one.
    if (file.existsAsFile() && file.getSize() >= 500)
        return true;

    Downloader downloader;
    juce::WaitableEvent done;
    downloader.onFinish = [&done] { done.signal(); };
    downloader.setURL (juce::URL (imageURL));
    downloader.downloadToFile (file);

    if (! waitForDownload (downloader, done, 100, shouldStop))
    {
        downloader.cancel();
        return false;
    }

    // The outcome is not examined: a failed download is retried next sync.
    return true;
}

bool CatalogueSync::ensureExtractionTool (std::function<bool()> shouldStop, bool& stopped)
{
    stopped = false;
    auto tool = extractionToolFile();
    auto expected = ServiceTexts::extractionToolDigest();

    if (tool.existsAsFile())
    {
        if (md5Of (tool) == expected)
            return true;

        tool.deleteFile();
        juce::Thread::sleep (100);
    }

    tool.getParentDirectory().createDirectory();

    juce::WaitableEvent done;
    toolDownloader.onFinish = [&done] { done.signal(); };
    toolDownloader.setURL (juce::URL (ServiceTexts::extractionToolURL()));
    toolDownloader.downloadToFile (tool);

    auto finished = waitForDownload (toolDownloader, done, 900, shouldStop);

    if (! finished)
        toolDownloader.cancel();

    toolDownloader.onFinish = nullptr;

    if (! finished)
    {
        stopped = true;
        return false;
    }

    if (! toolDownloader.wasSuccessful() || ! tool.existsAsFile())
        return false;

    return md5Of (tool) == expected;
}

CatalogueSync::Result CatalogueSync::run (const juce::String& email, const juce::String& password,
                                          std::function<bool()> shouldStop)
{
    Result result;

    auto stream = ServiceRequest::open (ServiceRequest::build (ServiceTexts::catalogueURL(), email, password, "1"));

    if (shouldStop())
    {
        result.error = ServiceTexts::syncCancelledMessage();
        return result;
    }

    if (stream == nullptr)
    {
        result.serverReached = false;
        result.error = ServiceTexts::syncConnectionFailedMessage();
        return result;
    }

    result.serverReached = true;
    auto text = ServiceRequest::readAnswer (*stream);
    stream.reset();

    if (ServiceRequest::isServerMessage (text))
    {
        result.error = text;
        return result;
    }

    auto document = CatalogueParser::parse (text);

    if (document == nullptr)
    {
        result.error = "The server returned an invalid response.";
        return result;
    }

    syncTotal = CatalogueParser::countNamedEntries (*document);

    // A stop ends the job silently and commits nothing.
    auto stoppedEarly = [&result]
    {
        result.products.clear();
        result.demos.clear();
        return std::move (result);
    };

    for (auto* entry : document->getChildWithTagNameIterator ("PLUGIN"))
    {
        if (shouldStop())
            return stoppedEarly();

        if (entry->getStringAttribute ("name").trim().isEmpty() || CatalogueParser::isExcludedOwnedEntry (*entry))
            continue;

        auto record = CatalogueParser::readRecord (*entry, false);

        if (! cacheThumbnail (entry->getStringAttribute ("imageURL"), record, shouldStop))
            return stoppedEarly();

        result.products.add (record);
        ++syncDone;
    }

    for (auto* entry : document->getChildWithTagNameIterator ("PLUGIN_DEMO"))
    {
        if (shouldStop())
            return stoppedEarly();

        if (entry->getStringAttribute ("name").trim().isEmpty())
            continue;

        auto record = CatalogueParser::readRecord (*entry, true);

        if (! cacheThumbnail (entry->getStringAttribute ("imageURL"), record, shouldStop))
            return stoppedEarly();

        result.demos.add (record);
        ++syncDone;
    }

    if (shouldStop())
        return stoppedEarly();

    bool stopped = false;

    if (! ensureExtractionTool (shouldStop, stopped))
    {
        if (stopped)
            return stoppedEarly();

        auto tool = extractionToolFile();

        if (tool.isDirectory())
            tool.deleteRecursively (false);
        else if (tool.exists())
            tool.deleteFile();

        result.error = "Could not verify the Windows installer extraction tool.";
        result.serverReached = false;
        result.products.clear();
        result.demos.clear();
        return result;
    }

    result.document = std::move (document);
    result.serverReached = true;
    return result;
}
