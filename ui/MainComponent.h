#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "account/CatalogueSync.h"
#include "account/LoginWindow.h"
#include "account/MainThread.h"
#include "ui/FocusOrder.h"
#include "storage/MakerFolders.h"
#include "ui/SettingsPage.h"
#include "ui/Utilities.h"
#include "ui/VortelLookAndFeel.h"

#include <array>
#include <atomic>
#include <memory>

class KeyboardNavigation;
class ManagerSelfUpdater;
class Product;

/**
    The window's content: the side menu, the four pages, the product lists, the
    footer, and the catalogue sync, which runs on this component's own thread.

    It owns everything that lives as long as the window; its destructor stops
    every worker before the objects they read are destroyed.
*/
class MainComponent final : public juce::Component,
                            public juce::TextEditor::Listener,
                            public juce::Button::Listener,
                            private juce::MultiTimer,
                            private juce::Thread,
                            private MainThread::Owner
{
public:
    static constexpr int width = 900;
    static constexpr int height = 700;

    enum class Page { purchases, demo, settings, support };

    MainComponent();
    ~MainComponent() override;

    //==============================================================================
    void showPage (Page);
    Page getCurrentPage() const noexcept                    { return currentPage; }

    /** Starts a catalogue sync unless one runs or a product operation is busy. */
    void startSync();

    /** Shows the account's kept catalogue instead of a sync's, while the
        servers cannot be reached: the rows and their status as usual, the
        footer says "Offline", installs are refused and Sync logs in again.
        Shows why when it cannot be read. Message thread.
    */
    void workOffline (const juce::String& email);

    /** True while the rows come from the kept catalogue. */
    bool isOffline() const noexcept                         { return offline; }

    /** Filters both lists by the search text, sorts them by the sort box and
        lays their rows out.
    */
    void refreshList();

    /** What a click on a bulk button does: starts its action after the checks
        and the confirmation, or stops it while it runs (the button reads
        "STOP"). Index 0 Install All, 1 Update All, 2 Uninstall All.
    */
    void bulkButtonClicked (int index);

    /** True while any of the three bulk actions runs. */
    bool isBulkActionRunning() const;

    /** Enables or disables the bulk buttons and Sync; Update All only when
        some purchase has an update.
    */
    void setBulkButtonsEnabled (bool enabled);

    /** True while any row runs a product operation. */
    bool isAnyProductBusy() const;

    /** True while anything runs in the background: the sync, row building, a
        product operation, a bulk action or the login.
    */
    bool isBusy() const;

    /** The build number shown in the footer, from the compile date and time:
        ((day of year from 0) + 2 x hour) x 30 + minute, modulo 10000.
    */
    static int buildNumber (int dayOfYear, int hour, int minute);

    /** buildNumber() for texts in the form of __DATE__ and __TIME__. */
    static int buildNumberFrom (const char* date, const char* time);

    //==============================================================================
    LoginWindow& getLoginWindow() noexcept                  { return loginWindow; }
    SettingsPage& getSettingsPage() noexcept                { return settingsPage; }
    const juce::String& getAccountEmail() const noexcept    { return accountEmail; }
    const juce::OwnedArray<Product>& getProducts() const noexcept { return products; }
    const juce::OwnedArray<Product>& getDemos() const noexcept    { return demos; }
    bool isSyncRunning() const                              { return isThreadRunning() || isTimerRunning (syncTimer); }
    bool getPathsChanged() const noexcept                   { return pathsChanged; }
    juce::String footerStatus() const;
    juce::String centreStatus() const;

    ClickLabel& getMenuLabel (Page page)                    { return menuLabels[(size_t) page]; }
    juce::Label& getEmptyListLabel()                        { return emptyListLabel; }
    juce::Viewport& getPurchasesList()                      { return purchasesList; }
    juce::Viewport& getDemoList()                           { return demoList; }
    juce::TextEditor& getSearchField()                      { return searchField; }
    juce::ComboBox& getSortBox()                            { return sortBox; }
    IconTextButton& getBulkButton (int index)               { return bulkButtons[(size_t) index]; }
    IconTextButton& getSyncButton()                         { return syncButton; }
    ManagerSelfUpdater* getSelfUpdater() const noexcept     { return selfUpdater.get(); }

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;
    void textEditorReturnKeyPressed (juce::TextEditor&) override {}
    void buttonClicked (juce::Button*) override {}

    /** Tab and Shift+Tab go through the controls in the order focusRegions() gives. */
    std::unique_ptr<juce::ComponentTraverser> createKeyboardFocusTraverser() override;

    /** The screen-reader order: the framework's, leaving out what the login form covers. */
    std::unique_ptr<juce::ComponentTraverser> createFocusTraverser() override;

    /** The regions of the window in reading order: the login form alone while
        it is up; otherwise the side menu, the tool bar, Sync, the rows of both
        lists, the settings page's sections and the support links. Controls of
        other pages are hidden and so skipped.
    */
    FocusOrder::Regions focusRegions();

    /** The focus outline and Space on buttons; null only during destruction. */
    KeyboardNavigation* getKeyboardNavigation() const noexcept  { return keyboardNavigation.get(); }

private:
    void timerCallback (int timerID) override;
    void run() override;

    // MainThread::Owner
    const juce::OwnedArray<Product>& bulkProducts() const override     { return products; }
    void bulkProductStarting (int rowY) override                        { bulkScrollTarget = rowY; }
    void bulkStoppedBySettings (const juce::String& title, const juce::String& message) override;

    void startBulkAction (int index);
    void monitorBulkAction (int index);
    void stopBulkAction (int index);

    void layoutPass();
    void setUpKeyboardAccess();
    void recoverInterruptedPlacements();
    void menuClicked (int index);
    void loginSucceeded();
    void confirmLogOut();
    bool takeOverSyncResults();
    void prepareForNewRows();
    std::unique_ptr<Product> createRow (const ProductRecord&);

    // Offline: the kept catalogue's rows.
    bool mayInstallNow();
    void syncOffline();
    void showSyncFailure (const juce::String& message);
    void monitorReconnect();
    static juce::String offlineStatus (juce::Time lastSync);

    static constexpr int syncTimer = 0;
    static constexpr int reconnectTimer = 1;
    static constexpr int bulkTimers[] = { 3, 4, 5 };     // Install All, Update All, Uninstall All
    static constexpr int rowHeight = 150;

    // The bulk buttons' captions while idle, and the titles of their dialogs.
    static constexpr const char* bulkNames[] = { "Install All", "Update All", "Uninstall All" };

    //==============================================================================
    // Installed as the default before any child exists: a font resolved under
    // the framework's default keeps that typeface, and the glyph cache, keyed
    // by font name, then mixes glyphs of both typefaces in one string.
    struct DefaultLookAndFeel
    {
        DefaultLookAndFeel();
        ~DefaultLookAndFeel();

        QuillotoneVortel::VortelLookAndFeel lookAndFeel;
    };

    DefaultLookAndFeel defaultLookAndFeel;
    QuillotoneVortel::VortelLookAndFeel& lookAndFeel = defaultLookAndFeel.lookAndFeel;

    LoginWindow loginWindow;

    juce::ImageComponent logo;
    std::array<ClickLabel, 5> menuLabels;        // Purchases, Demo, Settings, Support, Log Out
    juce::Viewport purchasesList, demoList;
    juce::Component purchasesContent, demoContent;
    RoundedBox searchFrame, sortFrame;
    juce::TextEditor searchField;
    juce::ComboBox sortBox;
    juce::Label emptyListLabel;
    std::array<IconTextButton, 3> bulkButtons;   // Install All, Update All, Uninstall All
    IconTextButton syncButton;
    juce::Label supportTitle;
    std::array<IconTextButton, 3> supportButtons;
    SpokenText footerStatusText;                 // the painted footer status, for screen readers
    std::unique_ptr<KeyboardNavigation> keyboardNavigation;

    // The session, copied from the login window after a successful login.
    juce::String accountEmail, sessionPassword, sessionResult;

    MakerFolders makerFolders;
    SettingsPage settingsPage { makerFolders };
    juce::Component stagedPurchases, stagedDemos;       // hidden parents of rows under construction
    CatalogueSync catalogueSync { makerFolders };

    Page currentPage = Page::purchases;
    int animationPhase = -1;
    bool connectionShown = false;
    bool preparingRows = false;
    bool takeOverStarted = false;
    bool pathsChanged = false;
    bool offline = false;
    juce::Time keptSyncTime;                    // of the kept catalogue shown offline

    // Written by the sync thread; read by the message thread after it ended.
    juce::String lastSyncError;
    bool serverReached = false;
    bool keptCatalogueFound = false;            // the servers never answered, and one is kept
    std::unique_ptr<juce::XmlElement> pendingDocument, catalogueDocument;
    juce::Array<ProductRecord> pendingProducts, pendingDemos;
    int nextPendingProduct = 0, nextPendingDemo = 0;

    juce::OwnedArray<Product> products, demos, stagedProductRows, stagedDemoRows;
    juce::OwnedArray<Product> retiredRows;      // replaced by a sync while still busy

    // The bulk workers read the rows above, so they are declared after them
    // (and stopped first in the destructor).
    std::array<std::unique_ptr<MainThread>, 3> bulkWorkers;

    /** y of the row a bulk action works on, -1 when none: written on the
        message thread (the worker holds the message-manager lock), read by
        the monitor timers.
    */
    std::atomic<int> bulkScrollTarget { -1 };
    // Created last and deleted first: its thread reads nothing of ours, but
    // its dialogs sit over this component.
    std::unique_ptr<ManagerSelfUpdater> selfUpdater;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
