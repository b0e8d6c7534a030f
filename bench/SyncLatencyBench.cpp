// Catalogue sync of COUNT products against the stand-in answering with MS
// milliseconds of latency per answer and per new connection, as a distant
// server would; the baselines fetch the same addresses one after another with
// curl in the same run, once opening a new connection per request and once
// keeping one.
//
// usage: quillotone-sync-latency-bench WORKDIR [COUNT] [MS]

#include <juce_events/juce_events.h>

#include "BenchStandIn.h"
#include "account/CatalogueSync.h"
#include "account/ServiceRequest.h"
#include "account/ServiceTexts.h"
#include "platform/HttpTransfer.h"

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: %s WORKDIR [COUNT] [MS]\n", argv[0]);
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI framework;

    auto work = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const auto count = argc > 2 ? juce::String (argv[2]).getIntValue() : 500;
    const auto latency = argc > 3 ? juce::String (argv[3]).getIntValue() : 50;
    juce::ChildProcess server;

    if (! bench::startStandIn (server, work, count, { "--latency-ms", juce::String (latency) }))
        return 1;

    auto home = work.getChildFile ("home-latency");
    home.deleteRecursively();
    home.getChildFile ("Documents").createDirectory();
    ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

    MakerFolders folders;
    CatalogueSync sync (folders);
    auto started = bench::seconds();
    auto result = sync.run ("bench@quillotone.test", "quillotone", [] { return false; });
    const auto syncTime = bench::seconds() - started;

    if (result.document == nullptr)
    {
        std::fprintf (stderr, "sync failed: %s\n", result.error.toRawUTF8());
        server.kill();
        return 1;
    }

    // The same requests, one after another: the catalogue, each thumbnail, the tool.
    auto url = ServiceRequest::build (ServiceTexts::catalogueURL(), "bench@quillotone.test", "quillotone", "1");
    auto curlDir = work.getChildFile ("curl-latency");

    auto curlTime = [&] (bool newConnections)
    {
        curlDir.deleteRecursively();
        curlDir.createDirectory();
        const juce::String close = newConnections ? "header = \"Connection: close\"" : "";
        juce::StringArray config { close,
                                   "url = \"" + url.toString (false) + "\"",
                                   "data = \"" + url.getQueryString().substring (1) + "\"",
                                   "output = \"" + curlDir.getChildFile ("catalogue.xml").getFullPathName() + "\"",
                                   "next", close };
        int i = 0;

        for (auto* entry : result.document->getChildWithTagNameIterator ("PLUGIN"))
        {
            config.add ("url = \"" + entry->getStringAttribute ("imageURL") + "\"");
            config.add ("output = \"" + curlDir.getChildFile ("t" + juce::String (i++)).getFullPathName() + "\"");
        }

        config.add ("url = \"" + ServiceTexts::extractionToolURL() + "\"");
        config.add ("output = \"" + curlDir.getChildFile ("tool").getFullPathName() + "\"");
        auto configFile = work.getChildFile ("curl-latency.config");
        configFile.replaceWithText (config.joinIntoString ("\n"));

        const auto start = bench::seconds();
        bench::run ({ "curl", "-s", "-K", configFile.getFullPathName() });
        return bench::seconds() - start;
    };

    const auto fresh = curlTime (true);
    const auto kept = curlTime (false);
    server.kill();

    std::printf ("sync of %d products at %d ms latency: %.2f s; curl with a new connection per request %.2f s, "
                 "with one kept connection %.2f s (goals: at most 0.35 and 1.0)\n",
                 result.products.size(), latency, syncTime, fresh, kept);
    std::printf ("ratio against curl with a new connection per request: %.2f\n", syncTime / juce::jmax (0.001, fresh));
    std::printf ("ratio against curl with one kept connection: %.2f\n", syncTime / juce::jmax (0.001, kept));
    return 0;
}
