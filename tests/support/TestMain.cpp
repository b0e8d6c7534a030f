#include <gtest/gtest.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include <csignal>

int main (int argc, char** argv)
{
    // Without an application object the first native window under Xvfb would
    // die on an X error, so tell the framework there is none.
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };

    // The test servers write to clients that may have hung up on purpose.
    std::signal (SIGPIPE, SIG_IGN);

    ::testing::InitGoogleTest (&argc, argv);

    juce::ScopedJuceInitialiser_GUI framework;
    return RUN_ALL_TESTS();
}
