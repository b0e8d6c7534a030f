#include "selfupdate/UpdateArchive.h"

#include <algorithm>

namespace UpdateArchive
{

juce::String expectedTopLevelName (const juce::String& platform)
{
    if (platform == "macos")  return "Quillotone Plugin Manager.app";
    if (platform == "linux")  return "Quillotone Plugin Manager.AppImage";
    return "Quillotone Plugin Manager.exe";
}

ZipReader::Rules readerRules (bool linksAllowed)
{
    ZipReader::Rules rules;
    rules.maxEntries = maxEntries;
    rules.maxTotalBytes = maxTotalBytes;
    rules.linksAllowed = linksAllowed;
    rules.maxLinkBytes = maxLinkBytes;
    return rules;
}

bool validateArchive (const ZipReader& archive, const juce::String& expectedTopLevel)
{
    const auto& entries = archive.getEntries();

    if (! archive.getCheck().succeeded() || entries.empty() || entries.size() > (size_t) maxEntries)
        return false;

    return std::all_of (entries.begin(), entries.end(),
                        [&] (const ZipReader::Entry& e) { return e.pieces[0] == expectedTopLevel; });
}

bool extractArchive (const ZipReader& archive, const juce::File& folder, const std::function<bool()>& shouldStop,
                     const ZipReader::FreeSpaceQuery& freeSpace)
{
    return archive.unpackTo (folder, shouldStop, freeSpace).succeeded();
}

} // namespace UpdateArchive
