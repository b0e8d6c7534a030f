#include "platform/Console.h"

#include <windows.h>


namespace platform::Console
{

namespace
{
    std::atomic<bool>* interruptFlag = nullptr;

    BOOL WINAPI onControl (DWORD type)
    {
        if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
            return FALSE;

        if (interruptFlag != nullptr)
            interruptFlag->store (true);

        return TRUE;
    }

    HANDLE handleOf (Stream stream)
    {
        return GetStdHandle (stream == Stream::input ? STD_INPUT_HANDLE
                                                     : stream == Stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    }
}

bool isTerminal (Stream stream)
{
    DWORD mode = 0;
    return GetConsoleMode (handleOf (stream), &mode) != 0;
}

bool readSecretLine (juce::String& line)
{
    const auto input = handleOf (Stream::input);
    DWORD saved = 0;
    const auto hide = GetConsoleMode (input, &saved) != 0;

    if (hide)
        SetConsoleMode (input, saved & ~(DWORD) ENABLE_ECHO_INPUT);

    const auto gotLine = readLine (line);

    if (hide)
    {
        SetConsoleMode (input, saved);
        write (Stream::error, "\n");
    }

    return gotLine;
}

void setInterruptFlag (std::atomic<bool>& flag)
{
    interruptFlag = &flag;
    SetConsoleCtrlHandler (onControl, TRUE);
}

} // namespace platform::Console
