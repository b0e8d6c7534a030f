#pragma once

#include <juce_core/juce_core.h>

/**
    The manager's version, from the CMake project: what the application
    reports, the footer shows and the self-update compares.

    It is one linked function rather than a compiled-in text everywhere, so
    the end-to-end tests of the self-update can link a "next version" of the
    manager from the same compiled code instead of building it all again.
*/
namespace ManagerVersion
{
    juce::String text();
}
