#include "app/ManagerVersion.h"

// A program that links its own definition replaces this one (ELF builds
// only; the test programs that do so are Linux ones).
#if JUCE_WINDOWS
extern "C" const char* quillotoneManagerVersionText()
#else
extern "C" __attribute__ ((weak)) const char* quillotoneManagerVersionText()
#endif
{
    return JUCE_APPLICATION_VERSION_STRING;
}

namespace ManagerVersion
{

juce::String text()
{
    return quillotoneManagerVersionText();
}

} // namespace ManagerVersion
