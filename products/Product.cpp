#include "Product.h"

#include "ProductThread.h"
#include "VersionProbe.h"
#include "platform/Platform.h"
#include "storage/ManagerSettings.h"
#include "ui/VortelDialog.h"

#include <cstdlib>

namespace
{
    bool isForcedFreebie (const juce::String& name)
    {
        return name == "Crumblepad" || name == "Hushgate EQ" || name == "Lantern Delay";
    }

    // A relative or empty path would resolve against the working folder, so it
    // names nothing here.
    juce::File fileAt (const juce::String& path)
    {
        return juce::File::isAbsolutePath (path) ? juce::File (path) : juce::File();
    }

    bool existsAt (const juce::String& path)
    {
        return path.isNotEmpty() && fileAt (path).exists();
    }
}

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
      isFreebie (record.isFreebie || isForcedFreebie (record.name)),
      isDemo (record.isDemo),
      isNFR (record.isNFR),
      productFolderName (folderNameFor (record.name)),
      installName (installNameFor (productFolderName)),
      hasUsableName (isUsableFileName (productFolderName) && isUsableFileName (installName))
{
    readVersion = [] (const juce::String& path) { return VersionProbe::probeVersion (path); };

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
    return productName.removeCharacters (" ");
}

juce::String Product::installNameFor (const juce::String& folderName)
{
    return folderName == "KV-77" ? juce::String ("KV77") : folderName;
}

bool Product::isUsableFileName (const juce::String& text)
{
    if (text.isEmpty() || text == "." || text == "..")
        return false;

    // Path syntax, characters Windows refuses in names, and control characters.
    for (auto c : text)
        if (c < 0x20 || c == 0x7f || juce::String ("/\\:*?\"<>|").containsChar (c))
            return false;

    // Windows drops trailing dots and spaces, so the file would get another name.
    if (text.endsWithChar ('.') || text.endsWithChar (' '))
        return false;

    // Device names stay devices whatever extension follows ("CON.dll").
    const auto stem = text.upToFirstOccurrenceOf (".", false, false).trimEnd().toUpperCase();

    for (auto* device : { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" })
        if (stem == device)
            return false;

    if ((stem.startsWith ("COM") || stem.startsWith ("LPT")) && stem.length() == 4
         && (juce::CharacterFunctions::isDigit (stem[3]) || stem[3] == 0xb9 || stem[3] == 0xb2 || stem[3] == 0xb3))
        return false;

    return true;
}

juce::String Product::unusableNameMessage() const
{
    return "The name of " + name.trim().quoted() + " cannot be used as a file name on this computer, "
           "so the manager cannot install or remove it. Please contact support.";
}

juce::String Product::defaultFolder (PluginFormat::Format format)
{
    return ManagerSettings::withTrailingSeparator (ManagerSettings::defaultFormatPath (format));
}

//==============================================================================
int Product::compareVersions (const juce::String& a, const juce::String& b)
{
    juce::StringArray partsA, partsB;
    partsA.addTokens (VersionProbe::stripLeadingVs (a), ".", {});
    partsB.addTokens (VersionProbe::stripLeadingVs (b), ".", {});

    // strtoll reads like atol (spaces, sign, digits up to the first other
    // character) but saturates instead of overflowing on absurd numbers.
    auto number = [] (const juce::StringArray& parts, int i) -> long long
    {
        return i < parts.size() ? std::strtoll (parts[i].toRawUTF8(), nullptr, 10) : 0;
    };

    for (int i = 0; i < juce::jmax (partsA.size(), partsB.size()); ++i)
    {
        const auto x = number (partsA, i), y = number (partsB, i);

        if (x < y)  return -1;
        if (x > y)  return 1;
    }

    return 0;
}

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

void Product::refreshStatus()
{
    statusText.clear();
    versionVST2.clear();
    versionVST3.clear();
    versionAAX.clear();
    versionCLAP.clear();

    const auto recorded = VersionProbe::normaliseVersion (readRecordedVersion());

    auto folderFor = [this] (PluginFormat::Format f)
    {
        return settings.folder[(size_t) f] != nullptr ? settings.folder[(size_t) f]() : defaultFolder (f);
    };

    samplesRoot = settings.sampleFolder != nullptr ? settings.sampleFolder()
                                                   : MakerFolders().makerFolder().getChildFile ("Samples").getFullPathName();

    if (hasUsableName)
    {
        vst2Target = folderFor (PluginFormat::VST2) + installName + ".dll";
        vst3Target = folderFor (PluginFormat::VST3) + installName + ".vst3";
        aaxTarget  = folderFor (PluginFormat::AAX)  + installName + ".aaxplugin";
        clapTarget = folderFor (PluginFormat::CLAP) + installName + ".clap";

        const auto clapFolder = fileAt (folderFor (PluginFormat::CLAP));

        if (clapFolder == juce::File())
            legacyClapTarget = clapTarget;
        else if (clapFolder.getFileName().equalsIgnoreCase ("Quillotone"))
            legacyClapTarget = clapFolder.getChildFile (installName + ".clap").getFullPathName();
        else
            legacyClapTarget = clapFolder.getChildFile ("Quillotone").getChildFile (installName + ".clap").getFullPathName();

        presetsTarget = folders.presetsFolder().getFullPathName();
        samplesTarget = fileAt (samplesRoot) != juce::File() ? fileAt (samplesRoot).getChildFile (installName).getFullPathName()
                                                             : juce::String();
    }
    else
    {
        for (auto* target : { &vst2Target, &vst3Target, &aaxTarget, &clapTarget, &legacyClapTarget, &presetsTarget, &samplesTarget })
            target->clear();
    }

    installedAU   = false;
    installedVST2 = existsAt (vst2Target);
    installedVST3 = existsAt (vst3Target);
    installedAAX  = existsAt (aaxTarget);
    installedCLAP = existsAt (clapTarget);

    auto clapProbeTarget = clapTarget;

    if (! installedCLAP && legacyClapTarget != clapTarget)
    {
        installedCLAP = existsAt (legacyClapTarget);

        if (installedCLAP)
            clapProbeTarget = legacyClapTarget;
    }

    juce::StringArray found;

    const std::tuple<bool, const juce::String*, juce::String*> formats[] = {
        { installedVST2, &vst2Target, &versionVST2 },
        { installedVST3, &vst3Target, &versionVST3 },
        { installedAAX,  &aaxTarget,  &versionAAX },
        { installedCLAP, &clapProbeTarget, &versionCLAP },
    };

    for (auto& [installed, target, version] : formats)
    {
        if (! installed)
            continue;

        *version = VersionProbe::normaliseVersion (readVersion != nullptr ? readVersion (*target) : juce::String());

        if (version->isNotEmpty())
            found.add (*version);
    }

    const bool anyInstalled = installedAU || anyFormatInstalled();
    bool mixed = false, older = false;

    if (! found.isEmpty())
    {
        statusText = found[0];

        for (auto& v : found)
        {
            mixed = mixed || compareVersions (v, found[0]) != 0;
            older = older || compareVersions (v, latestVersion) < 0;
        }
    }

    if (statusText.isEmpty() && anyInstalled && recorded.isNotEmpty())
        statusText = VersionProbe::stripLeadingVs (recorded.trim());

    if (statusText.isEmpty())
    {
        statusText = anyInstalled ? "installed" : "not installed";
    }
    else if (mixed)
    {
        statusText = "mixed versions";
        updateAvailable = older;
        actionText = older ? "Update" : "Install";
        busyText = "STOP";

        if (isNFR)
            statusText << " (NFR)";

        return;
    }
    else
    {
        statusText = "v" + statusText.trim();
    }

    if (! statusText.containsChar ('.'))
    {
        updateAvailable = false;
        actionText = "Install";
    }
    else if (compareVersions (statusText, latestVersion) < 0)
    {
        updateAvailable = true;
        actionText = "Update";
    }
    else
    {
        updateAvailable = false;
        actionText = "Install";
    }

    busyText = "STOP";

    if (isNFR)
        statusText << " (NFR)";
}

//==============================================================================
bool Product::isDownloadRunning() const   { return downloadThread->isThreadRunning(); }
bool Product::isInstallRunning() const    { return installThread->isThreadRunning(); }
bool Product::isUninstallRunning() const  { return uninstallThread->isThreadRunning(); }

bool Product::startInstall()
{
    // installBusy also covers the moment between a finished download and the
    // poll that starts the install, so a second start cannot slip in there.
    if (isDownloadRunning() || isInstallRunning() || isUninstallRunning() || uninstallBusy || installBusy)
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
        VortelDialog::showMessage (this, "No plugin formats selected",
                                   "Select at least one plugin format in Settings before installing " + name + ".",
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
    downloader.cancel();
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

bool Product::startUninstall()
{
    refreshStatus();

    if (isUninstallRunning() || isInstallRunning() || isDownloadRunning() || installBusy || uninstallBusy
         || ! anyFormatInstalled() || ! hasUsableName)
        return false;

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

    const auto link = downloadURLWindows;
    const auto fileName = link.fromLastOccurrenceOf ("/", false, false);
    downloader.setURL (juce::URL (link));

    // The name comes from the network and becomes a file in the cache, so
    // anything that is not a plain file name is as good as no name.
    if (fileName.isEmpty() || ! isUsableFileName (fileName))
    {
        fail ("The download URL for " + name + " is invalid.");
        return;
    }

    const auto destination = folders.cacheFolder ("/Installers").getChildFile (fileName);
    installerFile = destination.getFullPathName();
    downloader.downloadToFile (destination);

    if (! downloader.wasStarted())
    {
        fail ("Could not start the download for " + name + ".");
        return;
    }

    for (;;)
    {
        if (downloader.isTaskFinished())
        {
            if (downloader.wasSuccessful() && destination.existsAsFile() && destination.getSize() > 0)
                downloadSucceeded = true;
            else
                fail ("The download for " + name + " did not complete successfully.");

            return;
        }

        if (juce::Thread::currentThreadShouldExit())
        {
            downloader.cancel();
            progress = 1.0;
            return;
        }

        juce::Thread::sleep (900);
    }
}

void Product::runInstall()
{
    startTimer (installTimer, 200);
    fail ("Installing " + name + " from its installer is not available in this version of the manager.");
}

void Product::runUninstall()
{
    errorMessage.clear();
    uninstallSucceeded = false;
    startTimer (uninstallTimer, 200);
    progress = 0.01;

    const std::pair<juce::String, const char*> steps[] = {
        { vst2Target, "Could not remove the VST2 format for " },
        { vst3Target, "Could not remove the VST3 format for " },
        { aaxTarget,  "Could not remove the AAX format for " },
        { clapTarget, "Could not remove the CLAP format for " },
    };

    for (size_t i = 0; i < std::size (steps); ++i)
    {
        if (! removeTarget (steps[i].first, steps[i].second + name + "."))
            return;

        if (i < 3)
            progress += 0.1428;
    }

    if (legacyClapTarget != clapTarget
         && ! removeTarget (legacyClapTarget, "Could not remove the legacy CLAP format for " + name + "."))
        return;

    progress = 1.0;
    uninstallSucceeded = true;
}

bool Product::removeTarget (const juce::String& path, const juce::String& message)
{
    const auto target = fileAt (path);

    if (path.isEmpty() || target == juce::File() || ! target.exists())
        return true;

    if (platform::moveToTrash (target))
        return true;

    const bool deleted = target.isDirectory() ? target.deleteRecursively (false) : target.deleteFile();
    return deleted || fail (message);
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
