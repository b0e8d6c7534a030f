// The safe tree merge and the rollback swap, case by case.
#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "products/ContentTransfer.h"
#include "products/PluginPlacement.h"
#include "support/TestHelpers.h"

#include <sys/stat.h>

using testing_support::TempFolder;

namespace
{
    void write (const juce::File& f, const juce::String& text)
    {
        f.getParentDirectory().createDirectory();
        f.replaceWithText (text, false, false, nullptr);
    }

    /** Every path below a folder with its content ("/" for folders). */
    juce::StringPairArray treeOf (const juce::File& root)
    {
        juce::StringPairArray tree;

        for (const auto& entry : juce::RangedDirectoryIterator (root, true, "*", juce::File::findFilesAndDirectories,
                                                                 juce::File::FollowSymlinks::no))
            tree.set (entry.getFile().getRelativePathFrom (root),
                      entry.isDirectory() ? juce::String ("/")
                                          : platform::isRegularFile (entry.getFile()) ? entry.getFile().loadFileAsString() : juce::String ("?"));

        return tree;
    }

    bool hasStagingNames (const juce::File& folder)
    {
        for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*", juce::File::findFilesAndDirectories,
                                                                 juce::File::FollowSymlinks::no))
            if (entry.getFile().getFileName().contains (".pending.") || entry.getFile().getFileName().contains (".backup."))
                return true;

        return false;
    }

    juce::String mergeError (const juce::File& source, const juce::File& destination)
    {
        try
        {
            ContentTransfer::copyContentTree (source, destination);
            return {};
        }
        catch (const ContentTransfer::Error& e)
        {
            return juce::String::fromUTF8 (e.what());
        }
    }
}

TEST (ContentTransfer, MergesWithoutEverReplacingOrFollowing)
{
    struct Case
    {
        const char* what;
        std::function<void (const juce::File& source, const juce::File& destination)> arrange;
        juce::String expected;      // the error, with {s} and {d} for the two roots
    };

    const Case cases[] = {
        { "into an empty destination", [] (auto& s, auto&) { write (s.getChildFile ("a/b.txt"), "b"); s.getChildFile ("empty").createDirectory(); }, "" },
        { "an existing file keeps its bytes", [] (auto& s, auto& d) { write (s.getChildFile ("x.txt"), "new"); write (d.getChildFile ("x.txt"), "mine"); }, "" },
        { "a link in the source", [] (auto& s, auto&) { s.createDirectory(); juce::File ("/etc").createSymbolicLink (s.getChildFile ("link"), true); },
          "Symbolic links in installer content are not supported: {s}/link" },
        { "a folder where a file goes", [] (auto& s, auto& d) { write (s.getChildFile ("x.txt"), "new"); d.getChildFile ("x.txt").createDirectory(); },
          "Content file conflicts with an existing directory or symbolic link: {d}/x.txt" },
        { "a dangling link where a file goes", [] (auto& s, auto& d) { write (s.getChildFile ("x.txt"), "new"); d.createDirectory();
                                                                       d.getChildFile ("elsewhere").createSymbolicLink (d.getChildFile ("x.txt"), true); },
          "Content file conflicts with an existing directory or symbolic link: {d}/x.txt" },
        { "a file where the destination folder goes", [] (auto& s, auto& d) { write (s.getChildFile ("x.txt"), "new"); write (d, "file"); },
          "Content directory conflicts with an existing file or symbolic link: {d}" },
        { "a source that is no folder", [] (auto& s, auto&) { write (s, "file"); }, "Installer content must be a real directory: {s}" },
        { "a pipe in the source", [] (auto& s, auto&) { s.createDirectory(); ::mkfifo (s.getChildFile ("pipe").getFullPathName().toRawUTF8(), 0600); },
          "Unsupported installer content type: {s}/pipe" },
        { "a name beyond ASCII", [] (auto& s, auto& d) { write (s.getChildFile (juce::String::fromUTF8 ("\xc3\xbc.txt")), "new");
                                                         d.getChildFile (juce::String::fromUTF8 ("\xc3\xbc.txt")).createDirectory(); },
          juce::String::fromUTF8 ("Content file conflicts with an existing directory or symbolic link: {d}/\xc3\xbc.txt") },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TempFolder temp;
        auto source = temp.folder.getChildFile ("source"), destination = temp.folder.getChildFile ("destination");
        c.arrange (source, destination);
        const auto before = treeOf (destination);

        const auto error = mergeError (source, destination);
        EXPECT_EQ (error, c.expected.replace ("{s}", source.getFullPathName()).replace ("{d}", destination.getFullPathName()));
        EXPECT_FALSE (hasStagingNames (destination));

        // Nothing that was there changed, whatever happened.
        const auto after = treeOf (destination), copied = treeOf (source);

        for (auto& key : before.getAllKeys())
            EXPECT_EQ (after[key], before[key]) << key;

        if (error.isEmpty())
        {
            for (auto& key : copied.getAllKeys())
                EXPECT_TRUE (after.containsKey (key)) << key;
        }
    }
}

TEST (ContentTransfer, OverlapsAreRefusedAndAFullBufferCopiesExactly)
{
    TempFolder temp;
    auto source = temp.folder.getChildFile ("source");
    write (source.getChildFile ("a.txt"), "a");

    for (auto destination : { source, source.getChildFile ("inside"), temp.folder, juce::File (source.getFullPathName().toUpperCase()) })
    {
        if (destination.getFullPathName().toUpperCase() == source.getFullPathName().toUpperCase() && destination != source)
            continue;   // only where letter case may differ

        EXPECT_EQ (mergeError (source, destination), "Installer source and content destination must not overlap: " + destination.getFullPathName());
    }

    EXPECT_FALSE (source.getChildFile ("inside").exists());

    juce::MemoryBlock exact (ContentTransfer::bufferSize);
    juce::Random().fillBitsRandomly (exact.getData(), exact.getSize());
    auto big = temp.folder.getChildFile ("block.bin"), copy = temp.folder.getChildFile ("copy/block.bin");
    big.replaceWithData (exact.getData(), exact.getSize());
    copy.getParentDirectory().createDirectory();
    ContentTransfer::copyFile (big, copy);
    juce::MemoryBlock copied;
    copy.loadFileAsData (copied);
    EXPECT_EQ (copied, exact);
}

//==============================================================================
TEST (PluginPlacement, SwapsWithARollbackAndSaysWhatBecameOfTheOldVersion)
{
    using Steps = PluginPlacement::FileSteps;

    auto failingRename = [] (std::function<bool (const juce::String&, const juce::String&)> refuses)
    {
        Steps steps = Steps::real();
        steps.rename = [refuses] (const platform::FolderHandle& folder, const juce::String& from, const juce::String& to)
        {
            return ! refuses (from, to) && Steps::real().rename (folder, from, to);
        };
        return steps;
    };

    auto toTarget = [] (const juce::String&, const juce::String& to) { return ! to.contains (".backup."); };

    struct Case
    {
        const char* what;
        bool hadOld;
        Steps steps;
        juce::String sentence;      // appended to the message; "-" when it succeeds
        const char* left;           // what the target holds afterwards: "new", "old", "none"
    };

    const Case cases[] = {
        { "a bundle replaced",             true,  Steps::real(), "-", "new" },
        { "a first install",               false, Steps::real(), "-", "new" },
        { "the old one cannot be renamed", true,  failingRename ([] (auto& from, auto&) { return ! from.contains (".pending."); }),
          " The previous version was kept.", "old" },
        { "the swap fails",                true,  failingRename ([] (auto& from, auto&) { return from.contains (".pending."); }),
          " The previous version was restored.", "old" },
        { "the first swap fails",          false, failingRename ([] (auto& from, auto&) { return from.contains (".pending."); }),
          " The previous version was restored.", "none" },
        { "swap and restore fail",         true,  failingRename ([toTarget] (auto& from, auto& to) { return from.contains (".pending.") || (from.contains (".backup.") && toTarget (from, to)); }),
          " The previous version is at {backup}.", "none" },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TempFolder temp;
        auto source = temp.folder.getChildFile ("unpacked/Verb.vst3");
        auto target = temp.folder.getChildFile ("plugins/VST3/Verb.vst3");
        write (source.getChildFile ("Contents/x86_64-win/Verb.vst3"), "new");

        if (c.hadOld)
            write (target.getChildFile ("Contents/x86_64-win/Verb.vst3"), "old");

        auto result = PluginPlacement::placeFormat (source, target, "Could not install the VST3 format for Verb.", {}, c.steps);

        auto held = target.getChildFile ("Contents/x86_64-win/Verb.vst3");
        EXPECT_EQ (held.existsAsFile() ? held.loadFileAsString() : juce::String ("none"), c.left);

        if (juce::String (c.sentence) == "-")
        {
            EXPECT_TRUE (result.succeeded);
            EXPECT_FALSE (hasStagingNames (target.getParentDirectory()));
            continue;
        }

        EXPECT_FALSE (result.succeeded);
        auto backups = target.getParentDirectory().findChildFiles (juce::File::findDirectories, false, "*.backup.*");
        auto sentence = juce::String (c.sentence).replace ("{backup}", backups.isEmpty() ? juce::String() : backups[0].getFullPathName());
        EXPECT_EQ (result.failure, "Could not install the VST3 format for Verb." + sentence);
        EXPECT_TRUE (target.getParentDirectory().findChildFiles (juce::File::findFilesAndDirectories, false, "*.pending.*").isEmpty());

        // The stranded old version comes back with the next recovery.
        if (! backups.isEmpty())
        {
            EXPECT_EQ (PluginPlacement::recoverInterrupted (target.getParentDirectory()), 1);
            EXPECT_EQ (held.loadFileAsString(), "old");
            EXPECT_FALSE (hasStagingNames (target.getParentDirectory()));
        }
    }
}

TEST (PluginPlacement, MissingSourcesStopsAndContentFailuresLeaveTheOldInPlace)
{
    TempFolder temp;
    auto target = temp.folder.getChildFile ("deep/new/folder/Verb.dll");

    // No file for the format: the bare message, nothing staged, no folders made.
    auto missing = PluginPlacement::placeFormat (temp.folder.getChildFile ("nothing.dll"), target, "Could not install the VST2 format for Verb.");
    EXPECT_EQ (missing.failure, "Could not install the VST2 format for Verb.");
    EXPECT_FALSE (target.getParentDirectory().exists());

    // A stop while staging leaves everything as it was, silently.
    auto source = temp.folder.getChildFile ("Verb.dll");
    write (source, "new");
    write (target, "old");
    auto stopped = PluginPlacement::placeFormat (source, target, "m", [] { return true; });
    EXPECT_TRUE (stopped.stopped);
    EXPECT_EQ (stopped.failure, "");
    EXPECT_EQ (target.loadFileAsString(), "old");
    EXPECT_FALSE (hasStagingNames (target.getParentDirectory()));

    // A preset merge that meets a link keeps what was there.
    auto presets = temp.folder.getChildFile ("Presets/Verb"), unpacked = temp.folder.getChildFile ("unpacked/Verb");
    write (presets.getChildFile ("Mine.preset"), "mine");
    write (unpacked.getChildFile ("Factory.preset"), "factory");
    temp.folder.createSymbolicLink (unpacked.getChildFile ("Outside"), true);
    auto merged = PluginPlacement::transferContent (unpacked, presets, "Could not install the presets for Verb.");
    EXPECT_FALSE (merged.succeeded);
    EXPECT_EQ (merged.failure, "Could not install the presets for Verb. Existing content was preserved. "
                               "Symbolic links in installer content are not supported: " + unpacked.getChildFile ("Outside").getFullPathName());
    EXPECT_EQ (presets.getChildFile ("Mine.preset").loadFileAsString(), "mine");
}
