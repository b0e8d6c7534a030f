#include "platform/Console.h"

#include <csignal>
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

    const auto gotLine = readLine (line);

    if (hide)
    {
        tcsetattr (STDIN_FILENO, TCSAFLUSH, &saved);
        write (Stream::error, "\n");
    }

    return gotLine;
}

void setInterruptFlag (std::atomic<bool>& flag)
{
    interruptFlag = &flag;

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset (&action.sa_mask);
    sigaction (SIGINT, &action, nullptr);
}

} // namespace platform::Console
