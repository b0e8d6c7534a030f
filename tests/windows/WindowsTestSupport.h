#pragma once

#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

/**
    Helpers for the tests of the Windows-only code. The same program runs on
    Windows and under Wine; where Wine differs, these helpers say so.
*/
namespace windows_testing
{
    /** True when the program runs under Wine rather than Windows. */
    bool runningUnderWine();

    /** Why Wine cannot run the named test ("Suite.Name") faithfully, or an
        empty string. The list lives in WineSkipList.cpp.
    */
    juce::String whyWineCannotRun (const juce::String& testName);

    /** A file the build made on the host, given by its Unix path. Under Wine
        this is the drive path Wine shows it under; on Windows the path as given.
    */
    juce::File buildFile (const juce::String& hostPath);

    /** The host's path of a file, under Wine; an empty string on Windows. */
    juce::String hostPathOf (const juce::File& file);

    /** The test program itself, started with arguments; returns its exit code,
        or -1 when it did not start or ran longer than the time limit.
        N.B. the child inherits this process's environment.
    */
    int runChildOfThisProgram (const juce::StringArray& arguments, int timeoutMs = 60000);

    //==============================================================================
    /** The plain stand-in that scripts/test-windows starts, at the origin the build baked in. */
    juce::String standInOrigin();

    /** True when that stand-in answers with the identity the script gave it. */
    bool standInAnswers();

    /** Sets (or, with "null", clears) the fault of one path of the stand-in. */
    void setStandInFault (const juce::String& path, const juce::String& json);

    /** The requests the stand-in has seen so far, as it logs them. */
    juce::var standInLog();

    //==============================================================================
    /** Base of the Windows suites: under Wine, skips the tests on the skip list. */
    class WineAwareTest : public ::testing::Test
    {
    protected:
        void SetUp() override;
    };

    //==============================================================================
    /** A fresh folder under the user's temp folder, deleted with the object. */
    struct TempFolder
    {
        TempFolder()    { folder.createDirectory(); }
        ~TempFolder()   { folder.deleteRecursively (false); }

        // Unique, since the tests run in parallel processes.
        juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getChildFile ("quillotone-test-" + juce::Uuid().toString());
    };
}
