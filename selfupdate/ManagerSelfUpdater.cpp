#include "selfupdate/ManagerSelfUpdater.h"

#include "selfupdate/UpdateTransaction.h"

#include <stdexcept>

ManagerSelfUpdater::ManagerSelfUpdater (juce::Component& ownerToUse, std::function<bool()> isBusyToUse,
                                        SelfUpdateJob::Settings settings)
    : juce::Thread ("Manager self-update"),
      owner (ownerToUse),
      isBusy (std::move (isBusyToUse)),
      job (std::move (settings))
{
    startTimer (firstCallDelayMs);
}

ManagerSelfUpdater::~ManagerSelfUpdater()
{
    stopTimer();

    // Every wait of the job ends on this signal; the long stop wait is only
    // a bound, never the way out.
    signalThreadShouldExit();
    notify();
    stopThread (stopWaitMs);

    if (auto* dialog = progressDialog.getComponent())
        dialog->dismiss();

    if (! handedOver && job.getStagingFolder().isDirectory())
        job.getStagingFolder().deleteRecursively();
}

//==============================================================================
void ManagerSelfUpdater::run()
{
    if (checkMode)
    {
        update = {};
        update = job.check();
        return;
    }

    try
    {
        job.runUpdate (update, progress);
        handedOver = true;
    }
    catch (const std::runtime_error& e)
    {
        errorMessage = e.what();
    }
    catch (const std::exception&)
    {
        // Not one of the job's messages: the user gets the general one.
        errorMessage.clear();
    }

    // Here rather than on the message thread: it may hold a large payload.
    if (! handedOver && job.getStagingFolder().isDirectory())
        job.getStagingFolder().deleteRecursively();
}

bool ManagerSelfUpdater::isOfferOpen() const
{
    return offerDialog != nullptr && offerDialog->isOpen();
}

void ManagerSelfUpdater::timerCallback()
{
    startTimer (tickMs);

    if (! scanned)
    {
        scanned = true;
        scanPreviousTransactions();
    }

    const auto now = juce::Time::currentTimeMillis();

    // No new check while the offer waits for an answer: an accept must find
    // the thread free.
    if (state == idle && now >= nextCheckTimeMs && job.settings.platform.isNotEmpty()
         && ! isThreadRunning() && ! isOfferOpen())
    {
        nextCheckTimeMs = now + checkIntervalMs;
        state = checking;
        checkMode = true;
        startThread();
    }
    else if (state == checking && ! isThreadRunning())
    {
        state = (! update.isEmpty() && update.version != lastOfferedVersion) ? updateAvailable : idle;
    }
    else if (state == updateAvailable)
    {
        const auto dialogUp = VortelDialog::getNumOpen() > 0
                           || juce::ModalComponentManager::getInstance()->getNumModalComponents() > 0;

        if (! isBusy() && ! dialogUp)
        {
            lastOfferedVersion = update.version;
            state = idle;
            showOffer();
        }
    }
    else if (state == updating || state == cancelling)
    {
        followUpdate();
    }
}

void ManagerSelfUpdater::followUpdate()
{
    if (isThreadRunning())
    {
        if (auto* dialog = progressDialog.getComponent(); dialog != nullptr && dialog->isOpen())
            dialog->setMessage (progressText (progress.load()));

        return;
    }

    if (auto* dialog = progressDialog.getComponent(); dialog != nullptr && dialog->isOpen())
        dialog->dismiss();

    progressDialog = nullptr;

    if (handedOver)
    {
        // Until the application has gone.
        if (auto* app = juce::JUCEApplicationBase::getInstance())
            app->systemRequestedQuit();

        return;
    }

    const auto failed = state == updating;
    state = idle;

    if (! failed)
        return;

    VortelDialog::showMessage (&owner, dialogTitle, errorMessage.isNotEmpty() ? errorMessage : juce::String (generalFailure),
                               VortelDialog::alert);
    lastOfferedVersion.clear();
    nextCheckTimeMs = juce::Time::currentTimeMillis() + retryAfterFailureMs;
}

void ManagerSelfUpdater::scanPreviousTransactions()
{
    if (job.settings.executable == juce::File())
        return;

    // "healthy" lets a waiting helper finish; an "error" it left behind is
    // what the user needs to know about the last attempt.
    for (auto& message : UpdateTransaction::scan (job.settings.executable, job.settings.currentVersion).errors)
        VortelDialog::showMessage (&owner, dialogTitle, message.isNotEmpty() ? message : juce::String (generalFailure),
                                   VortelDialog::alert);
}

//==============================================================================
void ManagerSelfUpdater::showOffer()
{
    juce::WeakReference<ManagerSelfUpdater> self (this);

    offerDialog = VortelDialog::showConfirm (&owner, dialogTitle,
                                             "Plugin Manager " + update.version + " is available. Update now?\n\n"
                                             "The manager will download the update, close, and reopen automatically. "
                                             "Your plugins and settings will be kept.",
                                             "Update",
                                             [self] { if (self != nullptr) self->accept(); });
}

void ManagerSelfUpdater::accept()
{
    // Work started since the offer appeared: offer again once it is done.
    if (isBusy() || isThreadRunning())
    {
        state = updateAvailable;
        return;
    }

    errorMessage.clear();
    handedOver = false;
    progress = 0.0;
    state = updating;
    checkMode = false;

    juce::WeakReference<ManagerSelfUpdater> self (this);
    progressDialog = VortelDialog::showDialog (&owner, dialogTitle, "Preparing update...", VortelDialog::progress, "Cancel",
                                               [self] { if (self != nullptr) self->cancel(); });
    startThread();
}

void ManagerSelfUpdater::cancel()
{
    signalThreadShouldExit();
    notify();
    state = cancelling;
}

juce::String ManagerSelfUpdater::progressText (double value)
{
    return "Downloading and verifying update... " + juce::String (juce::roundToInt (value * 100.0))
         + "%\n\nThe manager will reopen automatically when the update is ready.";
}
