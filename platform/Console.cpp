#include "platform/Console.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace platform::Console
{

bool readLine (juce::String& line)
{
    std::string text;
    const auto gotLine = static_cast<bool> (std::getline (std::cin, text));

    if (! gotLine && text.empty())
        return false;

    if (! text.empty() && text.back() == '\r')
        text.pop_back();

    line = juce::String::fromUTF8 (text.data(), (int) text.size());
    return true;
}

void write (Stream stream, const juce::String& text)
{
    auto* file = stream == Stream::output ? stdout : stderr;
    const auto* utf8 = text.toRawUTF8();
    std::fwrite (utf8, 1, std::strlen (utf8), file);
    std::fflush (file);
}

} // namespace platform::Console
