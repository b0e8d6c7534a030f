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

StandIn::StandIn (const juce::File& dataFolder)
{
    auto host = juce::URL (origin()).getDomain();

    // Tests never talk to anything but this machine.
    if (host != "127.0.0.1" && host != "localhost")
        return;

    auto source = juce::File (QUILLOTONE_SOURCE_DIR);
    juce::StringArray args { "/usr/bin/python3", source.getChildFile ("tools/standin/server.py").getFullPathName(),
                             "--port", juce::String (port()),
                             "--content", contentFolder().getFullPathName() };

    if (dataFolder != juce::File())
        args.addArray ({ "--data", dataFolder.getFullPathName() });

    if (! process.start (args, 0))
        return;

    // Up when it accepts a connection.
    for (int i = 0; i < 100 && ! running; ++i)
    {
        juce::StreamingSocket probe;

        if (probe.connect ("127.0.0.1", port(), 100))
            running = true;
        else
            juce::Thread::sleep (50);
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
