#pragma once

#include <juce_core/juce_core.h>

#include "CatalogueProduct.h"
#include "CommandLine.h"
#include "ProgressReport.h"
#include "storage/MakerFolders.h"
#include "storage/ManagerSettings.h"
#include "ui/Downloader.h"

#include <functional>

/**
    Runs one command of quillotone-cli with the units the manager's rows and
    bulk actions use: the login, the catalogue sync, the settings file, the
    download, the install with its rollback and the uninstall.

    Runs on the command's worker thread. shouldStop is polled between and
    inside the steps: a running download or install then rolls back, an
    uninstall runs to its end, and nothing after it starts.
*/
class CommandRunner final
{
public:
    CommandRunner (ProgressReport&, std::function<bool()> shouldStop);

    /** Runs the command; the exit code. The password of a login comes
        separately, read by the caller from standard input.
    */
    int run (const CommandLine::Command&, const juce::String& password = {});

    /** The lines the settings command prints: KEY=VALUE for every setting. */
    static juce::StringArray settingsLines (const ManagerSettings::Values&);

    /** Sets one setting by its key (any letter case); the error text, or empty. */
    static juce::String applySetting (ManagerSettings::Values&, const juce::String& key, const juce::String& value);

private:
    using Products = juce::OwnedArray<CatalogueProduct>;

    int login (const CommandLine::Command&, const juce::String& password);
    int list (const CommandLine::Command&);
    int operate (const CommandLine::Command&);
    int settings (const CommandLine::Command&);

    /** Loads the remembered login and syncs the catalogue into the two lists. */
    int sync (Products& owned, Products& demos);

    /** Checks the settings once before a run of operations, as a bulk action does. */
    bool settingsAllow (CommandLine::Kind, const juce::Array<CatalogueProduct*>&);

    bool install (CatalogueProduct&);
    bool uninstall (CatalogueProduct&);
    bool fail (const juce::String& title, const juce::String& message);

    ProgressReport& report;
    std::function<bool()> shouldStop;
    MakerFolders folders;
    ManagerSettings::Values values;
    Downloader downloader;
};
