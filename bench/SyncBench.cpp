// Catalogue sync of a 500-product catalogue with thumbnails from the local
// stand-in: the network phase against curl fetching the same bytes in the same
// run, then the process's peak memory once the rows are built.
//
// usage: quillotone-sync-bench WORKDIR [COUNT]

#include <juce_gui_basics/juce_gui_basics.h>

#include "BenchStandIn.h"
#include "account/CatalogueSync.h"
#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "platform/Platform.h"
#include "products/ClapVersionProbe.h"
#include "products/Product.h"
#include "ui/MainComponent.h"

#include <algorithm>
#include <vector>
#include "platform/HttpTransfer.h"
#include "ui/Downloader.h"

int main (int argc, char** argv)
{
    // Rows read CLAP versions in a child of the running program.
    if (const auto exitCode = ClapVersionProbe::runChildMode (platform::commandLineArguments (argc, argv)); exitCode >= 0)
        return exitCode;

    if (argc < 2)
    {
        std::fprintf (stderr, "usage: %s WORKDIR [COUNT]\n", argv[0]);
        return 2;
    }

    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI framework;

    auto work = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    auto count = argc > 2 ? juce::String (argv[2]).getIntValue() : 500;
    juce::ChildProcess server;

    if (! bench::startStandIn (server, work, count))
        return 1;

    auto home = work.getChildFile ("home");
    home.deleteRecursively();
    home.getChildFile ("Documents").createDirectory();
    ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

    // Our sync: request, 'count' thumbnails, the extraction tool.
    MakerFolders folders;
    CatalogueSync sync (folders);
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
    bench::run ({ "curl", "-s", "-K", configFile.getFullPathName() });
    auto baseline = juce::Time::getMillisecondCounterHiRes() - started;

    std::printf ("network phase, %d products: sync %.0f ms, curl %.0f ms, ratio %.2f\n",
                 result.products.size(), ours, baseline, ours / juce::jmax (1.0, baseline));

    // For comparison: the same thumbnails through the framework's own network
    // code, which Windows uses. Its Linux backend waits 100 ms per request,
    // which is why Linux transfers go to libcurl directly.
    started = juce::Time::getMillisecondCounterHiRes();

    for (auto* entry : result.document->getChildWithTagNameIterator ("PLUGIN"))
    {
        platform::HttpTransfer::Request request;
        request.url = entry->getStringAttribute ("imageURL");
        juce::MemoryBlock bytes;
        platform::HttpTransfer::fetch (request, bytes, platform::HttpTransfer::Backend::framework);
    }

    auto frameworkTime = juce::Time::getMillisecondCounterHiRes() - started;
    std::printf ("thumbnails alone through the framework's network code: %.0f ms (%.1f times the whole sync)\n",
                 frameworkTime, frameworkTime / juce::jmax (1.0, ours));

    // Rows: one Product per record, as the main component builds them.
    auto before = bench::peakMemoryKiB();
    juce::OwnedArray<Product> rows;
    started = juce::Time::getMillisecondCounterHiRes();

    for (auto& record : result.products)
    {
        auto* row = rows.add (new Product (record));
        row->setSize (664, 150);
        row->refreshStatus();
    }

    auto building = juce::Time::getMillisecondCounterHiRes() - started;
    std::printf ("rows: %d built in %.0f ms (%.2f ms each); peak memory %ld MiB (%ld MiB after the sync, before the rows)\n",
                 rows.size(), building, building / juce::jmax (1, rows.size()), bench::peakMemoryKiB() / 1024, before / 1024);

    // The search: the main component holding every row, re-filtered at each
    // keystroke as the user types and deletes.
    {
        MainComponent main;
        auto& login = main.getLoginWindow();
        login.getEmailField().setText ("bench@quillotone.test", false);
        login.getPasswordField().setText ("quillotone", false);
        login.buttonClicked (&login.getLoginButton());

        const auto deadline = juce::Time::getMillisecondCounter() + 300000;

        while ((main.getProducts().size() < result.products.size() || main.isBusy())
                && juce::Time::getMillisecondCounter() < deadline)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (20);

        const juce::StringArray keystrokes { "P", "Pl", "Plu", "Plug", "Plugi", "Plugin", "Plugin ", "Plugin 4", "Plugin 42",
                                             "Plugin 421", "Plugin 42", "Plugin 4", "Plugin ", "Plugin", "Plugi", "Plug", "Plu",
                                             "Pl", "P", "", "b", "be", "ben", "benc", "bench", "bench ", "bench p", "bench pl",
                                             "bench plu", "bench plug", "x", "" };
        std::vector<double> times;

        for (auto& text : keystrokes)
        {
            main.getSearchField().setText (text, false);
            const auto keyStarted = juce::Time::getMillisecondCounterHiRes();
            main.refreshList();
            times.push_back (juce::Time::getMillisecondCounterHiRes() - keyStarted);
        }

        std::sort (times.begin(), times.end());
        std::printf ("search over %d rows: median %.2f ms, worst %.2f ms per keystroke (one frame is 16 ms)\n",
                     main.getProducts().size(), times[times.size() / 2], times.back());
    }

    server.kill();
    return 0;
}
