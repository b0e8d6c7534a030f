#include "account/CatalogueSync.h"

#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "products/ExtractionTool.h"
#include "products/ThumbnailCheck.h"
#include "ui/Downloader.h"

#include <juce_cryptography/juce_cryptography.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

CatalogueSync::CatalogueSync (MakerFolders& f) : folders (f) {}

juce::File CatalogueSync::extractionToolFile() const
{
    return ServiceTexts::extractionToolIn (folders.cacheFolder());
}

juce::String CatalogueSync::digestOf (const juce::File& file)
{
    return juce::SHA256 (file).toHexString().toLowerCase();
}

juce::File CatalogueSync::thumbnailToFetch (const juce::String& imageURL, ProductRecord& record)
{
    auto file = CatalogueParser::thumbnailFile (folders.cacheFolder ("/Thumbnails"), imageURL);

    if (file == juce::File())
        return {};

    record.thumbnailFile = file.getFullPathName();

    // Cached thumbnails are kept across syncs; a short file is a broken one.
    if (file.existsAsFile() && file.getSize() >= 500)
        return {};

    return file;
}

void CatalogueSync::fetchThumbnail (const juce::String& imageURL, const juce::File& file, const std::function<bool()>& shouldStop)
{
    Downloader::downloadHere (juce::URL (imageURL), file, ThumbnailImage::maxFileBytes, shouldStop);

    if (shouldStop())
        return;

    // A picture that is not one, or too big to decode safely, shows as a
    // missing thumbnail rather than reaching a decoder.
    if (file.existsAsFile() && ! ThumbnailImage::isAcceptable (file))
        file.deleteFile();

    // Otherwise the outcome is not examined: a failed download is retried next sync.
}

bool CatalogueSync::cacheThumbnails (const juce::Array<ProductRecord*>& records, const juce::StringArray& imageURLs,
                                     const std::function<bool()>& shouldStop)
{
    // One fetch per file: two products showing the same picture must not
    // write the same file at once.
    struct Fetch { juce::String url; juce::File file; };
    std::vector<Fetch> fetches;
    std::vector<int> fetchOf ((size_t) records.size(), -1);
    std::map<juce::String, int> fetchOfFile;

    for (int i = 0; i < records.size(); ++i)
    {
        const auto file = thumbnailToFetch (imageURLs[i], *records.getUnchecked (i));

        if (file == juce::File())
            continue;

        auto known = fetchOfFile.find (file.getFullPathName());

        if (known == fetchOfFile.end())
        {
            known = fetchOfFile.emplace (file.getFullPathName(), (int) fetches.size()).first;
            fetches.push_back ({ imageURLs[i], file });
        }

        fetchOf[(size_t) i] = known->second;
    }

    // Shared with the fetching threads.
    std::mutex lock;
    std::condition_variable changed;
    std::vector<bool> fetched (fetches.size(), false);     // under lock
    std::atomic<size_t> next { 0 };

    auto fetchInTurn = [&]
    {
        for (size_t i; (i = next++) < fetches.size() && ! shouldStop();)
        {
            fetchThumbnail (fetches[i].url, fetches[i].file, shouldStop);

            {
                const std::lock_guard<std::mutex> l (lock);
                fetched[i] = true;
            }

            changed.notify_all();
        }

        changed.notify_all();
    };

    // A few at once hide the time each request spends travelling; more would
    // only queue at the server.
    std::vector<std::thread> threads;

    for (size_t t = 0; t < std::min (fetches.size(), (size_t) maxThumbnailsAtOnce); ++t)
        threads.emplace_back (fetchInTurn);

    // The rows count as done in catalogue order, each once its picture is in.
    int done = 0;

    {
        std::unique_lock<std::mutex> l (lock);

        while (done < records.size() && ! shouldStop())
        {
            const auto fetch = fetchOf[(size_t) done];

            if (fetch < 0 || fetched[(size_t) fetch])
            {
                ++done;
                ++syncDone;
                continue;
            }

            changed.wait_for (l, std::chrono::milliseconds (50));
        }
    }

    // A stop aborts every transfer at once, so these end promptly.
    for (auto& thread : threads)
        thread.join();

    return done == records.size() && ! shouldStop();
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
        result.serverUnreachable = answer.outcome == platform::HttpTransfer::Outcome::cannotConnect;
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

    juce::StringArray productImages, demoImages;

    for (auto* entry : document->getChildWithTagNameIterator ("PLUGIN"))
    {
        if (entry->getStringAttribute ("name").trim().isEmpty() || CatalogueParser::isExcludedOwnedEntry (*entry))
            continue;

        result.products.add (CatalogueParser::readRecord (*entry, false));
        productImages.add (entry->getStringAttribute ("imageURL"));
    }

    for (auto* entry : document->getChildWithTagNameIterator ("PLUGIN_DEMO"))
    {
        if (entry->getStringAttribute ("name").trim().isEmpty())
            continue;

        result.demos.add (CatalogueParser::readRecord (*entry, true));
        demoImages.add (entry->getStringAttribute ("imageURL"));
    }

    juce::Array<ProductRecord*> records;

    for (auto& record : result.products)
        records.add (&record);

    for (auto& record : result.demos)
        records.add (&record);

    productImages.addArray (demoImages);

    if (shouldStop() || (withThumbnails && ! cacheThumbnails (records, productImages, shouldStop)))
        return stoppedEarly();

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
