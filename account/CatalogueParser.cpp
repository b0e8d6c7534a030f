#include "account/CatalogueParser.h"

#include "platform/HttpTransfer.h"
#include "storage/BooleanAttribute.h"
#include "storage/FileNames.h"

#include <cstring>
#include <string>

namespace CatalogueParser
{

bool isSafeToParse (const juce::String& text)
{
    const auto utf8 = text.toStdString();
    const auto n = utf8.size();
    int depth = 0;

    auto skipTo = [&utf8] (size_t from, const char* end) -> size_t
    {
        auto found = utf8.find (end, from);
        return found == std::string::npos ? std::string::npos : found + std::strlen (end);
    };

    for (size_t i = utf8.find ('<'); i != std::string::npos && i < n; i = utf8.find ('<', i))
    {
        if (utf8.compare (i, 4, "<!--") == 0)           i = skipTo (i + 4, "-->");
        else if (utf8.compare (i, 9, "<![CDATA[") == 0) i = skipTo (i + 9, "]]>");
        else if (utf8.compare (i, 2, "<!") == 0)        return false;     // DOCTYPE, ENTITY and the like
        else if (utf8.compare (i, 2, "<?") == 0)        i = skipTo (i + 2, "?>");
        else if (utf8.compare (i, 2, "</") == 0)
        {
            // A close tag with nothing open would let the count go below
            // zero and the levels after it nest deeper than it says.
            if (--depth < 0)
                return false;

            i = skipTo (i + 2, ">");
        }
        else
        {
            // A start tag ends at the first ">" outside a quoted attribute value.
            auto j = i + 1;
            char quote = 0;

            for (; j < n; ++j)
            {
                const auto c = utf8[j];

                if (quote != 0)         { if (c == quote) quote = 0; }
                else if (c == '"' || c == '\'')  quote = c;
                else if (c == '>')      break;
            }

            if (j >= n)
                return false;

            if (utf8[j - 1] != '/' && ++depth > maxDepth)
                return false;

            i = j + 1;
        }

        if (i == std::string::npos)
            return false;
    }

    return true;
}

std::unique_ptr<juce::XmlElement> parse (const juce::String& text)
{
    if (text.trim().isEmpty() || ! isSafeToParse (text))
        return nullptr;

    return juce::parseXML (text);
}

int countNamedEntries (const juce::XmlElement& root)
{
    int count = 0;

    for (auto* entry : root.getChildIterator())
        if ((entry->hasTagName ("PLUGIN") || entry->hasTagName ("PLUGIN_DEMO"))
             && entry->getStringAttribute ("name").trim().isNotEmpty())
            ++count;

    return count;
}

bool isExcludedOwnedEntry (const juce::XmlElement& entry)
{
    auto number = entry.hasAttribute ("installerNumber") ? entry.getStringAttribute ("installerNumber")
                                                         : entry.getStringAttribute ("installer");
    return number.trim() == "10";
}

int readId (const juce::String& text)
{
    auto trimmed = text.trimStart();
    auto sign = trimmed.startsWithChar ('-') || trimmed.startsWithChar ('+') ? trimmed.substring (0, 1) : juce::String();
    auto digits = trimmed.substring (sign.length()).initialSectionContainingOnly ("0123456789");

    if (digits.isEmpty())
        return 0;

    auto value = digits.substring (0, 10).getLargeIntValue();
    value = juce::jmin (value, (juce::int64) std::numeric_limits<int>::max());
    return (int) (sign == "-" ? -value : value);
}

ProductRecord readRecord (const juce::XmlElement& entry, bool isDemo)
{
    ProductRecord record;
    record.id = readId (entry.getStringAttribute ("id"));
    record.name = entry.getStringAttribute ("name").trim();
    record.latestVersion = entry.getStringAttribute ("version");
    record.productURL = entry.getStringAttribute ("productURL");
    record.downloadURLMac = entry.getStringAttribute ("downloadMAC");
    record.downloadURLWindows = entry.getStringAttribute ("downloadPC");
    record.downloadURLLinux = entry.getStringAttribute ("downloadLINUX");
    record.isFreebie = BooleanAttribute::isTrue (entry.getStringAttribute ("freebie"));
    record.isDemo = isDemo;

    if (! isDemo)
    {
        record.hash = entry.getStringAttribute ("hash");
        record.date = entry.getStringAttribute ("date");
        record.isNFR = BooleanAttribute::isTrue (entry.getStringAttribute ("nfr"));
    }

    return record;
}

juce::File thumbnailFile (const juce::File& thumbnailsFolder, const juce::String& imageURL)
{
    if (! platform::HttpTransfer::isWebURL (imageURL))
        return {};

    const auto name = FileNames::cacheFileNameFor (imageURL.fromLastOccurrenceOf ("/", false, false));

    if (name.isEmpty())
        return {};

    auto file = thumbnailsFolder.getChildFile (name);
    return file.isAChildOf (thumbnailsFolder) ? file : juce::File();
}

} // namespace CatalogueParser
