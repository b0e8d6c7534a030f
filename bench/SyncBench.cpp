// Catalogue sync of a 500-product catalogue with thumbnails from the local
// stand-in: the network phase against curl fetching the same bytes in the same
// run, then the process's peak memory once the rows are built.
//
// usage: quillotone-sync-bench WORKDIR [COUNT]

#include <juce_gui_basics/juce_gui_basics.h>

#include "account/CatalogueSync.h"
#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "products/Product.h"
#include "ui/Utilities.h"

#include <sys/resource.h>

namespace
{
    juce::String run (const juce::StringArray& args, int timeoutMs = 600000)
    {
        juce::ChildProcess process;

        if (! process.start (args))
            return {};

        auto output = process.readAllProcessOutput();
        process.waitForProcessToFinish (timeoutMs);
        return output;
    }

    long peakMemoryKiB()
    {
        rusage usage {};
        getrusage (RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    }

    bool waitForPort (int port)
    {
        for (int i = 0; i < 100; ++i)
        {
            juce::StreamingSocket probe;

            if (probe.connect ("127.0.0.1", port, 100))
                return true;

            juce::Thread::sleep (50);
        }

        return false;
    }
}

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: %s WORKDIR [COUNT]\n", argv[0]);
        return 2;
    }

    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI framework;

    auto work = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    auto count = argc > 2 ? juce::String (argv[2]).getIntValue() : 500;
    auto source = juce::File (QUILLOTONE_SOURCE_DIR);
    auto data = work.getChildFile ("data-" + juce::String (count));
    auto content = work.getChildFile ("content-" + juce::String (count));

    juce::URL origin (QUILLOTONE_WEB_SERVICE_ORIGIN);

    if (origin.getDomain() != "127.0.0.1")
    {
        std::fprintf (stderr, "the build's origin is not the local stand-in\n");
        return 1;
    }

    if (! content.isDirectory())
    {
        std::printf ("generating %d products...\n", count);
        run ({ "/usr/bin/python3", source.getChildFile ("tools/standin/make-bench-data.py").getFullPathName(),
               data.getFullPathName(), juce::String (count) });
        run ({ "/usr/bin/python3", source.getChildFile ("tools/standin/make-content.py").getFullPathName(),
               content.getFullPathName(), "--data", data.getFullPathName() });
    }

    // The tool the manager pins, fresh from this build, where the manager fetches it.
    auto servedTool = content.getChildFile (juce::URL (ServiceTexts::extractionToolURL()).getSubPath());
    servedTool.getParentDirectory().createDirectory();
    juce::File (QUILLOTONE_EXTRACTION_TOOL).copyFileTo (servedTool);

    juce::ChildProcess server;
    server.start ({ "/usr/bin/python3", source.getChildFile ("tools/standin/server.py").getFullPathName(),
                    "--port", juce::String (origin.getPort()), "--data", data.getFullPathName(),
                    "--content", content.getFullPathName() }, 0);

    if (! waitForPort (origin.getPort()))
    {
        std::fprintf (stderr, "the stand-in did not start (is the port taken?)\n");
        return 1;
    }

    auto home = work.getChildFile ("home");
    home.deleteRecursively();
    home.getChildFile ("Documents").createDirectory();
    ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

    // Our sync: request, 'count' thumbnails, the extraction tool.
    MakerFolders folders;
    Downloader downloader;
    CatalogueSync sync (folders, downloader);
    auto started = juce::Time::getMillisecondCounterHiRes();
    auto result = sync.run ("bench@quillotone.test", "quillotone", [] { return false; });
    auto ours = juce::Time::getMillisecondCounterHiRes() - started;

    if (result.document == nullptr)
    {
        std::fprintf (stderr, "sync failed: %s\n", result.error.toRawUTF8());
        server.kill();
        return 1;
    }

    // Baseline: curl fetching the same bytes, one request after another.
    auto url = ServiceRequest::build (ServiceTexts::catalogueURL(), "bench@quillotone.test", "quillotone", "1");
    auto curlDir = work.getChildFile ("curl");
    curlDir.deleteRecursively();
    curlDir.createDirectory();
    juce::StringArray config;
    config.add ("url = \"" + url.toString (false) + "\"");
    config.add ("data = \"" + url.getQueryString().substring (1) + "\"");
    config.add ("output = \"" + curlDir.getChildFile ("catalogue.xml").getFullPathName() + "\"");

    int i = 0;
    for (auto* entry : result.document->getChildWithTagNameIterator ("PLUGIN"))
    {
        config.add ("next");
        config.add ("url = \"" + entry->getStringAttribute ("imageURL") + "\"");
        config.add ("output = \"" + curlDir.getChildFile ("t" + juce::String (i++)).getFullPathName() + "\"");
    }

    config.add ("next");
    config.add ("url = \"" + ServiceTexts::extractionToolURL() + "\"");
    config.add ("output = \"" + curlDir.getChildFile ("tool").getFullPathName() + "\"");
    auto configFile = work.getChildFile ("curl.config");
    configFile.replaceWithText (config.joinIntoString ("\n"));

    started = juce::Time::getMillisecondCounterHiRes();
    run ({ "curl", "-s", "-K", configFile.getFullPathName() });
    auto baseline = juce::Time::getMillisecondCounterHiRes() - started;

    std::printf ("network phase, %d products: sync %.0f ms, curl %.0f ms, ratio %.2f\n",
                 result.products.size(), ours, baseline, ours / juce::jmax (1.0, baseline));

    // Second baseline: the framework's own downloads of the same thumbnails.
    // On Linux its curl backend waits 100 ms per connection before the first
    // read, which the curl baseline does not pay; this one shows what our
    // sync adds on top of the framework (the Windows backend has no such wait).
    auto frameworkDir = work.getChildFile ("framework");
    frameworkDir.deleteRecursively();
    frameworkDir.createDirectory();
    started = juce::Time::getMillisecondCounterHiRes();
    i = 0;

    for (auto* entry : result.document->getChildWithTagNameIterator ("PLUGIN"))
    {
        Downloader one;
        one.setURL (juce::URL (entry->getStringAttribute ("imageURL")));
        one.downloadToFile (frameworkDir.getChildFile ("t" + juce::String (i++)));

        while (! one.isTaskFinished())
            juce::Thread::sleep (1);
    }

    auto frameworkTime = juce::Time::getMillisecondCounterHiRes() - started;
    std::printf ("network phase against the framework's own downloads: sync %.0f ms, framework %.0f ms, ratio %.2f\n",
                 ours, frameworkTime, ours / juce::jmax (1.0, frameworkTime));

    // Rows: one Product per record, as the main component builds them.
    auto before = peakMemoryKiB();
    juce::OwnedArray<Product> rows;
    started = juce::Time::getMillisecondCounterHiRes();

    for (auto& record : result.products)
    {
        auto* row = rows.add (new Product (record));
        row->setSize (664, 150);
        row->refreshStatus();
    }

    auto building = juce::Time::getMillisecondCounterHiRes() - started;
    std::printf ("rows: %d built in %.0f ms (%.2f ms each); peak memory %ld MiB (%ld MiB before the rows)\n",
                 rows.size(), building, building / juce::jmax (1, rows.size()), peakMemoryKiB() / 1024, before / 1024);

    server.kill();
    return 0;
}
