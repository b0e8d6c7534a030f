#pragma once

#include <juce_core/juce_core.h>

#include <functional>

class Downloader;

/**
    The first half of an install: the product's installer archive, downloaded
    into the manager's private "Installers" folder under the name its link
    gives, resuming a download that broke off earlier.

    Plain code on the calling worker; the row's download worker and the
    command line run it. It never shows anything: a failure comes back as the
    message for the "Download error" dialog, a stop as no message at all.
*/
namespace InstallerDownload
{
    struct Plan
    {
        juce::String name;              ///< the product's name, for the messages
        juce::String link;              ///< the catalogue's Windows download address
        juce::File installerCache;      ///< "Installers" in the private folder; empty when unusable
        juce::String cacheProblem;      ///< why installerCache is empty, in words for the user
    };

    struct Hooks
    {
        /** Polled while the transfer runs; a stop cancels it and keeps the
            partial file unless discardOnStop is set.
        */
        std::function<bool()> shouldStop;

        /** The fraction of the archive downloaded so far, 0 to 1. */
        std::function<void (double)> setProgress;

        bool discardOnStop = false;

        /** How long one wait for the transfer may take before the stop is asked again. */
        int pollIntervalMs = 900;
    };

    struct Result
    {
        bool succeeded = false;
        juce::String errorMessage;      ///< empty when it succeeded or was stopped
        juce::File installerFile;       ///< where the archive is (or was going)
    };

    /** Runs the download through the given downloader, which the caller owns
        so that it can cancel it from another thread and read its counts.
    */
    Result run (Downloader&, const Plan&, const Hooks&);
}
