#include "selfupdate/UpdateManifest.h"

#include <cstring>
#include <vector>

namespace UpdateManifest
{

juce::String thisPlatform()
{
   #if JUCE_WINDOWS
    return "windows";
   #elif JUCE_MAC
    return "macos";
   #elif JUCE_LINUX
    return "linux";
   #else
    return {};
   #endif
}

juce::String payloadExtension (const juce::String& platform)
{
    return platform == "linux" ? ".AppImage" : ".zip";
}

bool parseVersion (const juce::String& text, std::array<int, 3>& numbers)
{
    // Split by hand: empty pieces count, so "1..2" has three pieces.
    juce::StringArray pieces;
    pieces.addTokens (text, ".", {});

    if (pieces.size() != 3)
        return false;

    std::array<int, 3> parsed {};

    for (int i = 0; i < 3; ++i)
    {
        const auto& piece = pieces[i];

        if (piece.isEmpty() || piece.length() > 4 || ! piece.containsOnly ("0123456789")
             || (piece.length() > 1 && piece[0] == '0'))
            return false;

        parsed[(size_t) i] = piece.getIntValue();
    }

    numbers = parsed;
    return true;
}

juce::String expectedPayloadURL (const juce::String& payloadBase, const juce::String& version,
                                 const juce::String& platform)
{
    return payloadBase + version + "/QuillotonePluginManager-" + version + "-" + platform + "-update"
         + payloadExtension (platform);
}

UpdateInfo parseManifest (const juce::var& manifest, const juce::String& platform,
                          const juce::String& currentVersion, const juce::String& payloadBase)
{
    // var compares loosely (1 equals "1"), so every type is tested first.
    const auto isInteger = [] (const juce::var& v) { return v.isInt() || v.isInt64(); };
    const auto isText = [] (const juce::var& v, const juce::String& expected) { return v.isString() && v.toString() == expected; };

    const auto& schema = manifest["schema"];

    if (! isInteger (schema) || (juce::int64) schema != 1)
        return {};

    const auto& published = manifest["published"];

    if (! published.isBool() || ! (bool) published)
        return {};

    const auto& versionValue = manifest["version"];
    std::array<int, 3> offered {}, running {};

    if (! versionValue.isString() || ! parseVersion (versionValue.toString(), offered) || ! parseVersion (currentVersion, running))
        return {};

    // Numbers, not text: 1.10.0 is newer than 1.9.0.
    if (! (running < offered))
        return {};

    if (platform.isEmpty())
        return {};

    const auto member = manifest["platforms"].getProperty (juce::Identifier (platform), {});

    if (! isText (member["arch"], platform == "macos" ? "universal" : "x86_64"))
        return {};

    const auto& payload = member["update"];
    const auto version = versionValue.toString();
    const auto url = expectedPayloadURL (payloadBase, version, platform);

    if (! isText (payload["url"], url))
        return {};

    const auto& sha256 = payload["sha256"];

    if (! sha256.isString() || sha256.toString().length() != 64 || ! sha256.toString().containsOnly ("0123456789abcdef"))
        return {};

    const auto& size = payload["size"];

    if (! isInteger (size) || (juce::int64) size < 1 || (juce::int64) size > maxPayloadBytes)
        return {};

    return { version, url, sha256.toString(), (juce::int64) size };
}

//==============================================================================
namespace
{
    /** One pass over the bytes with an explicit stack instead of recursion. */
    class StrictJsonScanner
    {
    public:
        StrictJsonScanner (const char* d, size_t n, int depth) : data (d), size (n), maxDepth (depth) {}

        bool scan()
        {
            auto expectValue = true;

            for (;;)
            {
                skipWhitespace();

                if (expectValue)
                {
                    if (atEnd())
                        return false;

                    const auto c = data[pos];

                    if (c == '{' || c == '[')
                    {
                        if ((int) open.size() >= maxDepth)
                            return false;

                        open.push_back (c);
                        ++pos;
                        skipWhitespace();

                        if (! atEnd() && data[pos] == (c == '{' ? '}' : ']'))
                        {
                            ++pos;
                            open.pop_back();
                            expectValue = false;
                        }
                        else if (c == '{' && ! memberName())
                        {
                            return false;
                        }

                        continue;
                    }

                    if (! scalar())
                        return false;

                    expectValue = false;
                    continue;
                }

                if (open.empty())
                    return atEnd();

                if (atEnd())
                    return false;

                const auto c = data[pos++];
                const auto inObject = open.back() == '{';

                if (c == ',')
                {
                    if (inObject && ! memberName())
                        return false;

                    expectValue = true;
                }
                else if (c == (inObject ? '}' : ']'))
                {
                    open.pop_back();
                }
                else
                {
                    return false;
                }
            }
        }

    private:
        bool atEnd() const noexcept     { return pos >= size; }

        void skipWhitespace()
        {
            while (! atEnd() && (data[pos] == ' ' || data[pos] == '\t' || data[pos] == '\n' || data[pos] == '\r'))
                ++pos;
        }

        /** A quoted name, then a colon. */
        bool memberName()
        {
            skipWhitespace();

            if (atEnd() || data[pos] != '"' || ! string())
                return false;

            skipWhitespace();

            if (atEnd() || data[pos] != ':')
                return false;

            ++pos;
            return true;
        }

        bool scalar()
        {
            const auto c = data[pos];

            if (c == '"')                          return string();
            if (c == '-' || (c >= '0' && c <= '9')) return number();

            for (const char* literal : { "true", "false", "null" })
            {
                const auto length = std::strlen (literal);

                if (size - pos >= length && std::memcmp (data + pos, literal, length) == 0)
                {
                    pos += length;
                    return true;
                }
            }

            return false;
        }

        bool string()
        {
            ++pos;

            while (! atEnd())
            {
                const auto c = (unsigned char) data[pos++];

                if (c == '"')
                    return true;

                if (c < 0x20)
                    return false;

                if (c != '\\')
                    continue;

                if (atEnd())
                    return false;

                const auto escaped = data[pos++];

                if (escaped == 'u')
                {
                    for (int i = 0; i < 4; ++i, ++pos)
                        if (atEnd() || juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (unsigned char) data[pos]) < 0)
                            return false;
                }
                else if (std::strchr ("\"\\/bfnrt", escaped) == nullptr || escaped == 0)
                {
                    return false;
                }
            }

            return false;
        }

        bool digits()
        {
            const auto start = pos;

            while (! atEnd() && data[pos] >= '0' && data[pos] <= '9')
                ++pos;

            return pos > start;
        }

        bool number()
        {
            const auto negative = data[pos] == '-';

            if (negative)
                ++pos;

            const auto intStart = pos;

            if (atEnd() || data[pos] < '0' || data[pos] > '9')
                return false;

            if (data[pos] == '0')
                ++pos;
            else
                digits();

            const auto intLength = pos - intStart;
            auto isInteger = true;

            if (! atEnd() && data[pos] == '.')
            {
                ++pos;
                isInteger = false;

                if (! digits())
                    return false;
            }

            if (! atEnd() && (data[pos] == 'e' || data[pos] == 'E'))
            {
                ++pos;
                isInteger = false;

                if (! atEnd() && (data[pos] == '+' || data[pos] == '-'))
                    ++pos;

                if (! digits())
                    return false;
            }

            if (! isInteger || intLength < 19)
                return true;

            // The framework reads integers into 64 bits and wraps around beyond.
            const char* limit = negative ? "9223372036854775808" : "9223372036854775807";
            return intLength == 19 && std::memcmp (data + intStart, limit, 19) <= 0;
        }

        const char* data;
        size_t size, pos = 0;
        int maxDepth;
        std::vector<char> open;
    };
}

bool isStrictJson (const char* data, size_t size, int maxDepth)
{
    return StrictJsonScanner (data, size, maxDepth).scan();
}

UpdateInfo readManifest (const juce::MemoryBlock& body, const juce::String& platform,
                         const juce::String& currentVersion, const juce::String& payloadBase)
{
    const auto* bytes = static_cast<const char*> (body.getData());
    const auto size = body.getSize();

    if (size > (size_t) maxBodyBytes || size == 0)
        return {};

    if (std::memchr (bytes, 0, size) != nullptr || ! juce::CharPointer_UTF8::isValidString (bytes, (int) size))
        return {};

    if (! isStrictJson (bytes, size, maxNesting))
        return {};

    juce::var parsed;

    if (juce::JSON::parse (juce::String::fromUTF8 (bytes, (int) size), parsed).failed() || ! parsed.isObject())
        return {};

    return parseManifest (parsed, platform, currentVersion, payloadBase);
}

} // namespace UpdateManifest
