#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <functional>
#include <map>

namespace testing_support
{
    /** A fresh folder that is deleted with the object. */
    struct TempFolder
    {
        // A unique name, not the next free one: tests run in parallel processes,
        // which would otherwise pick the same folder and delete each other's files.
        TempFolder()
            : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("quillotone-test-" + juce::Uuid().toString()))
        {
            folder.createDirectory();
        }

        ~TempFolder() { folder.deleteRecursively (false); }

        juce::File folder;
    };

    /** Points HOME at a temporary folder for the life of the object, which
        sandboxes the maker folder, the trash and the plugin folders.
    */
    struct ScopedHome
    {
        ScopedHome()
        {
            if (auto* old = std::getenv ("HOME"))
                previous = old;

            ::setenv ("HOME", home.folder.getFullPathName().toRawUTF8(), 1);
            ::unsetenv ("XDG_DATA_HOME");
            documents().createDirectory();
        }

        ~ScopedHome()
        {
            ::setenv ("HOME", previous.toRawUTF8(), 1);
        }

        juce::File documents() const    { return home.folder.getChildFile ("Documents"); }

        TempFolder home;
        juce::String previous;
    };

    /** Runs a program to its end (or the time limit) and returns what it printed. */
    inline juce::String runAndRead (const juce::StringArray& command, int timeoutMs = 600000)
    {
        juce::ChildProcess process;

        if (! process.start (command))
            return {};

        auto output = process.readAllProcessOutput();
        process.waitForProcessToFinish (timeoutMs);
        return output;
    }

    /** Runs the message loop until the condition holds or the time is up. */
    inline bool waitUntil (std::function<bool()> condition, int timeoutMs = 5000)
    {
        auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > end)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
        }

        return true;
    }

    /** A stand-in plugin whose "version" is its text: a file, or a bundle
        folder holding version.txt.
    */
    inline void placeVersionedPlugin (const juce::String& target, const juce::String& version, bool asFolder = false)
    {
        juce::File f (target);
        f.getParentDirectory().createDirectory();

        if (asFolder)
        {
            f.createDirectory();
            f.getChildFile ("version.txt").replaceWithText (version);
        }
        else
        {
            f.replaceWithText (version);
        }
    }
}

namespace testing_support
{
    /** Modes in which a test program starts itself again as a child process,
        by their first argument; test files register theirs at static
        initialisation, and the test main runs one before anything else.
    */
    using ChildMode = std::function<int (const juce::StringArray& args)>;

    inline std::map<juce::String, ChildMode>& childModes()
    {
        static std::map<juce::String, ChildMode> modes;
        return modes;
    }

    struct RegisteredChildMode
    {
        RegisteredChildMode (const juce::String& name, ChildMode mode)   { childModes()[name] = std::move (mode); }
    };
}
