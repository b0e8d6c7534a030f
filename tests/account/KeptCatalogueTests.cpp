#include <gtest/gtest.h>

#include "account/KeptCatalogue.h"

// Also run under Wine, so nothing POSIX here.
namespace
{
    struct TempFolder
    {
        TempFolder()    { folder.createDirectory(); }
        ~TempFolder()   { folder.deleteRecursively (false); }

        juce::File folder { juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getChildFile ("quillotone-kept-" + juce::Uuid().toString()) };
    };

    const juce::String owner ("demo@quillotone.test"), other ("fresh@quillotone.test");

    ProductRecord record (const juce::String& name, bool isDemo, const juce::String& thumbnail = {})
    {
        ProductRecord r;
        r.id = 7;
        r.name = name;
        r.latestVersion = "1.2.0";
        r.downloadURLWindows = "http://127.0.0.1/installers/" + name + ".zip";
        r.isDemo = isDemo;
        r.isNFR = ! isDemo;
        r.isFreebie = isDemo;
        r.hash = isDemo ? "" : "h";
        r.thumbnailFile = thumbnail;
        return r;
    }
}

TEST (KeptCatalogue, ReadsBackOnlyWhatItWroteForThatAccount)
{
    struct Case
    {
        const char* what;
        std::function<void (const KeptCatalogue&, const juce::File& kept)> spoil;
        bool readable;
        bool thumbnailKept = true;
    };

    const Case cases[] = {
        { "as written", [] (auto&, auto&) {}, true },
        { "corrupt", [] (auto&, auto& f) { f.replaceWithText ("\x01\x02 not a catalogue"); }, false },
        { "truncated inside an entry", [] (auto&, auto& f) { f.replaceWithText (f.loadFileAsString().dropLastCharacters (60)); }, false },
        { "truncated after an entry", [] (auto&, auto& f)
          {
              const auto text = f.loadFileAsString();
              f.replaceWithText (text.substring (0, text.lastIndexOf ("<PLUGIN_DEMO")));
          }, false },
        { "an entry removed", [] (auto&, auto& f)
          {
              const auto text = f.loadFileAsString();
              const auto start = text.indexOf ("<PLUGIN ");
              f.replaceWithText (text.substring (0, start) + text.substring (text.indexOf (start, "/>") + 2));
          }, false },
        { "oversized", [] (auto&, auto& f)
          {
              f.replaceWithText (f.loadFileAsString().replace ("<PLUGIN ", juce::String::repeatedString (" ", (int) KeptCatalogue::maxBytes) + "<PLUGIN "));
          }, false },
        { "an entity declaration", [] (auto&, auto& f)
          {
              f.replaceWithText ("<!DOCTYPE a [<!ENTITY e 'x'>]>" + f.loadFileAsString().fromFirstOccurrenceOf ("?>", false, false));
          }, false },
        { "another account's file under this name", [] (auto& kept, auto& f)
          {
              kept.keep (other, { record ("Other Synth", false) }, {}, juce::Time (1000));
              kept.fileFor (other).copyFileTo (f);
          }, false },
        { "forgotten", [] (auto& kept, auto&) { kept.forget (owner); }, false },
        { "a thumbnail outside its folder", [] (auto&, auto& f)
          {
              f.replaceWithText (f.loadFileAsString().replace ("velvet-keys.png", "../../velvet-keys.png"));
          }, true, false },
    };

    for (const auto& c : cases)
    {
        TempFolder folder, thumbnails;
        const KeptCatalogue kept (folder.folder);
        const juce::Time synced (juce::int64 (1765300000000));

        // Written twice: a later sync replaces the earlier file.
        ASSERT_TRUE (kept.keep (owner, {}, {}, juce::Time (1)));
        ASSERT_TRUE (kept.keep ("Demo@Quillotone.test",
                                { record ("Big Room Verb", false, "/elsewhere/big-room-verb.png"), record ("KV-77", false) },
                                { record ("Velvet Keys", true, "/elsewhere/velvet-keys.png") }, synced)) << c.what;
        c.spoil (kept, kept.fileFor (owner));

        const auto contents = kept.read (owner, thumbnails.folder);
        ASSERT_EQ (contents.has_value(), c.readable) << c.what;

        // Only its own names ever stand in the folder: nothing half-written is left.
        EXPECT_LE (folder.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 2) << c.what;

        if (! contents)
            continue;

        EXPECT_EQ (contents->synced, synced);
        ASSERT_EQ (contents->products.size(), 2);
        ASSERT_EQ (contents->demos.size(), 1);
        EXPECT_EQ (contents->products[0].name, "Big Room Verb");
        EXPECT_EQ (contents->products[0].latestVersion, "1.2.0");
        EXPECT_TRUE (contents->products[0].isNFR);
        EXPECT_EQ (contents->products[0].thumbnailFile, thumbnails.folder.getChildFile ("big-room-verb.png").getFullPathName());
        EXPECT_EQ (contents->products[1].thumbnailFile, "");
        EXPECT_EQ (contents->demos[0].name, "Velvet Keys");
        EXPECT_TRUE (contents->demos[0].isDemo && contents->demos[0].isFreebie);
        EXPECT_EQ (contents->demos[0].thumbnailFile,
                   c.thumbnailKept ? thumbnails.folder.getChildFile ("velvet-keys.png").getFullPathName() : juce::String()) << c.what;
        EXPECT_FALSE (kept.read (other, thumbnails.folder).has_value());
        EXPECT_FALSE (kept.fileFor (owner).loadFileAsString().contains ("password"));
    }
}
