#pragma once

#include <juce_core/juce_core.h>

#include <memory>

namespace testing_support
{
    /**
        The project's stand-in servers, started on the loopback port that the
        build baked into the manager, and stopped with this object.
    */
    class StandIn
    {
    public:
        /** Starts the server with the demo data unless another folder is given. */
        explicit StandIn (const juce::File& dataFolder = {});
        ~StandIn();

        /** False when the build's origin is not a loopback address or the
            server did not come up; tests then skip.
        */
        bool isRunning() const noexcept     { return running; }

        static int port();
        static juce::String origin();

        /** Sets fault switches for one path (or "*"), e.g. R"({"status": 500, "count": 1})". */
        void setFault (const juce::String& path, const juce::String& faultJson);
        void clearFaults();

        /** The requests seen so far, as parsed JSON (an array of objects). */
        juce::var requestLog();

        /** The content folder the server serves. */
        static juce::File contentFolder();

    private:
        juce::ChildProcess process;
        bool running = false;
    };
}
