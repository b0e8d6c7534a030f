#include "app/PluginManagerApplication.h"
#include "platform/InstanceLock.h"
#include "platform/Platform.h"
#include "products/ClapVersionProbe.h"

JUCE_CREATE_APPLICATION_DEFINE (PluginManagerApplication)

// The manager is also the child that reads CLAP versions: that mode answers
// before the framework, the application object or its single-instance lock
// exist, so a probe never meets the running manager's lock.
extern "C" JUCE_MAIN_FUNCTION
{
    if (const auto exitCode = ClapVersionProbe::runChildMode (platform::commandLineArguments (JUCE_MAIN_FUNCTION_ARGS));
        exitCode >= 0)
        return exitCode;

    // One manager per user: a second start of the same user ends here,
    // without a window. Without a private folder there is no lock to take,
    // and the manager runs rather than refusing every start.
    const InstanceLock instanceLock;

    if (instanceLock.getState() == InstanceLock::State::heldElsewhere)
        return 0;

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (JUCE_MAIN_FUNCTION_ARGS);
}
