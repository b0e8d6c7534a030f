#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "selfupdate/SelfUpdateJob.h"
#include "ui/VortelDialog.h"

#include <atomic>
#include <functional>

/**
    Keeps the manager current: checks the update manifest on a schedule,
    offers a newer version when the manager is idle, and runs an accepted
    update with a progress dialog that can cancel it.

    The main component creates it last and deletes it first. The network
    and file work runs on this object's thread, "Manager self-update", one
    job at a time (a check or an update); everything the user sees is driven
    from a 250 ms timer on the message thread, which reads what the thread
    left only once it has ended (the progress value excepted).
*/
class ManagerSelfUpdater final : private juce::Thread,
                                 private juce::Timer
{
public:
    enum State
    {
        idle = 0,
        checking = 1,           ///< the thread runs a check
        updateAvailable = 2,    ///< a version not offered yet waits for an idle manager
        updating = 3,           ///< the user accepted; the thread runs the update
        cancelling = 4          ///< the user cancelled the running update
    };

    static constexpr int firstCallDelayMs = 3000;
    static constexpr int tickMs = 250;
    static constexpr juce::int64 checkIntervalMs = 6 * 3600 * 1000;
    static constexpr juce::int64 retryAfterFailureMs = 3600 * 1000;
    static constexpr int stopWaitMs = 20000;

    static constexpr const char* dialogTitle = "Plugin Manager Update";
    static constexpr const char* generalFailure = "The update could not be completed. Please try again later.";

    /** Starts the timer; the first check begins on its first call.
        isBusy says whether the owner has background work going on; it is
        called on the message thread only.
    */
    ManagerSelfUpdater (juce::Component& owner, std::function<bool()> isBusy,
                        SelfUpdateJob::Settings settings = SelfUpdateJob::Settings::forThisBuild());

    /** Stops the timer and the thread (which ends at once on the signal),
        closes the progress dialog and deletes the staging folder of an
        update that was not handed over.
    */
    ~ManagerSelfUpdater() override;

    //==============================================================================
    /** The state machine; the timer calls it (message thread). */
    void timerCallback() override;

    /** The offer of the found version (message thread). */
    void showOffer();

    /** The offer's "Update": starts the update unless the manager has become busy. */
    void accept();

    /** The progress dialog's "Cancel": the job stops at its next check. */
    void cancel();

    /** The start-up scan of earlier update attempts (first timer call). */
    void scanPreviousTransactions();

    /** "Downloading and verifying update... N%" and the reopen notice. */
    static juce::String progressText (double progress);

    //==============================================================================
    int getState() const noexcept                           { return state; }
    const UpdateInfo& getFoundUpdate() const noexcept       { return update; }
    const juce::String& getLastOfferedVersion() const noexcept { return lastOfferedVersion; }
    juce::int64 getNextCheckTimeMs() const noexcept         { return nextCheckTimeMs; }

    /** Moves the next check (wall clock, ms since 1970); tests bring it forward. */
    void setNextCheckTimeMs (juce::int64 timeMs) noexcept   { nextCheckTimeMs = timeMs; }
    VortelDialog* getProgressDialog() const noexcept        { return progressDialog.getComponent(); }
    bool isWorking() const                                  { return isThreadRunning(); }
    // The thread's end hands the flag over, so that is looked at first.
    bool hasHandedOver() const noexcept                     { return ! isThreadRunning() && handedOver; }
    const SelfUpdateJob& getJob() const noexcept            { return job; }

    using juce::Timer::getTimerInterval;

private:
    void run() override;
    void followUpdate();
    bool isOfferOpen() const;

    juce::Component& owner;
    const std::function<bool()> isBusy;
    SelfUpdateJob job;

    int state = idle;
    juce::String lastOfferedVersion;
    juce::int64 nextCheckTimeMs = 0;      // wall clock, ms since 1970
    bool checkMode = true;                // what the next thread run does
    bool scanned = false;

    // Written by the thread; read by the timer after the thread has ended.
    UpdateInfo update;
    juce::String errorMessage;
    bool handedOver = false;

    // Written by the thread while it downloads, read by the timer.
    std::atomic<double> progress { 0.0 };

    juce::Component::SafePointer<VortelDialog> progressDialog, offerDialog;

    JUCE_DECLARE_WEAK_REFERENCEABLE (ManagerSelfUpdater)
    JUCE_DECLARE_NON_COPYABLE (ManagerSelfUpdater)
};
