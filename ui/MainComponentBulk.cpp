// The bulk half of MainComponent: Install All, Update All and Uninstall All,
// and the busy checks that keep them apart from the sync and the rows.
#include "ui/MainComponent.h"

#include "products/Product.h"
#include "ui/VortelDialog.h"

//==============================================================================
bool MainComponent::isAnyProductBusy() const
{
    for (auto* list : { &products, &demos })
        for (auto* product : *list)
            if (product->installBusy || product->uninstallBusy)
                return true;

    return false;
}

bool MainComponent::isBusy() const
{
    return isThreadRunning() || preparingRows || isAnyProductBusy() || isBulkActionRunning() || loginWindow.isLoginRunning();
}

bool MainComponent::isBulkActionRunning() const
{
    for (size_t i = 0; i < bulkWorkers.size(); ++i)
        if (bulkWorkers[i]->isThreadRunning() || isTimerRunning (bulkTimers[i]))
            return true;

    return false;
}

void MainComponent::setBulkButtonsEnabled (bool enabled)
{
    bulkButtons[0].setEnabled (enabled);
    bulkButtons[2].setEnabled (enabled);
    syncButton.setEnabled (enabled);

    auto anyUpdate = false;

    for (auto* product : products)
        anyUpdate = anyUpdate || product->updateAvailable;

    bulkButtons[1].setEnabled (enabled && anyUpdate);
}

//==============================================================================
void MainComponent::bulkButtonClicked (int index)
{
    static const char* const questions[] = { "Are you sure you want to install all plugins?",
                                             "Are you sure you want to update all plugins?",
                                             "Are you sure you want to uninstall all plugins?" };
    static const char* const noFormat[] = { "Select at least one plugin format in Settings before installing.",
                                            "Select at least one plugin format in Settings before updating." };

    // Its timer runs while the action does, and the button says STOP.
    if (isTimerRunning (bulkTimers[index]))
    {
        stopBulkAction (index);
        return;
    }

    if (index < 2 && ! mayInstallNow())
        return;

    if (index < 2)
    {
        auto anyFormat = false;

        for (auto format : PluginFormat::installable)
            anyFormat = anyFormat || settingsPage.isFormatEnabled (format);

        if (! anyFormat)
        {
            VortelDialog::showMessage (this, "No plugin formats selected", noFormat[index], VortelDialog::alert);
            return;
        }
    }

    VortelDialog::showConfirm (this, bulkNames[index], questions[index], bulkNames[index], [this, index] { startBulkAction (index); });
}

void MainComponent::startBulkAction (int index)
{
    // The confirmation waited for the user: a sync or another action may have
    // started since.
    if (isSyncRunning() || isBulkActionRunning())
        return;

    auto& worker = *bulkWorkers[(size_t) index];
    bulkButtons[(size_t) index].setButtonText ("STOP");

    if (! worker.isThreadRunning())
        worker.startThread (juce::Thread::Priority::normal);

    for (auto& b : bulkButtons)
        b.setEnabled (false);

    syncButton.setEnabled (false);
    bulkButtons[(size_t) index].setEnabled (true);
    emptyListLabel.setVisible (false);
    animationPhase = 0;
    startTimer (bulkTimers[index], 250);
}

void MainComponent::stopBulkAction (int index)
{
    auto& worker = *bulkWorkers[(size_t) index];

    // Its waits end at once on the request, so this returns quickly.
    worker.stopThread (7000);

    // Install All and Update All cancel the product they started; an
    // uninstall runs to its end.
    if (worker.kind != MainThread::Kind::uninstallAll)
        if (auto* product = worker.lastStarted(); product != nullptr && products.contains (product) && product->installBusy)
            product->stopInstall();
}

void MainComponent::bulkStoppedBySettings (const juce::String& title, const juce::String& message)
{
    VortelDialog::showMessage (this, title, message, VortelDialog::alert);
}

void MainComponent::monitorBulkAction (int index)
{
    if (const auto target = bulkScrollTarget.load(); target > 0)
        purchasesList.setViewPosition (0, target);

    if (bulkWorkers[(size_t) index]->isThreadRunning())
    {
        animationPhase = (animationPhase + 1) % 6;
        repaint();
        return;
    }

    stopTimer (bulkTimers[index]);
    animationPhase = -1;
    bulkButtons[(size_t) index].setButtonText (bulkNames[index]);
    setBulkButtonsEnabled (true);
    bulkScrollTarget = -1;
    refreshList();
}
