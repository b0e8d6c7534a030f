#include "support/StandIn.h"

#include "platform/HttpTransfer.h"

#include <juce_events/juce_events.h>

namespace testing_support
{

juce::String StandIn::origin()   { return QUILLOTONE_WEB_SERVICE_ORIGIN; }
int StandIn::port()              { return juce::URL (origin()).getPort(); }

juce::File StandIn::contentFolder()
{
    return juce::File (QUILLOTONE_STANDIN_CONTENT);
}

bool StandIn::isLoopbackBuild()
{
    auto host = juce::URL (origin()).getDomain();
    return host == "127.0.0.1" || host == "localhost";
}

juce::File StandIn::certificates()
{
    return juce::File (QUILLOTONE_STANDIN_CERTIFICATES);
}

// The control requests go through the product's own transfer: over https it
// trusts whatever the test told it to.
juce::InputStream* StandIn::ask (const juce::String& path, const juce::String& postBody) const
{
    platform::HttpTransfer::Request request;
    request.url = address + path;
    request.connectTimeoutMs = 2000;
    request.stallTimeoutMs = 5000;
    request.maxBytes = 64 << 20;
    request.extraHeaders = "Connection: close";

    if (postBody.isNotEmpty())
    {
        request.post = true;
        request.postBody.append (postBody.toRawUTF8(), postBody.getNumBytesAsUTF8());
    }

    juce::MemoryBlock body;
    const auto result = platform::HttpTransfer::fetch (request, body);
    return result.succeeded() ? new juce::MemoryInputStream (body, true) : nullptr;
}

bool StandIn::answersWithOurIdentity() const
{
    std::unique_ptr<juce::InputStream> stream (ask ("/__standin/id"));
    return stream != nullptr && stream->readEntireStreamAsString() == identity;
}

int StandIn::connectionCount()
{
    std::unique_ptr<juce::InputStream> stream (ask ("/__standin/connections"));
    return stream != nullptr ? stream->readEntireStreamAsString().getIntValue() : -1;
}

StandIn::StandIn (const juce::File& dataFolder, bool offerManagerUpdate)
{
    Options options;
    options.dataFolder = dataFolder;
    offerUpdate = offerManagerUpdate;
    start (options);
}

StandIn::StandIn (const Options& options)
{
    start (options);
}

void StandIn::start (const Options& options)
{
    // Tests never talk to anything but this machine.
    if (! isLoopbackBuild())
        return;

    serverPort = options.port != 0 ? options.port : port();
    address = (options.certificate.isNotEmpty() ? "https" : "http") + juce::String ("://127.0.0.1:") + juce::String (serverPort);
    identity = juce::Uuid().toString();
    auto source = juce::File (QUILLOTONE_SOURCE_DIR);
    const auto content = options.contentFolder != juce::File() ? options.contentFolder : contentFolder();
    juce::StringArray args { "/usr/bin/python3", source.getChildFile ("tools/standin/server.py").getFullPathName(),
                             "--port", juce::String (serverPort),
                             "--content", content.getFullPathName(),
                             "--id", identity };

    if (options.dataFolder != juce::File())
        args.addArray ({ "--data", options.dataFolder.getFullPathName() });

    if (offerUpdate)
        args.add ("--manager-update");

    if (options.latencyMs > 0)
        args.addArray ({ "--latency-ms", juce::String (options.latencyMs) });

    if (options.certificate.isNotEmpty())
        args.addArray ({ "--cert", certificates().getChildFile (options.certificate + ".pem").getFullPathName(),
                         "--key", certificates().getChildFile (options.certificate + ".key").getFullPathName() });

    // A server still winding down on the port makes ours fail to bind; start
    // again until ours is the one that answers, or give up.
    const auto deadline = juce::Time::getMillisecondCounter() + 10000;

    while (! running && juce::Time::getMillisecondCounter() < deadline)
    {
        if (! process.isRunning() && ! process.start (args, 0))
            return;

        for (int i = 0; i < 20 && process.isRunning() && ! running; ++i)
        {
            juce::StreamingSocket probe;

            // A server with a certificate the test means to see refused cannot
            // be asked who it is; its port answering must do.
            if (probe.connect ("127.0.0.1", serverPort, 100) && (address.startsWith ("https:") || answersWithOurIdentity()))
                running = true;
            else
                juce::Thread::sleep (50);
        }
    }
}

StandIn::~StandIn()
{
    process.kill();
    process.waitForProcessToFinish (2000);

    // The port must be free for the next test.
    for (int i = 0; i < 40; ++i)
    {
        juce::StreamingSocket probe;

        if (! probe.connect ("127.0.0.1", serverPort, 50))
            break;

        juce::Thread::sleep (50);
    }
}

void StandIn::setFault (const juce::String& path, const juce::String& faultJson)
{
    std::unique_ptr<juce::InputStream> (ask ("/__standin/fault", "{\"faults\": {" + juce::JSON::toString (path) + ": " + faultJson + "}}"));
}

void StandIn::clearFaults()
{
    std::unique_ptr<juce::InputStream> (ask ("/__standin/fault", "{\"clear\": true}"));
}

juce::var StandIn::requestLog()
{
    std::unique_ptr<juce::InputStream> stream (ask ("/__standin/log"));
    return stream != nullptr ? juce::JSON::parse (stream->readEntireStreamAsString()) : juce::var();
}

} // namespace testing_support
