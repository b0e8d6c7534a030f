#pragma once

#include "BenchSupport.h"
#include "account/ServiceTexts.h"
#include "platform/HttpTransfer.h"

#include <juce_events/juce_events.h>

#include <cstdio>

namespace bench
{
    /** Generates COUNT products under WORK once, serves this build's extraction
        tool where the manager fetches it, and starts the stand-in on the build's
        port with the extra arguments.

        The manager's origin is fixed at build time, so a bench cannot move to
        another port: it refuses a taken one, and then makes sure the server
        answering is the one it started. False (with a line on stderr) otherwise.
    */
    inline bool startStandIn (juce::ChildProcess& server, const juce::File& work, int count,
                              const juce::StringArray& extraArguments = {})
    {
        auto source = juce::File (QUILLOTONE_SOURCE_DIR);
        auto data = work.getChildFile ("data-" + juce::String (count));
        auto content = work.getChildFile ("content-" + juce::String (count));
        juce::URL origin (QUILLOTONE_WEB_SERVICE_ORIGIN);

        if (origin.getDomain() != "127.0.0.1")
        {
            std::fprintf (stderr, "the build's origin is not the local stand-in\n");
            return false;
        }

        if (! content.isDirectory())
        {
            std::printf ("generating %d products...\n", count);
            run ({ "/usr/bin/python3", source.getChildFile ("tools/standin/make-bench-data.py").getFullPathName(),
                   data.getFullPathName(), juce::String (count) });
            run ({ "/usr/bin/python3", source.getChildFile ("tools/standin/make-content.py").getFullPathName(),
                   content.getFullPathName(), "--data", data.getFullPathName() });
        }

        auto servedTool = content.getChildFile (juce::URL (ServiceTexts::extractionToolURL()).getSubPath());
        servedTool.getParentDirectory().createDirectory();
        juce::File (QUILLOTONE_EXTRACTION_TOOL).copyFileTo (servedTool);

        if (juce::StreamingSocket probe; probe.connect ("127.0.0.1", origin.getPort(), 200))
        {
            std::fprintf (stderr, "port %d is taken: stop whatever listens there (another stand-in?) and run again\n", origin.getPort());
            return false;
        }

        const auto identity = juce::Uuid().toString();
        juce::StringArray arguments { "/usr/bin/python3", source.getChildFile ("tools/standin/server.py").getFullPathName(),
                                      "--port", juce::String (origin.getPort()), "--data", data.getFullPathName(),
                                      "--content", content.getFullPathName(), "--id", identity };
        arguments.addArray (extraArguments);
        server.start (arguments, 0);

        juce::MemoryBlock answer;
        platform::HttpTransfer::Request idRequest;
        idRequest.url = origin.toString (false).trimCharactersAtEnd ("/") + "/__standin/id";

        for (int i = 0; i < 100; ++i)
        {
            if (platform::HttpTransfer::fetch (idRequest, answer).succeeded() && answer.toString() == identity)
                return true;

            juce::Thread::sleep (50);
        }

        std::fprintf (stderr, "the stand-in that answers on port %d is not the one this bench started\n", origin.getPort());
        server.kill();
        return false;
    }
}
