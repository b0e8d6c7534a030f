#include "support/StandIn.h"

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

bool StandIn::answersWithOurIdentity() const
{
    auto stream = juce::URL (origin() + "/__standin/id")
                      .createInputStream (juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress).withConnectionTimeoutMs (500));
    return stream != nullptr && stream->readEntireStreamAsString() == identity;
}

StandIn::StandIn (const juce::File& dataFolder, bool offerManagerUpdate)
{
    // Tests never talk to anything but this machine.
    if (! isLoopbackBuild())
        return;

    identity = juce::Uuid().toString();
    auto source = juce::File (QUILLOTONE_SOURCE_DIR);
    juce::StringArray args { "/usr/bin/python3", source.getChildFile ("tools/standin/server.py").getFullPathName(),
                             "--port", juce::String (port()),
                             "--content", contentFolder().getFullPathName(),
                             "--id", identity };

    if (dataFolder != juce::File())
        args.addArray ({ "--data", dataFolder.getFullPathName() });

    if (offerManagerUpdate)
        args.add ("--manager-update");

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

            if (probe.connect ("127.0.0.1", port(), 100) && answersWithOurIdentity())
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

        if (! probe.connect ("127.0.0.1", port(), 50))
            break;

        juce::Thread::sleep (50);
    }
}

void StandIn::setFault (const juce::String& path, const juce::String& faultJson)
{
    auto body = "{\"faults\": {" + juce::JSON::toString (path) + ": " + faultJson + "}}";
    juce::URL (origin() + "/__standin/fault").withPOSTData (body)
        .createInputStream (juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inPostData).withConnectionTimeoutMs (2000));
}

void StandIn::clearFaults()
{
    juce::URL (origin() + "/__standin/fault").withPOSTData ("{\"clear\": true}")
        .createInputStream (juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inPostData).withConnectionTimeoutMs (2000));
}

juce::var StandIn::requestLog()
{
    auto stream = juce::URL (origin() + "/__standin/log")
                      .createInputStream (juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress).withConnectionTimeoutMs (2000));
    return stream != nullptr ? juce::JSON::parse (stream->readEntireStreamAsString()) : juce::var();
}

} // namespace testing_support
