#include "products/InstallerArchive.h"

namespace InstallerArchive
{

namespace
{
    juce::String describe (const ZipReader::Outcome& o)
    {
        using Problem = ZipReader::Problem;
        const auto entry = "Entry " + o.entry;

        switch (o.problem)
        {
            case Problem::tooManyEntries:     return "The archive holds more than " + juce::String (maxEntries) + " entries";
            case Problem::tooLarge:           return "The archive's entries hold more than " + juce::File::descriptionOfSizeInBytes (maxTotalBytes) + " together";
            case Problem::unsupported:        return o.entry.isEmpty() ? "The archive is split or encrypted" : entry + " is encrypted or compressed in an unknown way";
            case Problem::mismatch:           return entry + " does not match its local header";
            case Problem::sharedData:         return entry + " shares its data with another entry";
            case Problem::outside:            return entry + " is outside the target directory";
            case Problem::unusableName:       return entry + " has a name that cannot be used here";
            case Problem::link:
            case Problem::linkOutside:        return entry + " is a link, which an installer archive may not hold";
            case Problem::duplicate:          return entry + " appears twice in the archive";
            case Problem::tooLong:            return entry + " holds more than it says";
            case Problem::cannotCreateFolder: return "Failed to create target folder: " + o.path.getFullPathName();
            case Problem::cannotWrite:        return "Failed to write to target file: " + o.path.getFullPathName();
            case Problem::noSpace:            return "There is not enough free disk space to unpack the installer: it needs "
                                                     + juce::File::descriptionOfSizeInBytes (o.needed) + ", and "
                                                     + juce::File::descriptionOfSizeInBytes (juce::jmax ((juce::int64) 0, o.available)) + " are free";
            case Problem::damaged:            return o.entry.isEmpty() ? "The archive is damaged" : entry + " is damaged";
            case Problem::none:
            case Problem::stopped:            break;
        }

        return {};
    }
}

Outcome unpack (const juce::File& archive, const juce::File& folder, const std::function<bool()>& shouldStop,
                const ZipReader::FreeSpaceQuery& freeSpace)
{
    ZipReader::Rules rules;
    rules.maxEntries = maxEntries;
    rules.maxTotalBytes = maxTotalBytes;

    const ZipReader zip (archive, rules);
    const auto result = zip.unpackTo (folder, shouldStop, freeSpace);

    if (result.problem == ZipReader::Problem::stopped)
        return { false, true, {} };

    if (! result.succeeded())
        return { false, false, describe (result) };

    return { true, false, {} };
}

} // namespace InstallerArchive
