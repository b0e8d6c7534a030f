// The catalogue half of MainComponent: the sync, taking its results over as
// rows, and laying the lists out.
#include "ui/MainComponent.h"

#include "account/KeptCatalogue.h"
#include "products/Product.h"
#include "ui/ListOrder.h"
#include "ui/VortelDialog.h"

//==============================================================================
void MainComponent::startSync()
{
    if (isThreadRunning())
        return;

    // A sync replaces the rows that a bulk worker walks, also between two
    // of its products.
    if (isAnyProductBusy() || isBulkActionRunning())
    {
        setBulkButtonsEnabled (true);
        VortelDialog::showMessage (this, "Sync", "Please wait for the current product operation to finish.", VortelDialog::alert);
        return;
    }

    prepareForNewRows();
    startTimer (syncTimer, 200);
    startThread (juce::Thread::Priority::normal);
    repaint();
}

void MainComponent::prepareForNewRows()
{
    for (auto& b : bulkButtons)
        b.setEnabled (false);

    syncButton.setEnabled (false);
    searchField.setEnabled (false);
    sortBox.setEnabled (false);

    purchasesContent.removeAllChildren();
    demoContent.removeAllChildren();
    purchasesContent.setSize (purchasesList.getWidth() - 18, 0);
    demoContent.setSize (demoList.getWidth() - 18, 0);
    purchasesList.setViewPosition (0, 0);
    demoList.setViewPosition (0, 0);
    emptyListLabel.setVisible (false);

    lastSyncError.clear();
    pendingDocument.reset();
    pendingProducts.clear();
    pendingDemos.clear();
    stagedPurchases.removeAllChildren();
    stagedDemos.removeAllChildren();
    stagedProductRows.clear();
    stagedDemoRows.clear();
    nextPendingProduct = nextPendingDemo = 0;
    takeOverStarted = false;
    catalogueSync.syncDone = 0;
    catalogueSync.syncTotal = 0;
    animationPhase = 0;
}

void MainComponent::run()
{
    auto result = catalogueSync.run (accountEmail, sessionPassword, [this] { return threadShouldExit(); });

    // Read by the message thread only after this thread has ended.
    lastSyncError = result.error;
    serverReached = result.serverReached;
    keptCatalogueFound = false;

    const auto kept = KeptCatalogue::inPrivateFolder();

    if (result.document != nullptr)
    {
        pendingDocument = std::move (result.document);
        pendingProducts = std::move (result.products);
        pendingDemos = std::move (result.demos);
        kept.keep (accountEmail, pendingProducts, pendingDemos, juce::Time::getCurrentTime());
    }
    else if (result.serverUnreachable)
    {
        keptCatalogueFound = kept.read (accountEmail, {}).has_value();
    }
}

bool MainComponent::takeOverSyncResults()
{
    if (! takeOverStarted)
    {
        takeOverStarted = true;
        connectionShown = serverReached;

        if (pendingDocument == nullptr)
            return true;

        stagedProductRows.clear();
        stagedDemoRows.clear();
        catalogueSync.syncDone = 0;
        catalogueSync.syncTotal = pendingProducts.size() + pendingDemos.size();
        preparingRows = true;
    }

    if (pendingDocument == nullptr)
        return true;

    if (nextPendingProduct < pendingProducts.size())
    {
        auto* row = stagedProductRows.add (createRow (pendingProducts.getReference (nextPendingProduct++)));
        stagedPurchases.addAndMakeVisible (row);
        row->setSize (purchasesList.getWidth() - 18, rowHeight);
        ++catalogueSync.syncDone;
        return false;
    }

    if (nextPendingDemo < pendingDemos.size())
    {
        auto* row = stagedDemoRows.add (createRow (pendingDemos.getReference (nextPendingDemo++)));
        stagedDemos.addAndMakeVisible (row);
        row->setSize (demoList.getWidth() - 18, rowHeight);
        ++catalogueSync.syncDone;
        return false;
    }

    purchasesContent.removeAllChildren();
    demoContent.removeAllChildren();
    stagedPurchases.removeAllChildren();
    stagedDemos.removeAllChildren();

    // A row whose worker still runs is never deleted under it; it goes once idle.
    for (auto* rows : { &products, &demos })
        for (int i = rows->size(); --i >= 0;)
            if ((*rows)[i]->isAnyOperationRunning())
                retiredRows.add (rows->removeAndReturn (i));

    products.swapWith (stagedProductRows);
    demos.swapWith (stagedDemoRows);
    stagedProductRows.clear();
    stagedDemoRows.clear();

    catalogueDocument = std::move (pendingDocument);
    pendingProducts.clear();
    pendingDemos.clear();
    preparingRows = false;
    return true;
}

void MainComponent::timerCallback (int timerID)
{
    for (int i = 0; i < 3; ++i)
        if (timerID == bulkTimers[i])
            return monitorBulkAction (i);

    if (timerID == reconnectTimer)
        return monitorReconnect();

    if (timerID != syncTimer)
        return;

    if (isThreadRunning())
    {
        animationPhase = (animationPhase + 1) % 4;
        repaint();
        return;
    }

    if (takeOverSyncResults())
    {
        stopTimer (syncTimer);
        animationPhase = -1;
        repaint();
        refreshList();
        setBulkButtonsEnabled (true);
        searchField.setEnabled (true);
        sortBox.setEnabled (true);

        if (lastSyncError.isNotEmpty())
        {
            auto message = lastSyncError;
            lastSyncError.clear();
            showSyncFailure (message);
        }

        return;
    }

    animationPhase = (animationPhase + 1) % 4;
    repaint();
    startTimer (syncTimer, 16);
}

void MainComponent::refreshList()
{
    // During a sync the rows stay detached: they are about to be replaced, and
    // nothing may be started on them.
    if (isSyncRunning())
    {
        emptyListLabel.setVisible (false);
        return;
    }

    for (int i = retiredRows.size(); --i >= 0;)
        if (! retiredRows[i]->isAnyOperationRunning())
            retiredRows.remove (i);

    const auto searchText = searchField.getText();
    const auto sortId = sortBox.getSelectedId() != 0 ? sortBox.getSelectedId() : (int) ListOrder::nameAscending;

    // Rows stay children of their list; the ones the search leaves out are
    // only hidden, so a keystroke moves rows instead of rebuilding the list.
    auto place = [&] (juce::OwnedArray<Product>& rows, juce::Component& content, juce::Viewport& view)
    {
        std::vector<ListOrder::Entry> entries;
        entries.reserve ((size_t) rows.size());

        for (auto* row : rows)
            entries.push_back ({ row->name, row->updateAvailable, row->anyFormatInstalled() });

        const auto shown = ListOrder::arrange (entries, searchText, sortId);
        const auto rowWidth = view.getWidth() - 18;

        for (auto* row : rows)
        {
            if (row->getParentComponent() != &content)
                content.addChildComponent (row);

            row->setVisible (false);
        }

        for (size_t i = 0; i < shown.size(); ++i)
        {
            auto* row = rows[shown[i]];
            row->setBounds (0, rowHeight * (int) i, rowWidth, rowHeight);
            row->setVisible (true);
        }

        content.setSize (rowWidth, rowHeight * (int) shown.size());
        return shown.size();
    };

    const auto purchasesShown = place (products, purchasesContent, purchasesList);
    const auto demosShown = place (demos, demoContent, demoList);

    const auto onList = currentPage == Page::purchases || currentPage == Page::demo;
    const auto nothingShown = (currentPage == Page::demo ? demosShown : purchasesShown) == 0;

    emptyListLabel.setText (ListOrder::emptyText (searchText), juce::dontSendNotification);
    emptyListLabel.setVisible (onList && nothingShown && animationPhase == -1 && ! isBulkActionRunning());
    repaint();
}

//==============================================================================
std::unique_ptr<Product> MainComponent::createRow (const ProductRecord& record)
{
    auto row = std::make_unique<Product> (record);
    auto& accessors = row->settings;

    // The page outlives every row, and each call reads what is shown now.
    for (int i = 0; i < PluginFormat::count; ++i)
    {
        const auto format = (PluginFormat::Format) i;
        accessors.installFlag[format] = [this, format] { return settingsPage.isFormatEnabled (format); };
        accessors.folder[format]      = [this, format] { return settingsPage.getFormatPath (format); };
    }

    accessors.sampleFolder = [this] { return settingsPage.getSamplesPath(); };
    row->mayStartInstall = [this] { return mayInstallNow(); };

    // Update All follows the rows, also when one changes on its own.
    row->onStatusChanged = [this]
    {
        if (! isSyncRunning() && ! isBulkActionRunning())
            setBulkButtonsEnabled (true);
    };
    row->refreshStatus();
    return row;
}
