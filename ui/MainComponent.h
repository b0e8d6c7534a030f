#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "account/CatalogueSync.h"
#include "account/LoginWindow.h"
#include "storage/MakerFolders.h"
#include "ui/SettingsPage.h"
#include "ui/Utilities.h"
#include "ui/VortelLookAndFeel.h"

#include <array>
#include <atomic>
#include <memory>

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
                            private juce::Thread
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

    /** Lays the rows of both lists out in catalogue order. */
    void refreshList();

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
    ManagerSelfUpdater* getSelfUpdater() const noexcept     { return selfUpdater.get(); }

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;
    void textEditorReturnKeyPressed (juce::TextEditor&) override {}
    void buttonClicked (juce::Button*) override {}

private:
    void timerCallback (int timerID) override;
    void run() override;

    void layoutPass();
    void menuClicked (int index);
    void loginSucceeded();
    void confirmLogOut();
    bool takeOverSyncResults();
    std::unique_ptr<Product> createRow (const ProductRecord&);

    static constexpr int syncTimer = 0;

    //==============================================================================
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

    QuillotoneVortel::VortelLookAndFeel lookAndFeel;

    // The session, copied from the login window after a successful login.
    juce::String accountEmail, sessionPassword, sessionResult;

    MakerFolders makerFolders;
    SettingsPage settingsPage { makerFolders };
    juce::Component stagedPurchases, stagedDemos;       // hidden parents of rows under construction
    Downloader downloader;
    CatalogueSync catalogueSync { makerFolders, downloader };

    Page currentPage = Page::purchases;
    int animationPhase = -1;
    bool connectionShown = false;
    bool preparingRows = false;
    bool takeOverStarted = false;
    bool pathsChanged = false;

    // Written by the sync thread; read by the message thread after it ended.
    juce::String lastSyncError;
    bool serverReached = false;
    std::unique_ptr<juce::XmlElement> pendingDocument, catalogueDocument;
    juce::Array<ProductRecord> pendingProducts, pendingDemos;
    int nextPendingProduct = 0, nextPendingDemo = 0;

    juce::OwnedArray<Product> products, demos, stagedProductRows, stagedDemoRows;
    juce::OwnedArray<Product> retiredRows;      // replaced by a sync while still busy

    // Created last and deleted first: its thread reads nothing of ours, but
    // its dialogs sit over this component.
    std::unique_ptr<ManagerSelfUpdater> selfUpdater;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
