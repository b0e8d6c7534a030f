#include <gtest/gtest.h>

#include "account/KeptCatalogue.h"
#include "account/LoginWindow.h"
#include "account/ServiceTexts.h"
#include "products/Product.h"
#include "support/StandIn.h"
#include "support/TestHelpers.h"
#include "ui/MainComponent.h"
#include "ui/SettingsPage.h"
#include "ui/VortelDialog.h"

using testing_support::ScopedHome;
using testing_support::StandIn;
using testing_support::waitUntil;

namespace
{
    struct Session
    {
        void logIn (const juce::String& email)
        {
            auto& login = main.getLoginWindow();
            login.getEmailField().setText (email, false);
            login.getPasswordField().setText ("quillotone", false);
            login.buttonClicked (&login.getLoginButton());
        }

        bool settled()
        {
            return waitUntil ([this] { return ! main.isBusy() && ! main.isSyncRunning(); }, 30000);
        }

        bool loggedInAndSynced (const juce::String& email)
        {
            logIn (email);
            return waitUntil ([this] { return main.getAccountEmail().isNotEmpty(); }, 20000) && settled();
        }

        VortelDialog* dialog()
        {
            for (auto* child : main.getChildren())
                if (auto* d = dynamic_cast<VortelDialog*> (child))
                    return d;

            return nullptr;
        }

        void click (MainComponent::Page page)   { main.getMenuLabel (page).onClick(); }

        ScopedHome home;
        MainComponent main;
    };

    int catalogueRequests (StandIn& server)
    {
        int n = 0;
        auto log = server.requestLog();

        for (int i = 0; i < log.size(); ++i)
            if (log[i]["path"].toString().contains ("catalogue"))
                ++n;

        return n;
    }
}

TEST (MainComponent, DemoAccountFillsBothListsWithRows)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Session s;
    ASSERT_TRUE (s.loggedInAndSynced ("demo@quillotone.test"));

    EXPECT_EQ (s.main.getAccountEmail(), "demo@quillotone.test");
    EXPECT_EQ (s.main.footerStatus(), "Connected");
    EXPECT_EQ (s.dialog(), nullptr);

    // The owned entry with installer number 10 is left out; demos keep theirs.
    const auto& products = s.main.getProducts();
    ASSERT_EQ (products.size(), 7);
    EXPECT_EQ (s.main.getDemos().size(), 4);

    int nfr = 0, freebies = 0;

    for (auto* p : products)
    {
        EXPECT_EQ (p->getParentComponent(), s.main.getPurchasesList().getViewedComponent());
        EXPECT_TRUE (juce::File (p->thumbnailFile).existsAsFile()) << p->name;
        EXPECT_EQ (p->getWidth(), s.main.getPurchasesList().getWidth() - 18);
        EXPECT_EQ (p->getHeight(), 150);
        EXPECT_TRUE (p->statusText.startsWith ("not installed"));
        nfr += p->isNFR && p->statusText == "not installed (NFR)" ? 1 : 0;
        freebies += p->isFreebie ? 1 : 0;
    }

    EXPECT_EQ (nfr, 1);
    EXPECT_GE (freebies, 1);

    // Rows read the settings page: a format switched off there is off for the row.
    s.main.getSettingsPage().getToggle (PluginFormat::VST2).setToggleState (false, juce::sendNotificationSync);
    EXPECT_FALSE (products[0]->settings.installFlag[PluginFormat::VST2]());
    EXPECT_TRUE (products[0]->settings.installFlag[PluginFormat::VST3]());
    EXPECT_EQ (products[0]->settings.folder[PluginFormat::VST3](), s.main.getSettingsPage().getFormatPath (PluginFormat::VST3));
}

TEST (MainComponent, RememberedEmailIsSetInTheManagersTypeface)
{
    // Filled while the window is built: a font resolved before the default
    // look and feel was ours kept the system typeface and garbled the e-mail.
    ScopedHome home;
    LoginWindow().storeRememberedLogin ("demo@quillotone.test", "quillotone");

    MainComponent main;
    ASSERT_EQ (main.getLoginWindow().getEmailField().getText(), "demo@quillotone.test");
    EXPECT_EQ (main.getLoginWindow().getEmailField().getFont().getTypefacePtr()->getName(), "Open Sans");
}

TEST (MainComponent, ServerErrorShowsTheTextAndKeepsTheRows)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Session s;
    ASSERT_TRUE (s.loggedInAndSynced ("demo@quillotone.test"));
    const auto* first = s.main.getProducts().getFirst();

    server.setFault ("*", R"({"body": "ERROR: The catalogue is being updated.", "count": 1})");
    s.main.startSync();
    ASSERT_TRUE (s.settled());

    auto* dialog = s.dialog();
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getTitle(), "Sync");
    EXPECT_EQ (dialog->getMessage(), "ERROR: The catalogue is being updated.");
    EXPECT_EQ (s.main.getProducts().size(), 7);
    EXPECT_EQ (s.main.getProducts().getFirst(), first);
    EXPECT_EQ (first->getParentComponent(), s.main.getPurchasesList().getViewedComponent());
    dialog->dismiss();
}

TEST (MainComponent, FirstSyncWithTheServerDownLeavesEmptyLists)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Session s;

    // The login gets through; the catalogue request finds nobody listening.
    server.setFault ("/" + juce::URL (ServiceTexts::catalogueURL()).getSubPath(), R"({"refuse": true})");
    ASSERT_TRUE (s.loggedInAndSynced ("demo@quillotone.test"));

    auto* dialog = s.dialog();
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getMessage(), ServiceTexts::syncConnectionFailedMessage());
    EXPECT_TRUE (s.main.getProducts().isEmpty());
    EXPECT_TRUE (s.main.getDemos().isEmpty());
    EXPECT_EQ (s.main.footerStatus(), "Not Connected");
    dialog->dismiss();
}

TEST (MainComponent, EmptyCatalogueSaysSo)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Session s;
    ASSERT_TRUE (s.loggedInAndSynced ("empty@quillotone.test"));

    EXPECT_EQ (s.dialog(), nullptr);
    EXPECT_EQ (s.main.footerStatus(), "Connected");
    EXPECT_TRUE (s.main.getEmptyListLabel().isVisible());
    EXPECT_EQ (s.main.getEmptyListLabel().getText(), "No plugins available.");

    s.click (MainComponent::Page::demo);
    EXPECT_TRUE (s.main.getEmptyListLabel().isVisible());
}

TEST (MainComponent, BusyProductsAndRunningSyncsHoldThingsBack)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Session s;
    ASSERT_TRUE (s.loggedInAndSynced ("demo@quillotone.test"));
    const auto before = catalogueRequests (server);

    s.main.getProducts()[0]->installBusy = true;
    s.main.startSync();
    EXPECT_FALSE (s.main.isSyncRunning());
    auto* dialog = s.dialog();
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getMessage(), "Please wait for the current product operation to finish.");
    dialog->dismiss();
    s.main.getProducts()[0]->installBusy = false;
    EXPECT_EQ (catalogueRequests (server), before);

    // During a sync the Demo page cannot be opened; Purchases always can.
    server.setFault ("*", R"({"delay": 1500, "count": 1})");
    s.main.startSync();
    ASSERT_TRUE (s.main.isSyncRunning());
    s.click (MainComponent::Page::demo);
    EXPECT_EQ (s.main.getCurrentPage(), MainComponent::Page::purchases);
    s.click (MainComponent::Page::settings);
    EXPECT_EQ (s.main.getCurrentPage(), MainComponent::Page::purchases);

    // The rows stay detached: nothing can be started on rows about to go.
    s.click (MainComponent::Page::purchases);
    EXPECT_EQ (s.main.getPurchasesList().getViewedComponent()->getNumChildComponents(), 0);
    ASSERT_TRUE (s.settled());
    EXPECT_EQ (s.main.getPurchasesList().getViewedComponent()->getNumChildComponents(), 7);

    s.click (MainComponent::Page::demo);
    EXPECT_EQ (s.main.getCurrentPage(), MainComponent::Page::demo);
}

TEST (MainComponent, APathChangeResyncsOnceOnTheNextPurchasesClick)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Session s;
    ASSERT_TRUE (s.loggedInAndSynced ("demo@quillotone.test"));
    const auto before = catalogueRequests (server);

    s.click (MainComponent::Page::settings);
    auto& field = s.main.getSettingsPage().getPathField (PluginFormat::VST3);
    field.setText (s.home.home.folder.getChildFile ("elsewhere").getFullPathName(), true);
    ASSERT_TRUE (waitUntil ([&] { return s.main.getPathsChanged(); }));

    s.click (MainComponent::Page::purchases);
    ASSERT_TRUE (waitUntil ([&] { return s.main.isSyncRunning(); }));
    ASSERT_TRUE (s.settled());
    s.click (MainComponent::Page::purchases);
    ASSERT_TRUE (s.settled());

    EXPECT_EQ (catalogueRequests (server), before + 1);
    EXPECT_TRUE (s.main.getProducts()[0]->vst3Target.startsWith (s.home.home.folder.getChildFile ("elsewhere").getFullPathName()));
}

TEST (MainComponent, SearchAndSortApplyToBothLists)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Session s;
    ASSERT_TRUE (s.loggedInAndSynced ("demo@quillotone.test"));

    auto visibleNames = [] (juce::Viewport& list)
    {
        std::map<int, juce::String> byY;

        for (auto* child : list.getViewedComponent()->getChildren())
            if (auto* row = dynamic_cast<Product*> (child); row != nullptr && row->isVisible())
                byY[row->getY()] = row->name;

        juce::StringArray names;

        for (auto& [y, name] : byY)
            names.add (name);

        return names;
    };

    // The field reports a change asynchronously, as it does for typing.
    auto type = [&s] (const juce::String& text)
    {
        s.main.getSearchField().setText (text, true);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    };

    type (" VERB ");
    EXPECT_EQ (visibleNames (s.main.getPurchasesList()), juce::StringArray ({ "Big Room Verb" }));
    EXPECT_FALSE (s.main.getEmptyListLabel().isVisible());

    type ("nothing like it");
    EXPECT_TRUE (visibleNames (s.main.getPurchasesList()).isEmpty());
    EXPECT_TRUE (s.main.getEmptyListLabel().isVisible());
    EXPECT_EQ (s.main.getEmptyListLabel().getText(), "No plugins match your search.");

    type ({});
    EXPECT_FALSE (s.main.getEmptyListLabel().isVisible());

    s.main.getSortBox().setSelectedId (2, juce::sendNotificationSync);
    EXPECT_EQ (visibleNames (s.main.getPurchasesList()),
               juce::StringArray ({ "Tape Halo", "Orbit Delay", "Little Clipper", "KV-77", "Glass Comp", "Drum Foundry", "Big Room Verb" }));

    // The demo list follows the same search and sort.
    s.click (MainComponent::Page::demo);
    type ("s");
    EXPECT_EQ (visibleNames (s.main.getDemoList()), juce::StringArray ({ "Velvet Keys", "Sub Engine", "Spring Tank", "Air Shelf" }));
}

TEST (MainComponent, BulkActionsStopAtOnceAndHoldTheSyncBack)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Session s;
    ASSERT_TRUE (s.loggedInAndSynced ("demo@quillotone.test"));
    const auto& products = s.main.getProducts();

    auto confirm = [&s]
    {
        auto* dialog = s.dialog();
        ASSERT_NE (dialog, nullptr);
        dialog->getMainButton().triggerClick();
        waitUntil ([&s] { return s.dialog() == nullptr; });
    };

    // The second product's download stalls: the first is installed by then.
    server.setFault ("/installers/TapeHalo.zip", R"({"stall": 30000})");
    s.main.bulkButtonClicked (0);
    confirm();
    ASSERT_TRUE (waitUntil ([&] { return products[1]->installBusy.load(); }, 20000));
    EXPECT_TRUE (juce::File (products[0]->vst3Target).isDirectory());

    // No sync while the action runs.
    s.main.startSync();
    EXPECT_FALSE (s.main.isSyncRunning());
    ASSERT_NE (s.dialog(), nullptr);
    EXPECT_EQ (s.dialog()->getMessage(), "Please wait for the current product operation to finish.");
    s.dialog()->dismiss();
    waitUntil ([&s] { return s.dialog() == nullptr; });

    // STOP cancels the download at once and starts no further product.
    EXPECT_EQ (s.main.getBulkButton (0).getButtonText(), "STOP");
    auto started = juce::Time::getMillisecondCounterHiRes();
    s.main.bulkButtonClicked (0);
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - started, 1000.0);
    EXPECT_FALSE (products[1]->installBusy);
    ASSERT_TRUE (waitUntil ([&] { return s.main.getBulkButton (0).getButtonText() == "Install All"; }, 2000));

    for (int i = 1; i < products.size(); ++i)
        EXPECT_FALSE (juce::File (products[i]->vst3Target).exists()) << products[i]->name;

    EXPECT_EQ (s.dialog(), nullptr);

    // Update All with nothing to update starts nothing and ends at once.
    s.main.bulkButtonClicked (1);
    confirm();
    ASSERT_TRUE (waitUntil ([&] { return s.main.getBulkButton (1).getButtonText() == "Update All"; }, 1000));
    EXPECT_FALSE (s.main.isBusy());
}

TEST (MainComponent, ClosingDuringABulkActionLeavesNothingHalfPlaced)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    ScopedHome home;
    auto main = std::make_unique<MainComponent>();
    auto& login = main->getLoginWindow();
    login.getEmailField().setText ("demo@quillotone.test", false);
    login.getPasswordField().setText ("quillotone", false);
    login.buttonClicked (&login.getLoginButton());
    ASSERT_TRUE (waitUntil ([&] { return main->getProducts().size() == 7 && ! main->isBusy(); }, 30000));

    server.setFault ("/installers/GlassComp.zip", R"({"stall": 30000})");
    main->bulkButtonClicked (0);
    ASSERT_TRUE (waitUntil ([&] { return VortelDialog::getNumOpen() == 1; }));

    for (auto* child : main->getChildren())
        if (auto* dialog = dynamic_cast<VortelDialog*> (child))
            dialog->getMainButton().triggerClick();

    ASSERT_TRUE (waitUntil ([&] { return main->getProducts()[2]->installBusy.load(); }, 20000));

    auto started = juce::Time::getMillisecondCounterHiRes();
    main.reset();
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - started, 2000.0);

    for (auto* folder : { ".vst", ".vst3", ".aax", ".clap" })
        for (const auto& entry : juce::RangedDirectoryIterator (home.home.folder.getChildFile (folder), true, "*",
                                                                juce::File::findFilesAndDirectories))
            EXPECT_FALSE (entry.getFile().getFileName().contains (".pending.") || entry.getFile().getFileName().contains (".backup."))
                << entry.getFile().getFullPathName();
}

TEST (MainComponent, ASettingsErrorStopsABulkActionWithOneDialog)
{
    StandIn server;
    REQUIRE_STANDIN (server);

    struct Case { int action; const char* title; };

    for (auto c : { Case { 0, "Install error" }, Case { 2, "Uninstall error" } })
    {
        SCOPED_TRACE (c.title);
        Session s;
        ASSERT_TRUE (s.loggedInAndSynced ("demo@quillotone.test"));
        const auto& products = s.main.getProducts();

        // Two products have something that Uninstall All would remove.
        for (auto* product : { products[0], products[1] })
            ASSERT_TRUE (juce::File (product->vst3Target).createDirectory());

        s.main.getSettingsPage().getToggle (PluginFormat::VST2).setToggleState (true, juce::dontSendNotification);
        s.main.getSettingsPage().getPathField (PluginFormat::VST2).setText ({}, false);
        s.main.bulkButtonClicked (c.action);
        ASSERT_NE (s.dialog(), nullptr);
        s.dialog()->getMainButton().triggerClick();

        ASSERT_TRUE (waitUntil ([&] { return s.main.getBulkButton (c.action).getButtonText() != "STOP"
                                             && ! s.main.isBulkActionRunning(); }, 10000));
        juce::MessageManager::getInstance()->runDispatchLoopUntil (300);

        for (auto* product : { products[0], products[1] })
            EXPECT_TRUE (juce::File (product->vst3Target).isDirectory()) << product->name;

        EXPECT_EQ (VortelDialog::getNumOpen(), 1);
        ASSERT_NE (s.dialog(), nullptr);
        EXPECT_EQ (s.dialog()->getTitle(), c.title);
        EXPECT_TRUE (s.dialog()->getMessage().startsWith ("The folder for VST2 in Settings")) << s.dialog()->getMessage();

        s.dialog()->dismiss();
        waitUntil ([&s] { return VortelDialog::getNumOpen() == 0; });
    }
}

TEST (MainComponent, OfflineRowsRefuseInstallsAndSyncAsksForTheLoginAgain)
{
    Session s;
    ProductRecord owned, demo;
    owned.name = "Big Room Verb";
    demo.name = "Velvet Keys";
    demo.isDemo = true;
    ASSERT_TRUE (KeptCatalogue::inPrivateFolder().keep ("demo@quillotone.test", { owned }, { demo }, juce::Time (1000)));

    s.main.workOffline ("demo@quillotone.test");
    ASSERT_TRUE (s.settled());
    EXPECT_TRUE (s.main.isOffline());
    ASSERT_EQ (s.main.getProducts().size(), 1);
    EXPECT_EQ (s.main.getDemos().size(), 1);
    EXPECT_TRUE (s.main.footerStatus().startsWith ("Offline")) << s.main.footerStatus();

    // A row's install and Install All: one dialog each, nothing started.
    for (auto start : std::initializer_list<std::function<void()>> {
             [&] { s.main.getProducts()[0]->getInstallButton().triggerClick(); },
             [&] { s.main.bulkButtonClicked (0); } })
    {
        start();
        ASSERT_TRUE (waitUntil ([&] { return s.dialog() != nullptr; }));
        EXPECT_EQ (s.dialog()->getTitle(), "Offline");
        EXPECT_FALSE (s.main.isAnyProductBusy() || s.main.isBulkActionRunning());
        s.dialog()->dismiss();
        waitUntil ([&] { return s.dialog() == nullptr; });
    }

    // No login is remembered: the login window comes back for the password.
    s.main.getSyncButton().triggerClick();
    ASSERT_TRUE (waitUntil ([&] { return s.main.getLoginWindow().isVisible(); }));
    EXPECT_EQ (s.main.getLoginWindow().getEmailField().getText(), "demo@quillotone.test");
    EXPECT_EQ (s.main.getLoginWindow().getPasswordField().getText(), "");
    EXPECT_FALSE (s.main.getLoginWindow().isLoginRunning());
}
