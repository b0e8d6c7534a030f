#pragma once

// Only the test executables define QUILLOTONE_TEST_SEAMS: the shipping
// manager trusts the system's authorities and nothing else, and has no
// setting, option or variable that could change that.
#if ! QUILLOTONE_TEST_SEAMS
 #error "platform/TestAuthority.h is for the test executables only"
#endif

#include <juce_core/juce_core.h>

namespace platform
{
    /** Makes the libcurl transfers trust this PEM authority instead of the
        system's, for the stand-in's certificates; an empty file goes back to
        the system's. Call before any transfer starts.
    */
    void trustTestAuthority (const juce::File& pemFile);
}
