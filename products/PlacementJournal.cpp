#include "products/PlacementJournal.h"

#include "platform/Platform.h"
#include "products/StagingNames.h"
#include "storage/MakerFolders.h"

PlacementJournal::PlacementJournal (juce::File journalFolder) : folder (std::move (journalFolder)) {}

PlacementJournal PlacementJournal::inPrivateFolder()
{
    return PlacementJournal (MakerFolders().privateFolder ("/Journal"));
}

bool PlacementJournal::isUsable() const
{
    return folder != juce::File() && folder.isDirectory();
}

juce::String PlacementJournal::issue (const juce::File& namesFolder, const juce::String& targetName) const
{
    if (! isUsable())
        return {};

    // Later than every entry still open, whatever the clock did meanwhile.
    auto sequence = juce::Time::currentTimeMillis() * 1000;

    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFiles))
        if (auto open = find (entry.getFile().getFileName()))
            sequence = juce::jmax (sequence, open->sequence + 1);

    const auto token = StagingNames::newToken();
    const auto text = namesFolder.getFullPathName() + "\n" + targetName + "\n" + juce::String (sequence) + "\n";
    const auto writing = folder.getChildFile (token + ".writing");
    const auto utf8 = text.toStdString();

    auto file = platform::NewFile::create (writing);
    const auto written = file != nullptr && file->write (utf8.data(), utf8.size()) && file->close();
    file.reset();

    if (! written || ! platform::renameNoReplace (writing, folder.getChildFile (token)))
    {
        writing.deleteFile();
        return {};
    }

    return token;
}

std::optional<PlacementJournal::Entry> PlacementJournal::find (const juce::String& token) const
{
    if (! isUsable() || token.length() != 32 || ! token.containsOnly ("0123456789abcdef"))
        return std::nullopt;

    const auto file = folder.getChildFile (token);

    if (! platform::isRegularFile (file) || file.getSize() > 65536)
        return std::nullopt;

    juce::StringArray lines;
    lines.addLines (file.loadFileAsString());

    if (lines.size() < 3 || ! juce::File::isAbsolutePath (lines[0]))
        return std::nullopt;

    return Entry { token, juce::File (lines[0]), lines[1], lines[2].getLargeIntValue() };
}

void PlacementJournal::finish (const juce::String& token) const
{
    if (isUsable() && token.length() == 32 && token.containsOnly ("0123456789abcdef"))
        folder.getChildFile (token).deleteFile();
}
