#pragma once

#include <juce_core/juce_core.h>

/**
    What the manager, its update helper and the next manager leave for each
    other in an update's staging folder: the transaction file and the marker
    files, and the scan of earlier transactions that every manager runs when
    it starts.

    Plain code over a folder: tests call it without a thread or a window.
*/
namespace UpdateTransaction
{
    /** The staging folders beside the executable are named this, then 32 hex digits. */
    constexpr const char* folderPrefix = ".quillotone-manager-update-";

    struct Record
    {
        juce::String target;        ///< the executable the update replaces
        juce::String version;       ///< the version being installed
    };

    /** "transaction.json": the target and the version, through a temporary
        file moved into place.
    */
    bool write (const juce::File& stagingFolder, const Record&);

    /** The folder's transaction; empty members when missing or unreadable. */
    Record read (const juce::File& stagingFolder);

    /** A marker file with its text, through a temporary file moved into place. */
    bool writeMarker (const juce::File& stagingFolder, const juce::String& name, const juce::String& text);

    /** What the scan found for the running manager to show. */
    struct Findings
    {
        juce::StringArray errors;       ///< each left-behind failure, once
        int healthyWritten = 0;
    };

    /** The scan at every start: for each staging folder beside the executable
        whose transaction names this very executable, writes "healthy" when it
        installs this version (that lets its helper finish), and takes any
        "error" the helper left, renaming it "error-shown" so it is shown once.
        Deletes nothing.
    */
    Findings scan (const juce::File& executable, const juce::String& runningVersion);
}
