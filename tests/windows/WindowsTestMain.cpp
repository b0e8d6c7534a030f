#include <gtest/gtest.h>

#include <juce_gui_basics/juce_gui_basics.h>

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include "platform/Platform.h"
#include "products/ClapVersionProbe.h"
#include "products/VersionProbe.h"

namespace
{
    // Heap damage shows, if at all, long after the write that did it (as a
    // crash when the framework frees its caches at exit): every test checks
    // every heap of the process when it ends.
    struct HeapCheck final : public ::testing::EmptyTestEventListener
    {
        void OnTestEnd (const ::testing::TestInfo&) override
        {
            HANDLE heaps[256];
            const auto count = GetProcessHeaps (256, heaps);

            for (DWORD i = 0; i < count && i < 256; ++i)
                if (! HeapValidate (heaps[i], 0, nullptr))
                    ADD_FAILURE() << "heap " << i << " of " << count << " is damaged";
        }
    };

    // Tests that need a second process (its own environment, its own
    // executable path) start this program again in one of these modes.
    int runChildMode (const juce::StringArray& args)
    {
        if (args.size() == 3 && args[1] == "--move-to-trash")
            return platform::moveToTrash (juce::File (args[2])) ? 0 : 1;

        if (args.size() == 4 && args[1] == "--system-file-version")
        {
            // The system's reader faults on some damaged images under Wine:
            // an exit code says so, where a debugger would otherwise start.
            SetErrorMode (SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
            SetUnhandledExceptionFilter ([] (EXCEPTION_POINTERS*) -> LONG { ExitProcess (3); });

            return juce::File (args[3]).replaceWithText (platform::readSystemFileVersion (juce::File (args[2])),
                                                         false, false, nullptr) ? 0 : 1;
        }

        // The end-to-end run under Wine reads a placed plugin's version with
        // the product's own reader through this.
        if (args.size() == 4 && args[1] == "--file-version")
            return juce::File (args[3]).replaceWithText (VersionProbe::readFileVersion (juce::File (args[2])),
                                                         false, false, nullptr) ? 0 : 1;

        if (args.size() == 3 && args[1] == "--write-running-executable")
            return juce::File (args[2]).replaceWithText (platform::runningExecutable().getFullPathName(),
                                                         false, false, nullptr) ? 0 : 1;

        return -1;
    }
}

int main (int argc, char** argv)
{
    // argv is in the ANSI code page; the modes take paths, so read the wide form.
    auto args = platform::commandLineArguments (argc, argv);

    // Products read CLAP versions in a child of the running program, which
    // here is the test program.
    if (const auto exitCode = ClapVersionProbe::runChildMode (args); exitCode >= 0)
        return exitCode;

    if (args.size() > 1 && args[1].startsWith ("--") && ! args[1].startsWith ("--gtest"))
        return runChildMode (args);

    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };

    ::testing::InitGoogleTest (&argc, argv);

    ::testing::UnitTest::GetInstance()->listeners().Append (new HeapCheck());

    juce::ScopedJuceInitialiser_GUI framework;
    return RUN_ALL_TESTS();
}
