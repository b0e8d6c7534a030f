#pragma once

#include "account/ProductRecord.h"
#include "products/ProductStatus.h"
#include "storage/MakerFolders.h"
#include "storage/PluginFormat.h"
#include "ui/Utilities.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <atomic>
#include <functional>

class ProductThread;

/**
    One catalogue entry that the account owns: its data, every place its files
    go on this machine, its install status, the one operation that may run on
    it, and its row in the product list.

    The catalogue sync creates it on the message thread, the owner installs the
    settings accessors, then calls refreshStatus(), which asks ProductStatus
    and keeps its answer here. Everything here runs on the message thread
    except the worker operations, which run on the product's own threads and
    talk back only through the fields marked as shared.
*/
class Product final : public juce::Component,
                      private juce::MultiTimer
{
public:
    explicit Product (const ProductRecord&);
    ~Product() override;

    //==============================================================================
    /** Where the current manager settings are read from, indexed by format.
        Each call reads the value of that moment, so a settings change needs no
        new products. An accessor left empty counts as absent (see the defaults).
    */
    struct SettingsAccessors
    {
        std::array<std::function<bool()>, PluginFormat::count> installFlag;
        std::array<std::function<juce::String()>, PluginFormat::count> folder;
        std::function<juce::String()> sampleFolder;
    };

    SettingsAccessors settings;

    /** Called on the message thread after the product refreshed itself: a
        CLAP version that arrived late, or the end of an operation. The owner
        re-evaluates what depends on every row (Update All).
    */
    std::function<void()> onStatusChanged;

    /** Asked on the message thread before the row's button starts an install
        or update; false keeps it from starting, and the owner says why.
        Empty means always allowed.
    */
    std::function<bool()> mayStartInstall;

    /** The folder a format installs to while its accessor is absent. */
    static juce::String defaultFolder (PluginFormat::Format);

    //==============================================================================
    /** Catalogue fields, fixed at construction. */
    const juce::int64 id;
    const juce::String name, hash, date, latestVersion, productURL, thumbnailFile;
    const juce::String downloadURLMac, downloadURLWindows, downloadURLLinux;
    const bool isFreebie, isDemo, isNFR;

    /** The name without spaces: the presets folder and the settings file. */
    const juce::String productFolderName;

    /** The base name of every plugin file, the work folder and the samples. */
    const juce::String installName;

    /** False when the name from the catalogue cannot safely become a file or
        folder name; such a product is listed but never installed or removed.
    */
    const bool hasUsableName;

    /** The text shown instead of installing a product with an unusable name. */
    juce::String unusableNameMessage() const;

    /** Spaces removed; "KV-77" becomes "KV77". */
    static juce::String folderNameFor (const juce::String& name);
    static juce::String installNameFor (const juce::String& productFolderName);

    //==============================================================================
    /** Derived locations of the last refreshStatus(); empty for an unusable name.
        Written on the message thread, and never while a worker runs, since the
        workers read them (see isAnyOperationRunning()).
    */
    juce::String vst2Target, vst3Target, aaxTarget, clapTarget, legacyClapTarget;
    juce::String samplesRoot, presetsTarget, samplesTarget;

    bool installedAU = false, installedVST2 = false, installedVST3 = false,
         installedAAX = false, installedCLAP = false;
    juce::String versionVST2, versionVST3, versionAAX, versionCLAP;

    juce::String statusText, actionText { "Install" }, busyText { "STOP" };

    /** Written by the status refresh on the message thread; the bulk workers
        read it from their own threads.
    */
    std::atomic<bool> updateAvailable { false };

    /** True when any of the four plugin formats is on disk. */
    bool anyFormatInstalled() const;

    /** Recomputes locations, installed flags, versions and the status texts
        through ProductStatus. Never waits: a CLAP version not known yet is
        asked for in the background, and the row refreshes again when it
        arrives.
    */
    void refreshStatus();

    /** The trimmed version this product recorded in its settings file, or empty. */
    juce::String readRecordedVersion() const;

    /** The product's own view of the maker folder (presets, settings file). */
    const MakerFolders& getFolders() const noexcept { return folders; }

    //==============================================================================
    /** A start refused by the manager settings, told to a bulk action instead
        of shown: the dialog's title and a message that names the setting.
    */
    struct SettingsError
    {
        juce::String title, message;
    };

    /** Starts a download followed by an install; false when one is running,
        an uninstall is running, or no format is selected or a selected format
        has no usable folder. Those two show a dialog, or, when settingsError is
        given (a bulk action), are written there and shown by the caller once.
    */
    bool startInstall (SettingsError* settingsError = nullptr);

    /** Cancels a running download or install; shows nothing. */
    void stopInstall();

    /** Starts removing the installed plugin files; false when an operation
        runs or nothing is installed. Formats without a usable folder are not
        looked for, and the end of the uninstall says so; when settingsError is
        given (a bulk action), such a format refuses the start instead and the
        reason is written there.
    */
    bool startUninstall (SettingsError* settingsError = nullptr);

    /** True while the download, install or uninstall worker runs. */
    bool isDownloadRunning() const;
    bool isInstallRunning() const;
    bool isUninstallRunning() const;

    //==============================================================================
    /** Operation state. The message thread owns the busy flags and the
        widgets; the workers write progress, errorMessage, installerFile and
        the outcome flags, and the timers read them.
    */

    /** Written by the message thread before it starts a worker; read by the install worker. */
    std::array<bool, PluginFormat::count> installFlags {};

    /** Written by the running worker (and by the message thread around it);
        read by the row's timer while the worker runs.
    */
    std::atomic<double> progress { 1.0 };

    /** Written by a worker before it ends; read by the message thread only once
        it has seen that worker end (the thread's end hands the text over), and
        cleared there before the next worker starts.
    */
    juce::String errorMessage;

    /** Written by the download worker; read by the install worker, which the
        message thread starts only after the download worker ended.
    */
    juce::String installerFile;

    /** Written by the message thread; read by the bulk workers and the timers. */
    std::atomic<bool> installBusy { false }, uninstallBusy { false };

    /** Written by the workers; read by the timers once the worker ended. */
    std::atomic<bool> downloadSucceeded { false }, installSucceeded { false }, uninstallSucceeded { false };

    bool hovered = false;

    /** Records a failure of the running operation; returns false for the caller to return. */
    bool fail (const juce::String& message);

    //==============================================================================
    /** Runs on the workers; see ProductThread. */
    void runDownload();
    void runInstall();
    void runUninstall();

    //==============================================================================
    /** The row's children, reachable for tests and the bulk actions. */
    IconTextButton& getInstallButton() noexcept         { return installButton; }
    IconTextButton& getUninstallButton() noexcept       { return uninstallButton; }
    juce::ImageComponent& getThumbnail() noexcept       { return thumbnail; }
    LoadingProgress& getProgressBar() noexcept          { return progressBar; }

    /** What the install and uninstall buttons do when clicked. */
    void installClicked();
    void uninstallClicked();

    /** The left edge of the texts: the thumbnail's right edge + 20. */
    int textLeft() const;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void resized() override;

    /** What a screen reader says for the row: name, status, update, kind. */
    juce::String spokenSummary() const;

    /** A row whose button the keyboard reached scrolls itself into its list's view. */
    void focusOfChildComponentChanged (FocusChangeType) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    enum TimerId { downloadTimer = 1, installTimer, uninstallTimer };

    /** A worker runs, or an operation is between two of its workers. */
    bool isAnyOperationRunning() const;

private:
    ProductStatus::Settings currentSettings() const;
    juce::String clapVersionFor (const juce::File& library);
    void clapVersionArrived();
    juce::Array<PluginFormat::Format> formatsWithoutFolder (bool selectedOnly) const;

    void initialiseRow();
    void timerCallback (int timerID) override;
    void pollDownload();
    void pollInstall();
    void pollUninstall();
    void reportFailure (const char* title);
    void showProgress (double value);
    void restoreInstallButton();

    const ProductRecord catalogueRecord;     // what the status is computed from
    MakerFolders folders;
    Downloader downloader;
    std::unique_ptr<ProductThread> downloadThread, installThread, uninstallThread;

    IconTextButton installButton, uninstallButton;
    juce::ImageComponent thumbnail;
    LoadingProgress progressBar;
    juce::Image thumbnailImage;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Product)
};
