#include "windows/WindowsTestSupport.h"

namespace windows_testing
{

// The tests that Wine cannot run faithfully, and why. Everything else runs
// under Wine as it would on Windows. Keep this short: a test goes here only
// when Wine lacks the behaviour itself, not when a test is inconvenient.
//
// Wine 8.0 also reports success from CreateSymbolicLinkW without making a
// link; the link tests do not need an entry because they fall back to links
// the build makes on the host, which Wine shows as reparse points.
// Tests of named pipes (Wine's differ in how they report a closed end) belong
// here too when they are written.
juce::String whyWineCannotRun (const juce::String& testName)
{
    static const std::map<juce::String, juce::String> list
    {
        { "WindowsLinks.JunctionsAreLinksToTheirTarget",
          "Wine 8.0 cannot make junctions: FSCTL_SET_REPARSE_POINT answers ERROR_NOT_SUPPORTED" },

        { "WindowsExecutable.UnelevatedStartOfTheAppIsRefused",
          "Wine has no elevation: it starts a requireAdministrator program without ERROR_ELEVATION_REQUIRED" },
    };

    auto found = list.find (testName);
    return found != list.end() ? found->second : juce::String();
}

} // namespace windows_testing
