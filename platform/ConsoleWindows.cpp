#include "platform/Console.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

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

    std::string text;
    const auto gotLine = static_cast<bool> (std::getline (std::cin, text));

    if (hide)
    {
        SetConsoleMode (input, saved);
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
    SetConsoleCtrlHandler (onControl, TRUE);
}

void write (Stream stream, const juce::String& text)
{
    auto* file = stream == Stream::output ? stdout : stderr;
    const auto* utf8 = text.toRawUTF8();
    std::fwrite (utf8, 1, std::strlen (utf8), file);
    std::fflush (file);
}

} // namespace platform::Console
