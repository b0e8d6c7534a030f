#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <functional>

namespace testing_support
{
    /** A fresh folder that is deleted with the object. */
    struct TempFolder
    {
        // A random name: tests run in parallel processes, and a name merely
        // free when looked at could be taken by two of them at once.
        TempFolder()
            : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("quillotone-test-" + juce::Uuid().toDashedString()))
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
}
