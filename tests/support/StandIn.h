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
        /** Starts the server with the demo data unless another folder is given.
            With offerManagerUpdate its update manifest announces a manager
            newer than this build.
        */
        explicit StandIn (const juce::File& dataFolder = {}, bool offerManagerUpdate = false);

        /** How a server other than the build's plain one is started. */
        struct Options
        {
            juce::File dataFolder, contentFolder;
            int port = 0;                   ///< 0: the build's port
            juce::String certificate;       ///< serves https with this one of the generated certificates
            int latencyMs = 0;              ///< stands for a distant server
        };

        explicit StandIn (const Options&);
        ~StandIn();

        /** "http(s)://127.0.0.1:port" of this server. */
        juce::String base() const           { return address; }

        /** The connections the server has accepted so far. */
        int connectionCount();

        /** The generated test authority and certificates. */
        static juce::File certificates();

        /** True once this object's own server answers on the build's port:
            it starts with an identity and is asked for it, so a server left
            on the port by another run is never taken for it.
        */
        bool isRunning() const noexcept     { return running; }

        /** True when the build points the manager at this machine. */
        static bool isLoopbackBuild();

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
        bool answersWithOurIdentity() const;

        void start (const Options&);
        juce::InputStream* ask (const juce::String& path, const juce::String& postBody = {}) const;

        juce::ChildProcess process;
        juce::String identity, address;
        int serverPort = 0;
        bool running = false, offerUpdate = false;
    };
}

/** Skips a test built against real servers; fails one whose own stand-in
    could not take the port.
*/
#define REQUIRE_STANDIN(server) \
    if (! testing_support::StandIn::isLoopbackBuild()) GTEST_SKIP() << "the build's origin is not the local stand-in"; \
    ASSERT_TRUE ((server).isRunning()) << "the stand-in did not come up on port " << testing_support::StandIn::port() \
                                       << " (is another server holding it?)"
