#include "CommandRunner.h"

#include "CommandLine.h"
#include "ProductListing.h"
#include "ProductMatch.h"
#include "account/CatalogueSync.h"
#include "account/RememberedLogin.h"
#include "account/ServiceTexts.h"
#include "app/ManagerVersion.h"
#include "platform/Console.h"
#include "platform/Platform.h"
#include "products/InstallOperation.h"
#include "products/InstallerDownload.h"
#include "products/ProductNames.h"
#include "products/ProductUninstall.h"

using namespace CommandLine;
using platform::Console::Stream;

namespace
{
    void printOut (const juce::String& text)    { platform::Console::write (Stream::output, text); }

    struct SettingKey
    {
        juce::String key;
        PluginFormat::Format format;
        bool isInstallFlag, isSamples;
    };

    juce::Array<SettingKey> settingKeys()
    {
        juce::Array<SettingKey> keys;

        for (auto format : PluginFormat::installable)
            keys.add ({ ManagerSettings::installKey (format), format, true, false });

        for (auto format : PluginFormat::installable)
            keys.add ({ ManagerSettings::pathKey (format), format, false, false });

        keys.add ({ "PathSamples", PluginFormat::AU, false, true });
        return keys;
    }

    juce::File fileAt (const juce::String& path)
    {
        return juce::File::isAbsolutePath (path) ? juce::File (path) : juce::File();
    }
}

//==============================================================================
CommandRunner::CommandRunner (ProgressReport& r, std::function<bool()> stop)
    : report (r), shouldStop (std::move (stop))
{
}

int CommandRunner::run (const Command& command, const juce::String& password)
{
    values = ManagerSettings::load (ManagerSettings::settingsFile (folders.cacheFolder()),
                                    ManagerSettings::defaults (folders.samplesFolder().getFullPathName()));

    switch (command.kind)
    {
        case Kind::login:       return login (command, password);
        case Kind::logout:      RememberedLogin::clear (folders); report.step ("Logged out."); return done;
        case Kind::list:        return list (command);
        case Kind::install:
        case Kind::update:
        case Kind::uninstall:   return operate (command);
        case Kind::settings:    return settings (command);
        case Kind::version:     printOut (ManagerVersion::text() + "\n"); return done;
        case Kind::help:        printOut (usage()); return done;
    }

    return usageError;
}

bool CommandRunner::fail (const juce::String& title, const juce::String& message)
{
    report.step (title + ": " + message);
    return false;
}

//==============================================================================
int CommandRunner::login (const Command& command, const juce::String& password)
{
    const auto email = command.email;

    if (const auto problem = RememberedLogin::validate (email, password); problem.isNotEmpty())
    {
        fail (ServiceTexts::failureTitle(), problem);
        return loginFailed;
    }

    report.step ("Connecting...");
    const auto outcome = RememberedLogin::request (email, password, shouldStop);

    if (shouldStop())
        return interrupted;

    if (outcome.errorText.isNotEmpty())
    {
        fail (ServiceTexts::failureTitle(), outcome.errorText);
        return loginFailed;
    }

    // As in the login window: a login without Remember forgets an earlier one.
    if (command.remember)
        RememberedLogin::store (folders, email.toLowerCase(), password);
    else
        RememberedLogin::clear (folders);

    report.step ("Logged in as " + email.toLowerCase() + ".");
    return done;
}

int CommandRunner::sync (Products& owned, Products& demos)
{
    const auto remembered = RememberedLogin::read (folders);

    if (! remembered.has_value())
    {
        report.step ("Not logged in: run \"quillotone-cli login --email E --remember\" first.");
        return loginFailed;
    }

    report.step ("Syncing...");
    CatalogueSync catalogueSync (folders);
    catalogueSync.withThumbnails = false;
    auto result = catalogueSync.run (remembered->email, remembered->password, shouldStop);

    if (shouldStop())
        return interrupted;

    if (result.error.isNotEmpty() || result.document == nullptr)
    {
        fail ("Sync", result.error.isNotEmpty() ? result.error : ServiceTexts::syncConnectionFailedMessage());
        return loginFailed;
    }

    for (auto* list : { &owned, &demos })
        for (const auto& record : (list == &owned ? result.products : result.demos))
            list->add (std::make_unique<CatalogueProduct> (record))->refresh (values);

    report.step ("Connected");
    return done;
}

int CommandRunner::list (const Command& command)
{
    Products owned, demos;

    if (const auto code = sync (owned, demos); code != done)
        return code;

    juce::Array<ProductListing::Entry> entries;

    for (auto* list : { &owned, &demos })
    {
        if (list == &demos && ! command.demos)
            break;

        for (auto* product : *list)
        {
            ProductListing::Entry entry;
            entry.name = product->record.name;
            entry.id = product->record.id;
            entry.owned = ! product->record.isDemo;
            entry.freebie = product->freebie;
            entry.nfr = product->record.isNFR;
            entry.latestVersion = product->record.latestVersion;
            entry.installedVersion = product->installedVersion();
            entry.updateAvailable = product->status.updateAvailable;
            entry.statusText = product->status.statusText;

            for (size_t i = 0; i < PluginFormat::installable.size(); ++i)
                if (const auto format = PluginFormat::installable[i]; product->status.installed[format])
                    entry.formats[i] = product->status.version[format];

            entries.add (entry);
        }
    }

    printOut (command.json ? ProductListing::toJson (entries) : ProductListing::toText (entries));
    return done;
}

//==============================================================================
bool CommandRunner::settingsAllow (Kind kind, const juce::Array<CatalogueProduct*>& chosen)
{
    if (kind == Kind::uninstall)
    {
        for (auto* product : chosen)
            if (const auto missing = ProductStatus::formatsWithoutFolder (product->status.target); product->usableName && ! missing.isEmpty())
                return fail ("Uninstall error", ProductStatus::unusableFolderSettingMessage (missing, false));

        return true;
    }

    auto anyFormat = false;

    for (auto format : PluginFormat::installable)
        anyFormat = anyFormat || values.install[format];

    if (! anyFormat)
        return fail ("No plugin formats selected", kind == Kind::install
                                                       ? "Select at least one plugin format in Settings before installing."
                                                       : "Select at least one plugin format in Settings before updating.");

    // Without a full folder path the files would land at the top of a drive.
    for (auto* product : chosen)
        if (const auto missing = ProductStatus::formatsWithoutFolder (product->status.target, &values.install); product->usableName && ! missing.isEmpty())
            return fail ("Install error", ProductStatus::unusableFolderSettingMessage (missing, true));

    return true;
}

int CommandRunner::operate (const Command& command)
{
    Products owned, demos;

    if (const auto code = sync (owned, demos); code != done)
        return code;

    juce::Array<CatalogueProduct*> chosen;

    if (command.all)
    {
        // As the bulk actions: owned products only, never demos.
        for (auto* product : owned)
            if (command.kind != Kind::update || product->status.updateAvailable)
                chosen.add (product);
    }
    else
    {
        juce::Array<CatalogueProduct*> everything;
        juce::StringArray names;

        for (auto* list : { &owned, &demos })
            for (auto* product : *list)
            {
                everything.add (product);
                names.add (product->record.name);
            }

        const auto matched = ProductMatch::match (names, command.names);

        for (const auto& name : matched.unmatched)
            report.step ("No product matches " + name.trim().quoted() + ".");

        if (! matched.unmatched.isEmpty())
            return unknownProduct;

        for (auto index : matched.indices)
            chosen.add (everything[index]);
    }

    if (! settingsAllow (command.kind, chosen))
        return operationFailed;

    auto anyFailed = false;

    for (auto* product : chosen)
    {
        if (shouldStop())
            return interrupted;

        const auto& name = product->record.name;

        if (command.kind == Kind::uninstall)
        {
            if (product->usableName && ! product->status.anyInstalled())
                report.step (name + ": " + product->status.statusText);
            else
                anyFailed = ! uninstall (*product) || anyFailed;
        }
        else if (command.kind == Kind::update && ! product->status.updateAvailable)
        {
            report.step (name + ": " + product->status.statusText + ", no update available");
        }
        else
        {
            anyFailed = ! install (*product) || anyFailed;
        }
    }

    if (shouldStop())
        return interrupted;

    return anyFailed ? operationFailed : done;
}

bool CommandRunner::install (CatalogueProduct& product)
{
    const auto& name = product.record.name;

    if (! product.usableName)
        return fail ("Install error", ProductNames::unusableNameMessage (name));

    report.step ("Downloading " + name + "...");

    InstallerDownload::Plan download;
    download.name = name;
    download.link = product.record.downloadURLWindows;
    download.installerCache = folders.privateFolder ("/Installers");

    if (download.installerCache == juce::File())
        download.cacheProblem = folders.privateFolderProblem();

    InstallerDownload::Hooks downloadHooks;
    downloadHooks.shouldStop = shouldStop;
    downloadHooks.setProgress = [this] (double fraction) { report.progress (fraction); };
    downloadHooks.discardOnStop = true;         // as STOP: nothing is kept to resume
    downloadHooks.pollIntervalMs = 100;

    const auto fetched = InstallerDownload::run (downloader, download, downloadHooks);

    if (shouldStop())
        return true;

    if (! fetched.succeeded)
        return fail ("Download error", fetched.errorMessage);

    report.step ("Installing " + name + "...");

    InstallOperation::Plan plan;
    plan.name = name;
    plan.installName = product.installName;
    plan.installerFile = fetched.installerFile;
    plan.installerCache = download.installerCache;
    plan.tool = ServiceTexts::extractionToolIn (folders.cacheFolder());
    plan.toolDigest = ServiceTexts::extractionToolDigest();
    plan.installFlags = values.install;
    plan.installFlags[PluginFormat::AU] = false;

    for (auto format : PluginFormat::installable)
        plan.targets[format] = fileAt (product.status.target[format]);

    plan.legacyClapTarget = fileAt (product.status.legacyClapTarget);
    plan.presetsTarget = product.folders.presetsFolder();
    plan.samplesTarget = fileAt (product.status.samplesTarget);

    InstallOperation::Hooks hooks;
    hooks.shouldStop = shouldStop;
    hooks.setProgress = [this] (double value) { report.progress ((value - 0.7) / 0.3); };
    hooks.moveToTrash = [] (const juce::File& f) { return platform::moveToTrash (f); };

    const auto result = InstallOperation::run (plan, hooks);
    product.refresh (values);

    if (result.errorMessage.isNotEmpty())
        return fail ("Install error", result.errorMessage);

    if (result.succeeded)
        report.step (name + ": " + product.status.statusText);

    return true;
}

bool CommandRunner::uninstall (CatalogueProduct& product)
{
    const auto& name = product.record.name;

    if (! product.usableName)
        return fail ("Uninstall error", ProductNames::unusableNameMessage (name));

    report.step ("Uninstalling " + name + "...");

    ProductUninstall::Plan plan;
    plan.name = name;
    plan.targets = product.status.target;
    plan.legacyClapTarget = product.status.legacyClapTarget;
    plan.formatsWithoutFolder = ProductStatus::formatsWithoutFolder (product.status.target);

    // Not stopped half way: an uninstall runs to its end, as in the manager.
    ProductUninstall::Hooks hooks;
    hooks.setProgress = [this] (double value) { report.progress (value); };
    hooks.moveToTrash = [] (const juce::File& f) { return platform::moveToTrash (f); };

    const auto result = ProductUninstall::run (plan, hooks);
    product.refresh (values);

    if (result.errorMessage.isNotEmpty())
        return fail ("Uninstall error", result.errorMessage);

    report.step (name + ": " + product.status.statusText);
    return true;
}

//==============================================================================
juce::StringArray CommandRunner::settingsLines (const ManagerSettings::Values& settingsValues)
{
    juce::StringArray lines;

    for (const auto& key : settingKeys())
        lines.add (key.key + "=" + (key.isInstallFlag ? juce::String (settingsValues.install[key.format] ? "1" : "0")
                                    : key.isSamples ? settingsValues.samplesPath
                                                    : settingsValues.path[key.format]));

    return lines;
}

juce::String CommandRunner::applySetting (ManagerSettings::Values& settingsValues, const juce::String& name,
                                          const juce::String& value)
{
    for (const auto& key : settingKeys())
    {
        if (! key.key.equalsIgnoreCase (name.trim()))
            continue;

        if (key.isInstallFlag)
        {
            const auto word = value.trim().toLowerCase();
            const auto on = word == "1" || word == "true" || word == "yes" || word == "on";

            if (! on && word != "0" && word != "false" && word != "no" && word != "off")
                return key.key + " takes 1 or 0.";

            settingsValues.install[key.format] = on;
        }
        else
        {
            (key.isSamples ? settingsValues.samplesPath : settingsValues.path[key.format]) = value.trim();
        }

        return {};
    }

    return "Unknown setting " + name.quoted() + ".";
}

int CommandRunner::settings (const Command& command)
{
    const auto& arguments = command.settingsArguments;
    const auto lines = settingsLines (values);

    if (arguments.isEmpty())
    {
        printOut (lines.joinIntoString ("\n") + "\n");
        return done;
    }

    if (arguments.size() == 1)
    {
        for (const auto& line : lines)
        {
            if (line.upToFirstOccurrenceOf ("=", false, false).equalsIgnoreCase (arguments[0].trim()))
            {
                printOut (line.fromFirstOccurrenceOf ("=", false, false) + "\n");
                return done;
            }
        }

        fail ("Settings", "Unknown setting " + arguments[0].quoted() + ".");
        return usageError;
    }

    if (const auto problem = applySetting (values, arguments[0], arguments[1]); problem.isNotEmpty())
    {
        fail ("Settings", problem);
        return usageError;
    }

    if (! ManagerSettings::write (ManagerSettings::settingsFile (folders.cacheFolder()), values))
    {
        fail ("Settings", "Could not write the settings file.");
        return operationFailed;
    }

    return done;
}
