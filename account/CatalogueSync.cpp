#include "account/CatalogueSync.h"

#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "products/ExtractionTool.h"
#include "products/ThumbnailImage.h"
#include "ui/Downloader.h"

#include <juce_cryptography/juce_cryptography.h>

CatalogueSync::CatalogueSync (MakerFolders& f) : folders (f) {}

juce::File CatalogueSync::extractionToolFile() const
{
    return ServiceTexts::extractionToolIn (folders.cacheFolder());
}

juce::String CatalogueSync::digestOf (const juce::File& file)
{
    return juce::SHA256 (file).toHexString().toLowerCase();
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

    // The sync only waits for each thumbnail, so it runs the transfer itself;
    // its own stop aborts it.
    Downloader::downloadHere (juce::URL (imageURL), file, ThumbnailImage::maxFileBytes, shouldStop);

    if (shouldStop())
        return false;

    // A picture that is not one, or too big to decode safely, shows as a
    // missing thumbnail rather than reaching a decoder.
    if (file.existsAsFile() && ! ThumbnailImage::isAcceptable (file))
        file.deleteFile();

    // Otherwise the outcome is not examined: a failed download is retried next sync.
    return true;
}

bool CatalogueSync::ensureExtractionTool (std::function<bool()> shouldStop, bool& stopped)
{
    stopped = false;
    auto tool = extractionToolFile();
    auto expected = ServiceTexts::extractionToolDigest();

    if (tool.existsAsFile())
    {
        if (digestOf (tool) == expected)
            return true;

        tool.deleteFile();
        juce::Thread::sleep (100);
    }

    tool.getParentDirectory().createDirectory();

    const auto fetched = Downloader::downloadHere (juce::URL (ServiceTexts::extractionToolURL()), tool,
                                                   ExtractionTool::maxToolBytes, shouldStop);

    if (shouldStop())
    {
        stopped = true;
        return false;
    }

    if (! fetched.succeeded() || ! tool.existsAsFile())
        return false;

    return digestOf (tool) == expected;
}

CatalogueSync::Result CatalogueSync::run (const juce::String& email, const juce::String& password,
                                          std::function<bool()> shouldStop)
{
    Result result;

    auto answer = ServiceRequest::send (ServiceRequest::build (ServiceTexts::catalogueURL(), email, password, "1"),
                                        ServiceRequest::maxCatalogueAnswerBytes, shouldStop);

    if (shouldStop())
    {
        result.error = ServiceTexts::syncCancelledMessage();
        return result;
    }

    if (! answer.completed())
    {
        result.serverReached = answer.reachedServer();
        result.error = answer.outcome == platform::HttpTransfer::Outcome::tooLarge
                           ? ServiceRequest::invalidResponseMessage()
                           : ServiceTexts::syncConnectionFailedMessage();
        return result;
    }

    result.serverReached = true;
    auto text = ServiceRequest::withoutLineBreaks (answer.text);
    answer.text.clear();

    if (ServiceRequest::isServerMessage (text))
    {
        result.error = ServiceRequest::forDisplay (text);
        return result;
    }

    auto document = CatalogueParser::parse (text);
    text.clear();

    if (document == nullptr)
    {
        result.error = ServiceRequest::invalidResponseMessage();
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
