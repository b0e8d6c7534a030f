// The offline half of MainComponent: the rows of the account's kept catalogue
// while the maker's servers cannot be reached, and the way back online.
#include "ui/MainComponent.h"

#include "account/KeptCatalogue.h"
#include "products/Product.h"
#include "ui/VortelDialog.h"

//==============================================================================
void MainComponent::workOffline (const juce::String& email)
{
    // The rows are replaced as a sync replaces them, never under a running operation.
    if (isSyncRunning() || isAnyProductBusy() || isBulkActionRunning())
        return;

    // A small file on the local disk, as the rows' own status reads are.
    auto kept = KeptCatalogue::inPrivateFolder().read (email, makerFolders.cacheFolder ("/Thumbnails"));

    if (! kept)
    {
        VortelDialog::showMessage (this, "Work Offline", "The catalogue of the last sync could not be read.", VortelDialog::alert);

        if (! offline && accountEmail.isEmpty())
            loginWindow.showAgain (email);

        return;
    }

    // Offline there is no session: Sync logs in before it syncs.
    loginWindow.setVisible (false);
    accountEmail = kept->email;
    sessionPassword.clear();
    sessionResult.clear();
    offline = true;
    keptSyncTime = kept->synced;

    prepareForNewRows();
    pendingDocument = std::make_unique<juce::XmlElement> ("KEPT_CATALOGUE");
    pendingProducts = std::move (kept->products);
    pendingDemos = std::move (kept->demos);
    serverReached = false;

    // No thread runs, so the timer goes straight to building the rows.
    startTimer (syncTimer, 16);
    repaint();
}

bool MainComponent::mayInstallNow()
{
    if (! offline)
        return true;

    VortelDialog::showMessage (this, "Offline",
                               "Installing and updating need the Quillotone servers, which could not be reached. "
                               "Press Sync to try again.",
                               VortelDialog::alert);
    return false;
}

void MainComponent::syncOffline()
{
    // A successful login ends the offline rows and syncs, as after any login.
    if (loginWindow.retryRememberedLogin())
    {
        startTimer (reconnectTimer, 200);
        repaint();
        return;
    }

    setBulkButtonsEnabled (true);
    loginWindow.showAgain (accountEmail);
}

void MainComponent::monitorReconnect()
{
    if (loginWindow.isBusy())
    {
        repaint();
        return;
    }

    stopTimer (reconnectTimer);

    // Still offline: the login failed, and said so.
    if (offline)
        setBulkButtonsEnabled (true);

    repaint();
}

void MainComponent::showSyncFailure (const juce::String& message)
{
    if (keptCatalogueFound)
        VortelDialog::showChoice (this, "Sync", message, VortelDialog::alert, "Work Offline", "OK",
                                  [this] { workOffline (accountEmail); });
    else
        VortelDialog::showMessage (this, "Sync", message, VortelDialog::alert);
}

juce::String MainComponent::offlineStatus (juce::Time lastSync)
{
    return "Offline (last sync " + lastSync.formatted ("%d %b %Y %H:%M") + ")";
}
