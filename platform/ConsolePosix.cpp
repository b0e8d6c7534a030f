#include "platform/Console.h"

#include <csignal>
#include <cstring>
#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace platform::Console
{

namespace
{
    std::atomic<bool>* interruptFlag = nullptr;

    extern "C" void onInterrupt (int)
    {
        // Only a lock-free store is safe in a signal handler.
        if (interruptFlag != nullptr)
            interruptFlag->store (true);
    }

    int descriptorOf (Stream stream)
    {
        return stream == Stream::input ? STDIN_FILENO : stream == Stream::output ? STDOUT_FILENO : STDERR_FILENO;
    }
}

bool isTerminal (Stream stream)
{
    return isatty (descriptorOf (stream)) == 1;
}

bool readSecretLine (juce::String& line)
{
    termios saved {};
    const auto hide = isTerminal (Stream::input) && tcgetattr (STDIN_FILENO, &saved) == 0;

    if (hide)
    {
        auto quiet = saved;
        quiet.c_lflag &= (tcflag_t) ~ECHO;
        tcsetattr (STDIN_FILENO, TCSAFLUSH, &quiet);
    }

    std::string text;
    const auto gotLine = static_cast<bool> (std::getline (std::cin, text));

    if (hide)
    {
        tcsetattr (STDIN_FILENO, TCSAFLUSH, &saved);
        write (Stream::error, "\n");
    }

    if (! gotLine && text.empty())
        return false;

    if (! text.empty() && text.back() == '\r')
        text.pop_back();

    line = juce::String::fromUTF8 (text.data(), (int) text.size());
    return true;
}

void setInterruptFlag (std::atomic<bool>& flag)
{
    interruptFlag = &flag;

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset (&action.sa_mask);
    sigaction (SIGINT, &action, nullptr);
}

void write (Stream stream, const juce::String& text)
{
    auto* file = stream == Stream::output ? stdout : stderr;
    const auto* utf8 = text.toRawUTF8();
    std::fwrite (utf8, 1, std::strlen (utf8), file);
    std::fflush (file);
}

} // namespace platform::Console
