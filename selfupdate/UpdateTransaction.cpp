#include "selfupdate/UpdateTransaction.h"

#include "platform/Platform.h"

namespace UpdateTransaction
{

bool write (const juce::File& stagingFolder, const Record& record)
{
    juce::DynamicObject::Ptr object (new juce::DynamicObject());
    object->setProperty ("target", record.target);
    object->setProperty ("version", record.version);

    // The framework writes a temporary file and renames it into place.
    const auto text = juce::JSON::toString (juce::var (object.get()), false);
    return stagingFolder.getChildFile ("transaction.json").replaceWithText (text, false, false, "\r\n");
}

Record read (const juce::File& stagingFolder)
{
    const auto file = stagingFolder.getChildFile ("transaction.json");

    if (! platform::isRegularFile (file) || file.getSize() > 65536)
        return {};

    const auto parsed = juce::JSON::parse (file.loadFileAsString());

    if (! parsed.isObject())
        return {};

    auto member = [&parsed] (const char* name)
    {
        const auto& value = parsed[name];
        return value.isString() ? value.toString() : juce::String();
    };

    return { member ("target"), member ("version") };
}

bool writeMarker (const juce::File& stagingFolder, const juce::String& name, const juce::String& text)
{
    return stagingFolder.getChildFile (name).replaceWithText (text, false, false, nullptr);
}

Findings scan (const juce::File& executable, const juce::String& runningVersion)
{
    Findings findings;
    const auto folder = executable.getParentDirectory();

    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, juce::String (folderPrefix) + "*",
                                                             juce::File::findDirectories, juce::File::FollowSymlinks::no))
    {
        const auto staging = entry.getFile();

        if (platform::isLink (staging))
            continue;

        const auto record = read (staging);

        // Only this executable's own transactions; exact, as written.
        if (record.target != executable.getFullPathName())
            continue;

        if (record.version == runningVersion && writeMarker (staging, "healthy", "ready"))
            ++findings.healthyWritten;

        const auto error = staging.getChildFile ("error");

        if (platform::isRegularFile (error))
        {
            findings.errors.add (error.loadFileAsString().trim());
            error.moveFileTo (staging.getChildFile ("error-shown"));
        }
    }

    return findings;
}

} // namespace UpdateTransaction
