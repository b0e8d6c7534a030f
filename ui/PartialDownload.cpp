#include "ui/PartialDownload.h"

PartialDownload::PartialDownload (const juce::File& destination)
    : data (destination.getSiblingFile (destination.getFileName() + ".partial")),
      record (destination.getSiblingFile (destination.getFileName() + ".partial.json"))
{
}

PartialDownload::Record PartialDownload::load (const juce::String& url) const
{
    const auto parsed = juce::JSON::parse (record);
    Record r;
    r.url = parsed["url"].toString();
    r.etag = parsed["etag"].toString();
    r.lastModified = parsed["lastModified"].toString();
    r.bytes = (juce::int64) parsed["bytes"];
    r.total = parsed.hasProperty ("total") ? (juce::int64) parsed["total"] : -1;

    // The data file only ever grows by appending what the recorded answer
    // sent, so more bytes than recorded are still that answer's; fewer mean
    // the record is not about this file.
    const auto size = data.getSize();

    if (r.url != url || ! r.hasValidator() || ! data.existsAsFile() || size < r.bytes || size <= 0
         || (r.total >= 0 && size > r.total))
        return {};

    r.bytes = size;
    return r;
}

bool PartialDownload::save (const Record& r) const
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("url", r.url);
    object->setProperty ("etag", r.etag);
    object->setProperty ("lastModified", r.lastModified);
    object->setProperty ("bytes", r.bytes);
    object->setProperty ("total", r.total);
    return record.replaceWithText (juce::JSON::toString (juce::var (object)), false, false, "\n");
}

void PartialDownload::discard() const
{
    data.deleteFile();
    record.deleteFile();
}

juce::String PartialDownload::resumeHeaders (const Record& r)
{
    // The ETag is the stronger check; a date only when there is none.
    return "Range: bytes=" + juce::String (r.bytes) + "-\r\nIf-Range: "
           + (r.etag.isNotEmpty() ? r.etag : r.lastModified) + "\r\n";
}

PartialDownload::Answer PartialDownload::judge (int status, const juce::StringPairArray& headers,
                                                juce::int64 have, juce::int64 knownTotal, juce::int64& total)
{
    total = -1;

    if (status == 200)
    {
        const auto length = headers["Content-Length"].trim();

        if (length.isNotEmpty() && length.containsOnly ("0123456789"))
            total = length.getLargeIntValue();

        return Answer::restart;
    }

    if (status == 416)
        return Answer::startAgain;

    if (status != 206)
        return Answer::refuse;

    // "bytes FIRST-LAST/TOTAL": the rest must start where the kept bytes end
    // and belong to a resource of the size announced before.
    const auto range = headers["Content-Range"].trim();
    const auto span = range.fromFirstOccurrenceOf ("bytes ", false, true).upToFirstOccurrenceOf ("/", false, false);
    const auto whole = range.fromLastOccurrenceOf ("/", false, false).trim();
    const auto first = span.upToFirstOccurrenceOf ("-", false, false).trim();
    const auto last = span.fromFirstOccurrenceOf ("-", false, false).trim();

    if (have <= 0 || ! range.startsWithIgnoreCase ("bytes ") || first.isEmpty() || ! first.containsOnly ("0123456789")
         || last.isEmpty() || ! last.containsOnly ("0123456789") || whole.isEmpty() || ! whole.containsOnly ("0123456789"))
        return Answer::startAgain;

    total = whole.getLargeIntValue();

    if (first.getLargeIntValue() != have || last.getLargeIntValue() != total - 1 || (knownTotal >= 0 && total != knownTotal))
        return Answer::startAgain;

    return Answer::append;
}
