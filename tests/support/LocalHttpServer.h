#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <functional>
#include <map>

namespace testing_support
{
    /**
        A minimal HTTP/1.0 server on 127.0.0.1 for client tests.

        Each route answers with a status and a body; a route may also send its
        body slowly, in chunks with a pause between them, to test cancellation.
    */
    class LocalHttpServer final : private juce::Thread
    {
    public:
        struct Route
        {
            int status = 200;
            juce::MemoryBlock body;
            int chunkSize = 0;          // 0: all at once
            int pauseMs = 0;            // between chunks
        };

        LocalHttpServer() : juce::Thread ("LocalHttpServer")
        {
            for (int port = 38100; port < 38400 && ! listening; ++port)
                if (socket.createListener (port, "127.0.0.1"))
                    listening = true;

            if (listening)
                startThread();
        }

        ~LocalHttpServer() override
        {
            signalThreadShouldExit();
            socket.close();
            stopThread (4000);
        }

        void addRoute (const juce::String& path, Route route)
        {
            const juce::ScopedLock sl (lock);
            routes[path] = std::move (route);
        }

        void addText (const juce::String& path, const juce::String& text, int status = 200)
        {
            Route route;
            route.status = status;
            route.body.append (text.toRawUTF8(), text.getNumBytesAsUTF8());
            addRoute (path, std::move (route));
        }

        juce::String url (const juce::String& path) const
        {
            return "http://127.0.0.1:" + juce::String (socket.getPort()) + path;
        }

        bool isListening() const noexcept   { return listening; }
        int getPort() const noexcept        { return socket.getPort(); }

        /** A loopback port on which nothing listens. */
        static int closedPort()
        {
            juce::StreamingSocket probe;

            for (int port = 38400; port < 38700; ++port)
                if (probe.createListener (port, "127.0.0.1"))
                    return port;

            return 1;
        }
        int requestCount() const noexcept   { return requests.load(); }

    private:
        void run() override
        {
            while (! threadShouldExit())
            {
                std::unique_ptr<juce::StreamingSocket> client (socket.waitForNextConnection());

                if (client == nullptr)
                    continue;

                serve (*client);
            }
        }

        void serve (juce::StreamingSocket& client)
        {
            juce::String request;
            char buffer[1024];

            while (! request.contains ("\r\n\r\n") && client.waitUntilReady (true, 2000) == 1)
            {
                auto n = client.read (buffer, sizeof (buffer), false);

                if (n <= 0)
                    break;

                request += juce::String::fromUTF8 (buffer, n);
            }

            ++requests;
            auto path = request.upToFirstOccurrenceOf ("\r\n", false, false)
                               .fromFirstOccurrenceOf (" ", false, false)
                               .upToFirstOccurrenceOf (" ", false, false);

            Route route;
            {
                const juce::ScopedLock sl (lock);
                auto found = routes.find (path);

                if (found != routes.end())
                    route = found->second;
                else
                    route.status = 404;
            }

            juce::String header;
            header << "HTTP/1.0 " << route.status << (route.status == 200 ? " OK" : " Error") << "\r\n"
                   << "Content-Type: application/octet-stream\r\n"
                   << "Content-Length: " << (int) route.body.getSize() << "\r\n"
                   << "Connection: close\r\n\r\n";

            if (client.write (header.toRawUTF8(), (int) header.getNumBytesAsUTF8()) < (int) header.getNumBytesAsUTF8())
                return;

            auto* data = static_cast<const char*> (route.body.getData());
            auto remaining = (int) route.body.getSize();
            auto chunk = route.chunkSize > 0 ? route.chunkSize : remaining;

            while (remaining > 0 && ! threadShouldExit())
            {
                auto n = client.write (data, juce::jmin (chunk, remaining));

                if (n <= 0)
                    return;

                data += n;
                remaining -= n;

                if (route.pauseMs > 0 && remaining > 0)
                    wait (route.pauseMs);
            }
        }

        juce::StreamingSocket socket;
        bool listening = false;
        juce::CriticalSection lock;
        std::map<juce::String, Route> routes;
        std::atomic<int> requests { 0 };
    };
}
