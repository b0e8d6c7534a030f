#include "ui/MainComponent.h"

#include "app/ManagerVersion.h"

#include "account/KeptCatalogue.h"
#include "account/ServiceTexts.h"
#include "products/PluginPlacement.h"
#include "products/Product.h"
#include "products/ProductStatus.h"
#include "selfupdate/ManagerSelfUpdater.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/KeyboardNavigation.h"
#include "ui/Palette.h"
#include "ui/VortelDialog.h"

#include <BinaryData.h>

//==============================================================================
// The framework resolves every default font through the default look and feel,
// whichever component draws it; ours maps them to Open Sans.
MainComponent::DefaultLookAndFeel::DefaultLookAndFeel()
{
    QuillotoneVortel::applyManagerPalette (lookAndFeel);
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    juce::Typeface::clearTypefaceCache();
}

MainComponent::DefaultLookAndFeel::~DefaultLookAndFeel()
{
    // Normally already done by ~MainComponent, while its children still exist.
    if (&juce::LookAndFeel::getDefaultLookAndFeel() == &lookAndFeel)
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

//==============================================================================
int MainComponent::buildNumber (int dayOfYear, int hour, int minute)
{
    return ((dayOfYear + 2 * hour) * 30 + minute) % 10000;
}

int MainComponent::buildNumberFrom (const char* date, const char* time)
{
    // __DATE__ is "Mmm dd yyyy", __TIME__ is "hh:mm:ss".
    static const char* const months[] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    juce::String dateText (date), timeText (time);

    int month = 0;
    for (int i = 0; i < 12; ++i)
        if (dateText.startsWith (months[i]))
            month = i;

    auto day = dateText.substring (4, 6).trim().getIntValue();
    auto year = dateText.substring (7).trim().getIntValue();
    auto dayOfYear = juce::Time (year, month, day, 0, 0).getDayOfYear();

    return buildNumber (dayOfYear, timeText.substring (0, 2).getIntValue(), timeText.substring (3, 5).getIntValue());
}

//==============================================================================
MainComponent::MainComponent()
    : juce::Thread ("QuillotonePluginManager")
{
    setSize (width, height);

    logo.setImage (juce::ImageFileFormat::loadFrom (BinaryData::quillotone_png, (size_t) BinaryData::quillotone_pngSize),
                   juce::RectanglePlacement::centred);

    const char* menuTexts[] = { "Purchases", "Demo", "Settings", "Support", "Log Out" };
    std::pair<const char*, int> menuIcons[] = {
        { BinaryData::plugin_svg, BinaryData::plugin_svgSize }, { BinaryData::demo_svg, BinaryData::demo_svgSize },
        { BinaryData::settings_svg, BinaryData::settings_svgSize }, { BinaryData::support_svg, BinaryData::support_svgSize },
        { BinaryData::logout_svg, BinaryData::logout_svgSize } };
    const juce::Point<int> iconOffsets[] = { { 1, 0 }, { 0, 0 }, { 0, 1 }, { 0, 1 }, { -1, 0 } };

    for (size_t i = 0; i < menuLabels.size(); ++i)
    {
        auto& label = menuLabels[i];
        label.setText (menuTexts[i]);
        label.setFontSize (18);
        label.setIcon (Icons::fromResource (menuIcons[i].first, menuIcons[i].second));
        label.setIconOffset (iconOffsets[i].x, iconOffsets[i].y);
        label.onClick = [this, i] { menuClicked ((int) i); };
    }

    menuLabels[0].setColor (Palette::menuHighlight);

    for (auto* list : { &purchasesList, &demoList })
        list->setScrollBarsShown (true, false);

    purchasesList.setViewedComponent (&purchasesContent, false);
    demoList.setViewedComponent (&demoContent, false);

    for (auto* frame : { &searchFrame, &sortFrame })
    {
        frame->setCornerSize (6);
        frame->setColours (Palette::fieldFrameOutline, Palette::fieldFrameEdge, Palette::fieldFrameFill);
        frame->setInterceptsMouseClicks (false, false);
    }

    searchField.setFont (juce::Font (14.0f));
    searchField.setColour (juce::TextEditor::textColourId, Palette::text);
    searchField.setColour (juce::TextEditor::backgroundColourId, juce::Colours::transparentBlack);
    searchField.setTextToShowWhenEmpty ("Search plugins...", Palette::mutedText);
    searchField.addListener (this);

    emptyListLabel.setFont (juce::Font (18.0f));
    emptyListLabel.setColour (juce::Label::textColourId, Palette::mutedText);
    emptyListLabel.setJustificationType (juce::Justification::centred);

    std::pair<const char*, int> bulkIcons[] = { { BinaryData::install_svg, BinaryData::install_svgSize },
                                                { BinaryData::update_svg, BinaryData::update_svgSize },
                                                { BinaryData::delete_svg, BinaryData::delete_svgSize } };

    const MainThread::Kind bulkKinds[] = { MainThread::Kind::installAll, MainThread::Kind::updateAll, MainThread::Kind::uninstallAll };

    for (size_t i = 0; i < bulkButtons.size(); ++i)
    {
        bulkButtons[i].setButtonText (bulkNames[i]);
        bulkButtons[i].setFontSize (13.0f);
        bulkButtons[i].setIcon (Icons::fromResource (bulkIcons[i].first, bulkIcons[i].second));
        bulkButtons[i].onClick = [this, i] { bulkButtonClicked ((int) i); };
        bulkWorkers[i] = std::make_unique<MainThread> (static_cast<MainThread::Owner&> (*this), bulkKinds[i]);
    }

    // Both start again from the top of the lists.
    auto listChanged = [this]
    {
        purchasesList.setViewPosition (0, 0);
        demoList.setViewPosition (0, 0);
        refreshList();
    };

    searchField.onTextChange = listChanged;
    sortBox.onChange = listChanged;

    syncButton.setButtonText ("Sync");
    syncButton.setFontSize (14.0f);
    syncButton.setIcon (Icons::fromResource (BinaryData::sync_svg, BinaryData::sync_svgSize));
    syncButton.onClick = [this]
    {
        for (auto& b : bulkButtons)
            b.setEnabled (false);

        syncButton.setEnabled (false);

        if (offline)
            syncOffline();
        else
            startSync();
    };

    supportTitle.setText ("SUPPORT", juce::dontSendNotification);
    supportTitle.setFont (juce::Font (42.0f, juce::Font::bold));
    supportTitle.setJustificationType (juce::Justification::centred);

    const char* supportTexts[] = { "Create Support Ticket", "Check F.A.Q.", "Browse Manuals (PDF)" };
    std::pair<const char*, int> supportIcons[] = { { BinaryData::ticket_svg, BinaryData::ticket_svgSize },
                                                   { BinaryData::faq_svg, BinaryData::faq_svgSize },
                                                   { BinaryData::pdf_svg, BinaryData::pdf_svgSize } };

    for (size_t i = 0; i < supportButtons.size(); ++i)
    {
        supportButtons[i].setButtonText (supportTexts[i]);
        supportButtons[i].setFontSize (16.0f);
        supportButtons[i].setIcon (Icons::fromResource (supportIcons[i].first, supportIcons[i].second));
    }

    // The ticket page takes the address as it is, unescaped.
    supportButtons[0].onClick = [this] { juce::URL (ServiceTexts::websitePage ("/contact/?your-email=") + accountEmail).launchInDefaultBrowser(); };
    supportButtons[1].onClick = [] { juce::URL (ServiceTexts::websitePage ("/faq/")).launchInDefaultBrowser(); };
    supportButtons[2].onClick = [] { juce::URL (ServiceTexts::websitePage ("/docs/")).launchInDefaultBrowser(); };

    settingsPage.onPathsChanged = [this] { pathsChanged = true; };

    stagedPurchases.setVisible (false);
    stagedDemos.setVisible (false);

    layoutPass();
    recoverInterruptedPlacements();

    setLookAndFeel (&lookAndFeel);
    setUpKeyboardAccess();

    selfUpdater = std::make_unique<ManagerSelfUpdater> (*this, [this] { return isBusy(); });
}

MainComponent::~MainComponent()
{
    selfUpdater.reset();
    keyboardNavigation.reset();

    loginWindow.onLoginSucceeded = nullptr;
    loginWindow.onWorkOffline = nullptr;
    loginWindow.stopLogin (10000);

    // Changing the default tells every window to re-read its look and feel;
    // done later, it would reach this component with its children gone.
    setLookAndFeel (nullptr);
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);

    if (isThreadRunning())
        stopThread (4000);

    // Each ends at once on a stop; the product it waits on is stopped with
    // the rows below.
    for (auto& worker : bulkWorkers)
        if (worker->isThreadRunning())
            worker->stopThread (10000);

    stopTimer (syncTimer);
    stopTimer (reconnectTimer);

    for (auto timer : bulkTimers)
        stopTimer (timer);

    // Rows go before the folders and settings their workers read.
    purchasesContent.removeAllChildren();
    demoContent.removeAllChildren();
    stagedPurchases.removeAllChildren();
    stagedDemos.removeAllChildren();
    stagedProductRows.clear();
    stagedDemoRows.clear();
    products.clear();
    demos.clear();
    retiredRows.clear();
}

void MainComponent::recoverInterruptedPlacements()
{
    // A plugin that a crash left under its backup name goes back in place
    // before anything reads the folders.
    for (auto format : PluginFormat::installable)
    {
        const auto folder = settingsPage.getFormatPath (format);

        if (! ProductStatus::isUsableFolder (folder))
            continue;

        PluginPlacement::recoverInterrupted (juce::File (folder));

        if (format == PluginFormat::CLAP)
            PluginPlacement::recoverInterrupted (juce::File (folder).getChildFile ("Quillotone"));
    }
}

//==============================================================================
void MainComponent::resized()
{
    layoutPass();
}

void MainComponent::layoutPass()
{
    auto w = getWidth(), h = getHeight();
    auto onList = currentPage == Page::purchases || currentPage == Page::demo;

    auto add = [this] (juce::Component& c, bool visible)
    {
        if (c.getParentComponent() != this)
            addChildComponent (c);

        c.setVisible (visible);
    };

    add (logo, true);
    logo.setBounds (10, 10, 190, 52);

    for (size_t i = 0; i < menuLabels.size(); ++i)
    {
        add (menuLabels[i], true);
        menuLabels[i].setBounds (20, 125 + 52 * (int) i, 190, 30);
    }

    add (purchasesList, currentPage == Page::purchases);
    purchasesList.setBounds (220, 88, w - 220, h - 120);
    add (demoList, currentPage == Page::demo);
    demoList.setBounds (220, 50, w - 220, h - 82);

    auto s = currentPage == Page::demo ? 12 : 51;
    add (searchFrame, onList);
    searchFrame.setBounds (225, s, 245, 27);
    add (searchField, onList);
    searchField.setBounds (234, s + 2, 227, 23);
    add (sortFrame, onList);
    sortFrame.setBounds (480, s, 170, 27);
    add (sortBox, onList);
    sortBox.setBounds (489, s + 2, 152, 23);

    auto selected = sortBox.getSelectedId();
    sortBox.clear (juce::dontSendNotification);
    sortBox.addItemList ({ "Name: A-Z", "Name: Z-A", "Updates First", "Installed First" }, 1);
    sortBox.setSelectedId (selected != 0 ? selected : 1, juce::dontSendNotification);

    auto t = currentPage == Page::demo ? 50 : 88;
    if (emptyListLabel.getParentComponent() != this)
        addChildComponent (emptyListLabel);
    emptyListLabel.setBounds (220, t, w - 220, h - t - 32);

    for (size_t i = 0; i < bulkButtons.size(); ++i)
    {
        add (bulkButtons[i], currentPage == Page::purchases);
        bulkButtons[i].setBounds (225 + 105 * (int) i, 10, 100, 30);
    }

    add (syncButton, onList);
    syncButton.setBounds (w - 79, 10, 70, 30);

    add (settingsPage, currentPage == Page::settings);
    settingsPage.setBounds (getLocalBounds());

    add (supportTitle, currentPage == Page::support);
    supportTitle.setBounds ((w - 220) / 2 + 70, 160, 300, 50);

    for (size_t i = 0; i < supportButtons.size(); ++i)
    {
        add (supportButtons[i], currentPage == Page::support);
        supportButtons[i].setBounds ((w - 220) / 2 + 120, 250 + 60 * (int) i, 200, 40);
    }

    if (stagedPurchases.getParentComponent() != this)
    {
        addChildComponent (stagedPurchases);
        addChildComponent (stagedDemos);
    }

    if (loginWindow.getParentComponent() != this)
    {
        addAndMakeVisible (loginWindow);
        loginWindow.onLoginSucceeded = [this] { loginSucceeded(); };

        // Already offline for that account (a retried login failed again): nothing changes.
        loginWindow.onWorkOffline = [this] (const juce::String& email)
        {
            if (! (offline && email == accountEmail))
                workOffline (email);
        };
    }

    loginWindow.setBounds (0, 0, w, h - 30);

    if (loginWindow.isVisible())
        loginWindow.toFront (false);

    settingsPage.loadManagerSettings();
}

//==============================================================================
void MainComponent::showPage (Page page)
{
    currentPage = page;

    for (auto& label : menuLabels)
    {
        label.setColor (juce::Colours::black);
        label.repaint();
    }

    auto onList = page == Page::purchases || page == Page::demo;

    purchasesList.setVisible (page == Page::purchases);
    demoList.setVisible (page == Page::demo);

    for (auto& b : bulkButtons)
        b.setVisible (page == Page::purchases);

    for (juce::Component* c : std::initializer_list<juce::Component*> { &syncButton, &searchFrame, &sortFrame, &searchField, &sortBox })
        c->setVisible (onList);

    settingsPage.setVisible (page == Page::settings);
    supportTitle.setVisible (page == Page::support);

    for (auto& b : supportButtons)
        b.setVisible (page == Page::support);

    auto s = page == Page::demo ? 12 : 51;
    searchFrame.setTopLeftPosition (225, s);
    searchField.setTopLeftPosition (234, s + 2);
    sortFrame.setTopLeftPosition (480, s);
    sortBox.setTopLeftPosition (489, s + 2);

    auto t = page == Page::demo ? 50 : 88;
    emptyListLabel.setBounds (220, t, getWidth() - 220, getHeight() - t - 32);

    refreshList();
}

void MainComponent::menuClicked (int index)
{
    auto busyPhase = animationPhase != -1;

    switch (index)
    {
        case 0:
            showPage (Page::purchases);

            if (pathsChanged)
            {
                pathsChanged = false;

                // Offline the kept rows are built again for the new folders.
                if (offline)
                    workOffline (accountEmail);
                else
                    syncButton.triggerClick();
            }
            break;

        case 1: if (! busyPhase) showPage (Page::demo); break;
        case 2: if (! busyPhase) showPage (Page::settings); break;
        case 3: if (! busyPhase) showPage (Page::support); break;
        case 4: confirmLogOut(); break;
        default: break;
    }

    menuLabels[(size_t) index].setColor (Palette::menuHighlight);
    menuLabels[(size_t) index].repaint();
}

void MainComponent::confirmLogOut()
{
    VortelDialog::showConfirm (this, "Log Out",
                               "Are you sure you want to log out?\nYou will need to enter your credentials again to log back in.",
                               "Log Out",
                               [this]
                               {
                                   loginWindow.logOut();
                                   KeptCatalogue::inPrivateFolder().forget (accountEmail);
                                   accountEmail.clear();
                                   sessionPassword.clear();
                                   sessionResult.clear();

                                   if (auto* app = juce::JUCEApplicationBase::getInstance())
                                       app->quit();
                               });
}

void MainComponent::loginSucceeded()
{
    accountEmail = loginWindow.getLoginEmail();
    sessionPassword = loginWindow.getLoginPassword();
    sessionResult = loginWindow.getLoginResult();
    offline = false;
    repaint();
    startSync();
}

//==============================================================================
juce::String MainComponent::centreStatus() const
{
    auto done = catalogueSync.syncDone.load(), total = catalogueSync.syncTotal.load();
    juce::String text = preparingRows ? "Preparing plugins"
                      : (total >= 1 || connectionShown) ? "Syncing" : "Connecting";

    if (total < 1)
        return text + "...";

    return text + " (" + juce::String (done) + "/" + juce::String (total) + ")";
}

juce::String MainComponent::footerStatus() const
{
    if (animationPhase == -1 && offline)
        return isTimerRunning (reconnectTimer) ? "Connecting..." : offlineStatus (keptSyncTime);

    if (animationPhase == -1)
        return connectionShown ? "Connected" : "Not Connected";

    juce::String dots (".");

    for (int i = 0; i < animationPhase; ++i)
        dots << " .";

    auto done = catalogueSync.syncDone.load(), total = catalogueSync.syncTotal.load();
    juce::String label;

    if (isTimerRunning (syncTimer))
    {
        if (preparingRows)
            label = "Preparing " + juce::String (done) + "/" + juce::String (total);
        else if (total < 1)
            label = connectionShown ? "Syncing" : "Connecting";
        else
            label = "Syncing " + juce::String (done) + "/" + juce::String (total);
    }
    else
    {
        static const char* const labels[] = { "Install ", "Update ", "Uninstall " };

        for (int i = 0; i < 3; ++i)
            if (isTimerRunning (bulkTimers[i]))
                label = labels[i];
    }

    return label + dots;
}

void MainComponent::paint (juce::Graphics& g)
{
    auto w = getWidth(), h = getHeight();

    g.fillAll (Palette::background);

    if (animationPhase != -1 && isTimerRunning (syncTimer))
    {
        g.setColour (juce::Colours::black);
        g.setFont (juce::Font (42.0f));
        g.drawText (centreStatus(), 220, 0, w - 220, h, juce::Justification::centred, true);
    }

    juce::Path panel;
    panel.addQuadrilateral (0.0f, 90.0f, 210.0f, 105.0f, 210.0f, 460.0f, 0.0f, 445.0f);
    g.setColour (Palette::lightGrey);
    g.fillPath (panel);

    g.setColour (Palette::lightGrey.darker (0.15f));
    g.drawLine (0.0f, 90.0f, 210.0f, 105.0f);
    g.drawLine (0.0f, 445.0f, 210.0f, 460.0f);
    g.drawLine (210.0f, 0.0f, 210.0f, (float) h - 30.0f);
    g.drawLine (0.0f, (float) h - 30.0f, (float) w, (float) h - 30.0f);

    g.setFont (juce::Font (14.0f));
    g.setColour (Palette::footerText);
    g.drawText (accountEmail, 10, 58, 200, 30, juce::Justification::centred, true);

    g.setColour (juce::Colours::black);
    // Wide enough for the date of the last sync while offline.
    g.drawText (footerStatus(), 10, h - 30, 400, 30, juce::Justification::centredLeft, true);

    static const auto build = buildNumberFrom (__DATE__, __TIME__);
    g.setColour (Palette::footerText);
    g.drawText ("v" + ManagerVersion::text() + " (build " + juce::String (build) + ")", w - 120, h - 30, 110, 30,
                juce::Justification::centredRight, true);
}
