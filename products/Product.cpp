#include "Product.h"

#include "ClapVersionProbe.h"
#include "InstallOperation.h"
#include "InstallerDownload.h"
#include "ProductNames.h"
#include "ProductThread.h"
#include "ProductUninstall.h"
#include "VersionProbe.h"
#include "account/ServiceTexts.h"
#include "platform/Platform.h"
#include "storage/ManagerSettings.h"
#include "ui/VortelDialog.h"

//==============================================================================
Product::Product (const ProductRecord& record)
    : id (record.id),
      name (record.name),
      hash (record.hash),
      date (record.date),
      latestVersion (record.latestVersion),
      productURL (record.productURL),
      thumbnailFile (record.thumbnailFile),
      downloadURLMac (record.downloadURLMac),
      downloadURLWindows (record.downloadURLWindows),
      downloadURLLinux (record.downloadURLLinux),
      isFreebie (record.isFreebie || ProductNames::isForcedFreebie (record.name)),
      isDemo (record.isDemo),
      isNFR (record.isNFR),
      productFolderName (folderNameFor (record.name)),
      installName (installNameFor (productFolderName)),
      hasUsableName (ProductNames::isUsable (productFolderName, installName)),
      catalogueRecord (record)
{
    // Without a usable name the product gets no folders of its own at all.
    if (hasUsableName)
        folders.productFolderName = productFolderName;

    downloadThread   = std::make_unique<ProductThread> (*this, ProductThread::Kind::download);
    installThread    = std::make_unique<ProductThread> (*this, ProductThread::Kind::install);
    uninstallThread  = std::make_unique<ProductThread> (*this, ProductThread::Kind::uninstall);

    initialiseRow();
}

Product::~Product()
{
    // The workers use every field below, so they go first.
    downloader.cancel();
    downloadThread->stopThread (15000);
    installThread->stopThread (5000);
    uninstallThread->stopThread (5000);

    for (auto timer : { downloadTimer, installTimer, uninstallTimer })
        stopTimer (timer);
}

//==============================================================================
juce::String Product::folderNameFor (const juce::String& productName)
{
    return ProductNames::folderNameFor (productName);
}

juce::String Product::installNameFor (const juce::String& folderName)
{
    return ProductNames::installNameFor (folderName);
}

juce::String Product::unusableNameMessage() const
{
    return ProductNames::unusableNameMessage (name);
}

juce::String Product::defaultFolder (PluginFormat::Format format)
{
    return ManagerSettings::withTrailingSeparator (ManagerSettings::defaultFormatPath (format));
}

//==============================================================================
juce::String Product::readRecordedVersion() const
{
    if (! hasUsableName)
        return {};

    return VersionProbe::readRecordedVersion (folders.productSettingsFile());
}

bool Product::anyFormatInstalled() const
{
    return installedVST2 || installedVST3 || installedAAX || installedCLAP;
}

ProductStatus::Settings Product::currentSettings() const
{
    ProductStatus::Settings values;

    for (auto format : PluginFormat::installable)
        values.folder[format] = settings.folder[format] != nullptr ? settings.folder[format]() : defaultFolder (format);

    values.sampleFolder = settings.sampleFolder != nullptr ? settings.sampleFolder()
                                                           : MakerFolders().makerFolder().getChildFile ("Samples").getFullPathName();
    return values;
}

void Product::refreshStatus()
{
    ProductStatus::Readers readers;
    readers.recordedVersion = [this] { return readRecordedVersion(); };
    readers.fileVersion = [this] (const juce::String& path)
    {
        return VersionProbe::probeVersion (path, [this] (const juce::File& library) { return clapVersionFor (library); });
    };

    const auto status = ProductStatus::compute (catalogueRecord, hasUsableName ? installName : juce::String(), currentSettings(), readers);

    vst2Target       = status.target[PluginFormat::VST2];
    vst3Target       = status.target[PluginFormat::VST3];
    aaxTarget        = status.target[PluginFormat::AAX];
    clapTarget       = status.target[PluginFormat::CLAP];
    legacyClapTarget = status.legacyClapTarget;
    samplesRoot      = status.samplesRoot;
    samplesTarget    = status.samplesTarget;
    presetsTarget    = hasUsableName ? folders.presetsFolder().getFullPathName() : juce::String();

    installedAU   = status.installed[PluginFormat::AU];
    installedVST2 = status.installed[PluginFormat::VST2];
    installedVST3 = status.installed[PluginFormat::VST3];
    installedAAX  = status.installed[PluginFormat::AAX];
    installedCLAP = status.installed[PluginFormat::CLAP];

    versionVST2 = status.version[PluginFormat::VST2];
    versionVST3 = status.version[PluginFormat::VST3];
    versionAAX  = status.version[PluginFormat::AAX];
    versionCLAP = status.version[PluginFormat::CLAP];

    statusText      = status.statusText;
    actionText      = status.actionText;
    busyText        = status.busyText;
    updateAvailable = status.updateAvailable;
}

juce::String Product::clapVersionFor (const juce::File& library)
{
    auto* probe = ClapVersionProbe::getInstance();

    if (auto known = probe->cachedVersion (library))
        return *known;

    // Until the child answers, the status goes without this version.
    probe->requestVersion (library, [row = juce::Component::SafePointer<Product> (this)]
                                    {
                                        if (row != nullptr)
                                            row->clapVersionArrived();
                                    });
    return {};
}

void Product::clapVersionArrived()
{
    // A refresh rewrites the targets a running worker reads; the end of the
    // operation refreshes anyway.
    if (isAnyOperationRunning())
        return;

    refreshStatus();
    resized();
    repaint();

    if (onStatusChanged != nullptr)
        onStatusChanged();
}

juce::Array<PluginFormat::Format> Product::formatsWithoutFolder (bool selectedOnly) const
{
    std::array<juce::String, PluginFormat::count> target;
    target[PluginFormat::VST2] = vst2Target;
    target[PluginFormat::VST3] = vst3Target;
    target[PluginFormat::AAX] = aaxTarget;
    target[PluginFormat::CLAP] = clapTarget;

    return ProductStatus::formatsWithoutFolder (target, selectedOnly ? &installFlags : nullptr);
}

//==============================================================================
bool Product::isDownloadRunning() const   { return downloadThread->isThreadRunning(); }
bool Product::isInstallRunning() const    { return installThread->isThreadRunning(); }
bool Product::isUninstallRunning() const  { return uninstallThread->isThreadRunning(); }

bool Product::isAnyOperationRunning() const
{
    return isDownloadRunning() || isInstallRunning() || isUninstallRunning() || installBusy || uninstallBusy;
}

bool Product::startInstall (SettingsError* settingsError)
{
    // installBusy also covers the moment between a finished download and the
    // poll that starts the install, so a second start cannot slip in there.
    if (isAnyOperationRunning())
        return false;

    refreshStatus();

    if (! hasUsableName)
    {
        VortelDialog::showMessage (this, "Install error", unusableNameMessage(), VortelDialog::alert);
        return false;
    }

    installFlags[PluginFormat::AU] = false;

    for (auto format : PluginFormat::installable)
        installFlags[format] = settings.installFlag[format] != nullptr && settings.installFlag[format]();

    if (! (installFlags[PluginFormat::VST2] || installFlags[PluginFormat::VST3]
            || installFlags[PluginFormat::AAX] || installFlags[PluginFormat::CLAP]))
    {
        if (settingsError != nullptr)
            *settingsError = { "No plugin formats selected", "Select at least one plugin format in Settings before installing." };
        else
            VortelDialog::showMessage (this, "No plugin formats selected",
                                       "Select at least one plugin format in Settings before installing " + name + ".",
                                       VortelDialog::alert);
        return false;
    }

    // Without a full folder path the files would land at the top of a drive.
    if (const auto missing = formatsWithoutFolder (true); ! missing.isEmpty())
    {
        if (settingsError != nullptr)
            *settingsError = { "Install error", ProductStatus::unusableFolderSettingMessage (missing, true) };
        else
            VortelDialog::showMessage (this, "Install error", ProductStatus::unusableFolderMessage (name, missing, true),
                                       VortelDialog::alert);
        return false;
    }

    errorMessage.clear();
    downloadSucceeded = false;
    installSucceeded = false;
    installBusy = true;
    progress = 0.001;
    showProgress (progress);
    installButton.setButtonText (busyText);
    downloadThread->startThread();
    return true;
}

void Product::stopInstall()
{
    stopTimer (downloadTimer);
    stopTimer (installTimer);
    // A stop means the user no longer wants it: nothing is kept to resume.
    downloader.cancel (true);
    downloadThread->stopThread (6000);
    installThread->stopThread (6000);

    downloadSucceeded = false;
    installSucceeded = false;
    errorMessage.clear();
    installBusy = false;
    progress = 1.0;
    showProgress (1.0);
    restoreInstallButton();
}

bool Product::startUninstall (SettingsError* settingsError)
{
    // Checked first: a refresh rewrites the targets a running worker reads.
    if (isAnyOperationRunning() || ! hasUsableName)
        return false;

    refreshStatus();

    if (! anyFormatInstalled())
        return false;

    // A bulk action would leave the same format behind in every product.
    if (const auto missing = formatsWithoutFolder (false); settingsError != nullptr && ! missing.isEmpty())
    {
        *settingsError = { "Uninstall error", ProductStatus::unusableFolderSettingMessage (missing, false) };
        return false;
    }

    errorMessage.clear();
    uninstallSucceeded = false;
    uninstallBusy = true;
    progress = 0.01;
    showProgress (progress);
    uninstallButton.setButtonText ("Uninstalling...");
    uninstallButton.setEnabled (false);
    uninstallThread->startThread();
    return true;
}

bool Product::fail (const juce::String& message)
{
    errorMessage = message;
    progress = 1.0;
    return false;
}

//==============================================================================
void Product::runDownload()
{
    errorMessage.clear();
    downloadSucceeded = false;
    startTimer (downloadTimer, 200);

    InstallerDownload::Plan plan;
    plan.name = name;
    plan.link = downloadURLWindows;
    plan.installerCache = folders.privateFolder ("/Installers");

    if (plan.installerCache == juce::File())
        plan.cacheProblem = folders.privateFolderProblem();

    // The row's timer reads the downloader's counts itself.
    const auto result = InstallerDownload::run (downloader, plan, {});
    installerFile = result.installerFile.getFullPathName();

    if (result.errorMessage.isNotEmpty())
        fail (result.errorMessage);
    else if (! result.succeeded)
        progress = 1.0;

    downloadSucceeded = result.succeeded;
}

void Product::runInstall()
{
    errorMessage.clear();
    installSucceeded = false;
    startTimer (installTimer, 200);

    auto file = [] (const juce::String& path) { return juce::File::isAbsolutePath (path) ? juce::File (path) : juce::File(); };

    InstallOperation::Plan plan;
    plan.name = name;
    plan.installName = installName;
    plan.installerFile = file (installerFile);
    plan.installerCache = folders.privateFolder ("/Installers");
    plan.tool = ServiceTexts::extractionToolIn (folders.cacheFolder());
    plan.toolDigest = ServiceTexts::extractionToolDigest();
    plan.installFlags = installFlags;
    plan.targets[PluginFormat::VST2] = file (vst2Target);
    plan.targets[PluginFormat::VST3] = file (vst3Target);
    plan.targets[PluginFormat::AAX]  = file (aaxTarget);
    plan.targets[PluginFormat::CLAP] = file (clapTarget);
    plan.legacyClapTarget = file (legacyClapTarget);
    plan.presetsTarget = file (presetsTarget);
    plan.samplesTarget = file (samplesTarget);

    InstallOperation::Hooks hooks;
    hooks.shouldStop = [] { return juce::Thread::currentThreadShouldExit(); };
    hooks.setProgress = [this] (double value) { progress = value; };
    hooks.moveToTrash = [] (const juce::File& f) { return platform::moveToTrash (f); };

    const auto result = InstallOperation::run (plan, hooks);

    if (result.errorMessage.isNotEmpty())
        fail (result.errorMessage);

    installSucceeded = result.succeeded;
    progress = 1.0;
}

void Product::runUninstall()
{
    errorMessage.clear();
    uninstallSucceeded = false;
    startTimer (uninstallTimer, 200);

    ProductUninstall::Plan plan;
    plan.name = name;
    plan.targets[PluginFormat::VST2] = vst2Target;
    plan.targets[PluginFormat::VST3] = vst3Target;
    plan.targets[PluginFormat::AAX]  = aaxTarget;
    plan.targets[PluginFormat::CLAP] = clapTarget;
    plan.legacyClapTarget = legacyClapTarget;
    plan.formatsWithoutFolder = formatsWithoutFolder (false);

    ProductUninstall::Hooks hooks;
    hooks.setProgress = [this] (double value) { progress = value; };     // only this worker writes while it runs
    hooks.moveToTrash = [] (const juce::File& f) { return platform::moveToTrash (f); };

    const auto result = ProductUninstall::run (plan, hooks);

    if (result.errorMessage.isNotEmpty())
        fail (result.errorMessage);

    uninstallSucceeded = result.succeeded;
}

//==============================================================================
void Product::timerCallback (int timerID)
{
    switch (timerID)
    {
        case downloadTimer:   pollDownload();   break;
        case installTimer:    pollInstall();    break;
        case uninstallTimer:  pollUninstall();  break;
        default:              break;
    }
}

void Product::pollDownload()
{
    if (isDownloadRunning())
    {
        const auto total = juce::jmax ((juce::int64) 1, downloader.getTotalLength());
        showProgress ((double) downloader.getLengthDownloaded() / (double) total * 0.7 + 0.001);
        return;
    }

    stopTimer (downloadTimer);

    if (downloadSucceeded)
    {
        showProgress (0.7);
        installThread->startThread();
        return;
    }

    installBusy = false;
    restoreInstallButton();
    showProgress (1.0);
    reportFailure ("Download error");
}

void Product::pollInstall()
{
    if (! isInstallRunning())
    {
        installBusy = false;
        restoreInstallButton();
        showProgress (1.0);
        refreshStatus();
        resized();
        repaint();

        stopTimer (installTimer);

        if (onStatusChanged != nullptr)
            onStatusChanged();

        reportFailure ("Install error");
    }

    showProgress (progress);
}

void Product::pollUninstall()
{
    if (! isUninstallRunning())
    {
        uninstallBusy = false;
        uninstallButton.setButtonText ("Uninstall");
        uninstallButton.setEnabled (true);
        showProgress (1.0);
        refreshStatus();
        restoreInstallButton();
        resized();
        repaint();

        stopTimer (uninstallTimer);

        if (onStatusChanged != nullptr)
            onStatusChanged();

        reportFailure ("Uninstall error");
    }

    showProgress (progress);
}

void Product::reportFailure (const char* title)
{
    // Shown once: the text is taken, so the next poll finds nothing to show.
    if (errorMessage.isNotEmpty())
        VortelDialog::showMessage (this, title, std::exchange (errorMessage, {}), VortelDialog::alert);
}

void Product::showProgress (double value)
{
    progressBar.setProgress (value);
    progressBar.repaint();
}

void Product::restoreInstallButton()
{
    installButton.setButtonText (actionText);
    installButton.setEnabled (true);
}
