#include "account/KeptCatalogue.h"

#include "account/CatalogueParser.h"
#include "platform/Platform.h"
#include "storage/FileNames.h"
#include "storage/MakerFolders.h"

#include <juce_cryptography/juce_cryptography.h>

namespace
{
    const juce::String rootTag ("QUILLOTONE_KEPT_CATALOGUE");

    void addRecord (juce::XmlElement& root, const ProductRecord& record)
    {
        auto* entry = root.createNewChildElement (record.isDemo ? "PLUGIN_DEMO" : "PLUGIN");
        entry->setAttribute ("id", record.id);
        entry->setAttribute ("name", record.name);
        entry->setAttribute ("version", record.latestVersion);
        entry->setAttribute ("productURL", record.productURL);
        entry->setAttribute ("downloadMAC", record.downloadURLMac);
        entry->setAttribute ("downloadPC", record.downloadURLWindows);
        entry->setAttribute ("downloadLINUX", record.downloadURLLinux);
        entry->setAttribute ("freebie", record.isFreebie ? "1" : "0");

        if (! record.isDemo)
        {
            entry->setAttribute ("hash", record.hash);
            entry->setAttribute ("date", record.date);
            entry->setAttribute ("nfr", record.isNFR ? "1" : "0");
        }

        // Only the name: the thumbnails folder is found again when reading.
        if (record.thumbnailFile.isNotEmpty())
            entry->setAttribute ("thumbnail", juce::File (record.thumbnailFile).getFileName());
    }

    // The names the sync gives cached thumbnails, and nothing that could
    // leave the thumbnails folder.
    juce::String thumbnailIn (const juce::File& thumbnailsFolder, const juce::String& name)
    {
        if (thumbnailsFolder == juce::File() || name.isEmpty()
             || ! name.containsOnly ("abcdefghijklmnopqrstuvwxyz0123456789.-_~") || ! FileNames::isUsableFileName (name))
            return {};

        return thumbnailsFolder.getChildFile (name).getFullPathName();
    }

    std::optional<juce::String> readText (const juce::File& file, juce::int64 maxBytes)
    {
        // The folder is ours alone; a link or anything else in it was not made by us.
        if (! platform::isRegularFile (file) || file.getSize() > maxBytes)
            return std::nullopt;

        juce::FileInputStream in (file);
        juce::MemoryBlock bytes;

        if (! in.openedOk())
            return std::nullopt;

        in.readIntoMemoryBlock (bytes, (juce::pointer_sized_int) maxBytes + 1);

        if ((juce::int64) bytes.getSize() > maxBytes
             || ! juce::CharPointer_UTF8::isValidString (static_cast<const char*> (bytes.getData()), (int) bytes.getSize()))
            return std::nullopt;

        return juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()), (int) bytes.getSize());
    }
}

//==============================================================================
KeptCatalogue::KeptCatalogue (juce::File f) : folder (std::move (f)) {}

KeptCatalogue KeptCatalogue::inPrivateFolder()
{
    return KeptCatalogue (MakerFolders().privateFolder ("/Catalogues"));
}

juce::File KeptCatalogue::fileFor (const juce::String& email) const
{
    if (folder == juce::File() || email.trim().isEmpty())
        return {};

    // The address itself stays out of the name, which others may list.
    return folder.getChildFile (juce::SHA256 (email.toLowerCase().toUTF8()).toHexString() + ".catalogue");
}

bool KeptCatalogue::keep (const juce::String& email, const juce::Array<ProductRecord>& products,
                          const juce::Array<ProductRecord>& demos, juce::Time synced) const
{
    const auto target = fileFor (email);

    if (target == juce::File() || ! folder.isDirectory())
        return false;

    juce::XmlElement root (rootTag);
    root.setAttribute ("account", email.toLowerCase());
    root.setAttribute ("synced", juce::String (synced.toMilliseconds()));
    root.setAttribute ("count", products.size() + demos.size());

    for (const auto& record : products)
        addRecord (root, record);

    for (const auto& record : demos)
        addRecord (root, record);

    const auto utf8 = root.toString().toStdString();

    // A file that would never be read back must not stand for this sync either.
    if ((juce::int64) utf8.size() > maxBytes)
    {
        forget (email);
        return false;
    }

    const auto writing = folder.getChildFile (target.getFileName() + "." + juce::Uuid().toString() + ".writing");
    auto file = platform::NewFile::create (writing);
    const auto written = file != nullptr && file->write (utf8.data(), utf8.size()) && file->close();
    file.reset();

    if (! written || ! writing.replaceFileIn (target))
    {
        writing.deleteFile();
        return false;
    }

    return true;
}

std::optional<KeptCatalogue::Contents> KeptCatalogue::read (const juce::String& email, const juce::File& thumbnailsFolder) const
{
    const auto file = fileFor (email);

    if (file == juce::File())
        return std::nullopt;

    const auto text = readText (file, maxBytes);

    if (! text)
        return std::nullopt;

    const auto root = CatalogueParser::parse (*text);

    if (root == nullptr || ! root->hasTagName (rootTag) || root->getStringAttribute ("account") != email.toLowerCase())
        return std::nullopt;

    // A write cut short may still parse: the closing tag (an empty catalogue
    // closes itself) and the count tell.
    if (! text->trimEnd().endsWith (root->getNumChildElements() == 0 ? "/>" : "</" + rootTag + ">"))
        return std::nullopt;

    Contents contents;
    contents.email = email.toLowerCase();
    contents.synced = juce::Time (root->getStringAttribute ("synced").getLargeIntValue());

    if (contents.synced.toMilliseconds() <= 0)
        return std::nullopt;

    int entries = 0;

    for (auto* entry : root->getChildIterator())
    {
        const auto isDemo = entry->hasTagName ("PLUGIN_DEMO");

        if (! isDemo && ! entry->hasTagName ("PLUGIN"))
            continue;

        ++entries;

        // The sync's rules, as for entries from the network.
        if (entry->getStringAttribute ("name").trim().isEmpty() || (! isDemo && CatalogueParser::isExcludedOwnedEntry (*entry)))
            continue;

        auto record = CatalogueParser::readRecord (*entry, isDemo);
        record.thumbnailFile = thumbnailIn (thumbnailsFolder, entry->getStringAttribute ("thumbnail"));
        (isDemo ? contents.demos : contents.products).add (record);
    }

    if (root->getStringAttribute ("count") != juce::String (entries))
        return std::nullopt;

    return contents;
}

void KeptCatalogue::forget (const juce::String& email) const
{
    if (const auto file = fileFor (email); file != juce::File())
        file.deleteFile();
}
