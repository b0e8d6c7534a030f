#include <gtest/gtest.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include <csignal>

#include "platform/Platform.h"
#include "products/ClapVersionProbe.h"
#include "support/TestHelpers.h"

int main (int argc, char** argv)
{
    // Products read CLAP versions in a child of the running program, which
    // here is the test program.
    if (const auto exitCode = ClapVersionProbe::runChildMode (platform::commandLineArguments (argc, argv)); exitCode >= 0)
        return exitCode;

    if (const auto args = platform::commandLineArguments (argc, argv); args.size() > 1)
        if (const auto mode = testing_support::childModes().find (args[1]); mode != testing_support::childModes().end())
            return mode->second (args);

    // Without an application object the first native window under Xvfb would
    // die on an X error, so tell the framework there is none.
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };

    // The test servers write to clients that may have hung up on purpose.
    std::signal (SIGPIPE, SIG_IGN);

    ::testing::InitGoogleTest (&argc, argv);

    juce::ScopedJuceInitialiser_GUI framework;
    return RUN_ALL_TESTS();
}
