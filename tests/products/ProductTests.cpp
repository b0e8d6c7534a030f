#include <gtest/gtest.h>

#include "products/ClapVersionProbe.h"
#include "products/InstallerLink.h"
#include "products/Product.h"
#include "storage/ManagerSettings.h"
#include "support/TestHelpers.h"
#include "ui/VortelDialog.h"

using testing_support::ScopedHome;
using testing_support::waitUntil;

namespace
{
    ProductRecord record (const juce::String& name, const juce::String& latest = "1.0.0")
    {
        ProductRecord r;
        r.id = 7;
        r.name = name;
        r.latestVersion = latest;
        return r;
    }

    /** Plugin folders under a sandboxed HOME, wired like the main component
        wires the settings page.
    */
    struct Fixture
    {
        explicit Fixture (const juce::String& name, const juce::String& latest = "1.0.0")
            : product (record (name, latest))
        {
            for (auto f : PluginFormat::installable)
            {
                product.settings.folder[f] = [this, f] { return folderSetting[f].value_or (folder (f).getFullPathName() + "/"); };
                product.settings.installFlag[f] = [this, f] { return flags[f]; };
            }

            product.settings.sampleFolder = [this] { return home.home.folder.getChildFile ("Samples").getFullPathName(); };
        }

        juce::File folder (PluginFormat::Format f) const
        {
            const char* names[] = { "au", "vst", "vst3", "aax", clapFolderName };
            return home.home.folder.getChildFile (names[f]);
        }

        static void place (const juce::String& target, const juce::String& version, bool asFolder = false)
        {
            testing_support::placeVersionedPlugin (target, version, asFolder);
        }

        void recordVersion (const juce::String& version)
        {
            auto file = product.getFolders().productSettingsFile();
            file.getParentDirectory().createDirectory();
            file.replaceWithText ("<?xml version=\"1.0\"?>\r\n<S PluginManagerInstalledVersion=\"" + version + "\"/>");
        }

        ScopedHome home;
        const char* clapFolderName = "clap";
        std::array<bool, PluginFormat::count> flags { false, true, true, true, true };
        std::array<std::optional<juce::String>, PluginFormat::count> folderSetting;    // instead of folder()
        Product product;
    };

    VortelDialog* openDialog (juce::Component& c)
    {
        for (auto* child : c.getChildren())
            if (auto* dialog = dynamic_cast<VortelDialog*> (child))
                return dialog;

        return nullptr;
    }
}

//==============================================================================
TEST (ProductModel, NamesAndTargetsFollowTheCatalogueName)
{
    Fixture verb ("Big Room Verb");
    verb.product.refreshStatus();
    EXPECT_EQ (verb.product.productFolderName, "BigRoomVerb");
    EXPECT_EQ (verb.product.installName, "BigRoomVerb");
    EXPECT_EQ (verb.product.vst3Target, verb.folder (PluginFormat::VST3).getFullPathName() + "/BigRoomVerb.vst3");
    EXPECT_EQ (verb.product.aaxTarget, verb.folder (PluginFormat::AAX).getFullPathName() + "/BigRoomVerb.aaxplugin");
    EXPECT_TRUE (verb.product.presetsTarget.endsWith ("/Quillotone/Presets/BigRoomVerb"));

    Fixture kv ("KV-77");
    kv.product.refreshStatus();
    EXPECT_EQ (kv.product.productFolderName, "KV-77");
    EXPECT_EQ (kv.product.installName, "KV77");
    EXPECT_TRUE (kv.product.vst2Target.endsWith ("/vst/KV77.dll"));
    EXPECT_TRUE (kv.product.vst3Target.endsWith ("/vst3/KV77.vst3"));
    EXPECT_TRUE (kv.product.presetsTarget.endsWith ("/Presets/KV-77"));
    EXPECT_EQ (kv.product.samplesTarget, kv.home.home.folder.getChildFile ("Samples/KV77").getFullPathName());
    EXPECT_TRUE (kv.product.getFolders().productSettingsFile().getFullPathName().endsWith ("/Settings/KV-77.qvs"));

    // Only the exact value is special.
    EXPECT_EQ (Product::installNameFor ("kv-77"), "kv-77");
    EXPECT_EQ (Product::installNameFor ("KV-77X"), "KV-77X");
}

TEST (ProductModel, ThreeFreeProductsAreAlwaysFreebies)
{
    ScopedHome home;
    EXPECT_TRUE (Product (record ("Crumblepad")).isFreebie);
    EXPECT_TRUE (Product (record ("Hushgate EQ")).isFreebie);
    EXPECT_TRUE (Product (record ("Lantern Delay")).isFreebie);
    EXPECT_FALSE (Product (record ("crumblepad")).isFreebie);
    EXPECT_FALSE (Product (record ("Hushgate EQ ")).isFreebie);

    auto free = record ("Anything");
    free.isFreebie = true;
    EXPECT_TRUE (Product (free).isFreebie);
}

TEST (ProductModel, AbsentAccessorsFallBackToTheDefaults)
{
    ScopedHome home;
    Product product (record ("Big Room Verb"));
    product.refreshStatus();

    EXPECT_EQ (product.vst3Target, Product::defaultFolder (PluginFormat::VST3) + "BigRoomVerb.vst3");
    EXPECT_EQ (product.clapTarget, Product::defaultFolder (PluginFormat::CLAP) + "BigRoomVerb.clap");
    EXPECT_EQ (product.samplesRoot, home.documents().getChildFile ("Quillotone/Samples").getFullPathName());
    EXPECT_EQ (Product::defaultFolder (PluginFormat::VST2),
               ManagerSettings::withTrailingSeparator (ManagerSettings::defaultFormatPath (PluginFormat::VST2)));

    // Missing install flags read false, so an install is refused.
    EXPECT_FALSE (product.startInstall());
    auto* dialog = openDialog (product);
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getTitle(), "No plugin formats selected");
    dialog->dismiss();
}

//==============================================================================
TEST (ProductStart, NoFormatSelectedShowsTheAlertAndStartsNothing)
{
    Fixture f ("Big Room Verb");
    f.flags = { true, false, false, false, false };     // AU never counts

    EXPECT_FALSE (f.product.startInstall());
    EXPECT_FALSE (f.product.installBusy);
    EXPECT_FALSE (f.product.isDownloadRunning());

    auto* dialog = openDialog (f.product);
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getTitle(), "No plugin formats selected");
    EXPECT_EQ (dialog->getMessage(), "Select at least one plugin format in Settings before installing Big Room Verb.");
    dialog->dismiss();
}

TEST (ProductStart, OneOperationAtATime)
{
    Fixture f ("Big Room Verb");
    f.flags = { false, false, true, false, false };

    // A link without a file name fails inside the download worker.
    ASSERT_TRUE (f.product.startInstall());
    EXPECT_TRUE (f.product.installBusy);
    EXPECT_EQ (f.product.getInstallButton().getButtonText(), "STOP");
    EXPECT_EQ (f.product.installFlags, (std::array<bool, PluginFormat::count> { false, false, true, false, false }));

    EXPECT_FALSE (f.product.startInstall());

    // Refused before any refresh: the running worker reads the targets.
    const auto target = f.product.vst3Target;
    f.folderSetting[PluginFormat::VST3] = "/elsewhere/";
    EXPECT_FALSE (f.product.startUninstall());
    EXPECT_EQ (f.product.vst3Target, target);

    ASSERT_TRUE (waitUntil ([&] { return ! f.product.installBusy; }));
    auto* dialog = openDialog (f.product);
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getTitle(), "Download error");
    EXPECT_EQ (dialog->getMessage(), "The download URL for Big Room Verb is invalid.");
    EXPECT_EQ (f.product.getInstallButton().getButtonText(), "Install");
    EXPECT_TRUE (f.product.errorMessage.isEmpty());
    dialog->dismiss();
}

TEST (ProductStart, StopButtonCancelsInsteadOfStartingAgain)
{
    Fixture f ("Big Room Verb");
    f.product.getInstallButton().setButtonText ("STOP");
    f.product.installBusy = true;

    f.product.installClicked();
    EXPECT_FALSE (f.product.installBusy);
    EXPECT_FALSE (f.product.isDownloadRunning());
    EXPECT_EQ (f.product.getInstallButton().getButtonText(), "Install");
    EXPECT_EQ (f.product.getProgressBar().getProgress(), 1.0);
    EXPECT_EQ (openDialog (f.product), nullptr);
}

TEST (ProductUninstall, RemovesEveryInstalledFormatAndKeepsTheRest)
{
    Fixture f ("Big Room Verb");
    f.product.refreshStatus();
    EXPECT_FALSE (f.product.startUninstall());      // nothing installed

    f.place (f.product.vst3Target, "1.0.0", true);
    f.place (f.product.legacyClapTarget, "1.0.0");
    juce::File (f.product.presetsTarget).getChildFile ("Mine.preset").create();
    f.folder (PluginFormat::VST2).getChildFile ("Other.dll").create();
    f.product.refreshStatus();

    ASSERT_TRUE (f.product.startUninstall());
    EXPECT_EQ (f.product.getUninstallButton().getButtonText(), "Uninstalling...");
    EXPECT_FALSE (f.product.getUninstallButton().isEnabled());
    EXPECT_FALSE (f.product.startInstall());

    ASSERT_TRUE (waitUntil ([&] { return ! f.product.uninstallBusy; }));
    EXPECT_TRUE (f.product.uninstallSucceeded);
    EXPECT_FALSE (juce::File (f.product.vst3Target).exists());
    EXPECT_FALSE (juce::File (f.product.legacyClapTarget).exists());
    EXPECT_TRUE (juce::File (f.product.presetsTarget).getChildFile ("Mine.preset").existsAsFile());
    EXPECT_TRUE (f.folder (PluginFormat::VST2).getChildFile ("Other.dll").existsAsFile());
    EXPECT_EQ (f.product.statusText, "not installed");
    EXPECT_EQ (f.product.getUninstallButton().getButtonText(), "Uninstall");
    EXPECT_EQ (openDialog (f.product), nullptr);

    // The bundle went to the trash as one item.
    auto trash = f.home.home.folder.getChildFile (".local/share/Trash/files");
    EXPECT_TRUE (trash.getChildFile ("BigRoomVerb.vst3").isDirectory());
}

//==============================================================================
TEST (ProductNames, NamesThatAreNotPlainFileNamesNeverBecomePaths)
{
    for (auto* hostile : { "../../Evil", "..", "Evil/../../x", "..\\..\\Evil", "C:Evil", "C:\\Windows\\Evil",
                           "\\\\server\\share", "CON", "nul", "Com1", "LPT9.txt", "Aux.dll", "Trailing.",
                           "Bad\x01Name", "Pipe|Name", "Star*", "   ", "" })
    {
        SCOPED_TRACE (hostile);
        Fixture f (hostile);
        f.product.refreshStatus();

        EXPECT_FALSE (f.product.hasUsableName);
        for (auto* target : { &f.product.vst2Target, &f.product.vst3Target, &f.product.aaxTarget, &f.product.clapTarget,
                              &f.product.legacyClapTarget, &f.product.presetsTarget, &f.product.samplesTarget })
            EXPECT_TRUE (target->isEmpty());

        EXPECT_EQ (f.product.readRecordedVersion(), "");
        EXPECT_EQ (f.product.statusText, "not installed");
        EXPECT_FALSE (f.product.startUninstall());

        EXPECT_FALSE (f.product.startInstall());
        EXPECT_FALSE (f.product.isDownloadRunning());
        auto* dialog = openDialog (f.product);
        ASSERT_NE (dialog, nullptr);
        EXPECT_EQ (dialog->getTitle(), "Install error");
        EXPECT_TRUE (dialog->getMessage().contains ("cannot be used as a file name"));
        dialog->dismiss();
    }

    for (auto* fine : { "Big Room Verb", "KV-77", "\xc3\x9c" "ber Synth", "Verb 2.0", "..Dots In Front", "COM10", "Console" })
    {
        SCOPED_TRACE (fine);
        EXPECT_TRUE (Product (record (juce::String::fromUTF8 (fine))).hasUsableName);
    }
}

TEST (ProductNames, InstallerNamesFromTheLinkStayInTheCache)
{
    for (auto* link : { "http://127.0.0.1:1/dl/..", "http://127.0.0.1:1/dl/", "http://127.0.0.1:1/dl/a\\..\\..\\x.zip",
                        "http://127.0.0.1:1/dl/C:x.zip" })
    {
        SCOPED_TRACE (link);
        Fixture f ("Big Room Verb");
        auto r = record ("Big Room Verb");
        r.downloadURLWindows = link;
        Product product (r);
        product.settings = f.product.settings;

        ASSERT_TRUE (product.startInstall());
        ASSERT_TRUE (waitUntil ([&] { return ! product.installBusy; }));
        auto* dialog = openDialog (product);
        ASSERT_NE (dialog, nullptr);
        EXPECT_EQ (dialog->getMessage(), "The download URL for Big Room Verb is invalid.");
        EXPECT_TRUE (product.installerFile.isEmpty());
        dialog->dismiss();
    }
}

TEST (ProductNames, InstallerNameIsTheLinksPathWithoutQueryOrFragment)
{
    for (auto [link, expected] : std::initializer_list<std::pair<const char*, const char*>> {
             { "https://cdn.test/dl/VerbWin.zip?token=a/b.zip&x=?", "VerbWin.zip" },
             { "https://cdn.test/dl/VerbWin.zip#part/2", "VerbWin.zip" },
             { "https://cdn.test/dl/VerbWin.zip?t=1#f", "VerbWin.zip" },
             { "https://cdn.test?file=/VerbWin.zip", "" },
             { "https://cdn.test/dl/?file=VerbWin.zip", "" },
             { "https://cdn.test/dl/..?x", ".." } })
    {
        EXPECT_EQ (InstallerLink::fileName (link), expected) << link;
    }

    // The download starts with the name from the path; nothing listens there.
    Fixture f ("Big Room Verb");
    auto r = record ("Big Room Verb");
    r.downloadURLWindows = "http://127.0.0.1:1/dl/VerbWin.zip?token=abc/def";
    Product product (r);
    product.settings = f.product.settings;

    ASSERT_TRUE (product.startInstall());
    ASSERT_TRUE (waitUntil ([&] { return ! product.installBusy; }));
    EXPECT_TRUE (product.installerFile.endsWith ("/Installers/VerbWin.zip")) << product.installerFile;
    auto* dialog = openDialog (product);
    ASSERT_NE (dialog, nullptr);
    EXPECT_NE (dialog->getMessage(), "The download URL for Big Room Verb is invalid.");
    dialog->dismiss();
}

//==============================================================================
TEST (ProductFolders, AFolderThatIsNotAFullPathIsNeverATarget)
{
    Fixture f ("Big Room Verb");
    f.flags = { false, true, true, false, false };
    f.product.refreshStatus();
    f.place (f.product.vst3Target, "1.0.0", true);

    // What an emptied path field hands over.
    f.folderSetting[PluginFormat::VST2] = juce::File::getSeparatorString();
    f.product.refreshStatus();
    EXPECT_EQ (f.product.vst2Target, "");
    EXPECT_TRUE (f.product.installedVST3);

    EXPECT_FALSE (f.product.startInstall());
    EXPECT_FALSE (f.product.isDownloadRunning());
    auto* dialog = openDialog (f.product);
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getTitle(), "Install error");
    EXPECT_TRUE (dialog->getMessage().startsWith ("The folder for VST2 in Settings is empty or not a full path"));
    dialog->dismiss();

    // The uninstall removes what it can find and says what it could not look for.
    ASSERT_TRUE (f.product.startUninstall());
    ASSERT_TRUE (waitUntil ([&] { return ! f.product.uninstallBusy; }));
    EXPECT_FALSE (juce::File (f.product.vst3Target).exists());
    EXPECT_FALSE (f.product.uninstallSucceeded);
    dialog = openDialog (f.product);
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getTitle(), "Uninstall error");
    EXPECT_TRUE (dialog->getMessage().contains ("VST2")) << dialog->getMessage();
    dialog->dismiss();
}

//==============================================================================
TEST (ProductClap, CrashingOrHangingPluginStaysListedAndCanBeUninstalled)
{
    for (auto* variant : { "init-crashes", "init-hangs" })
    {
        SCOPED_TRACE (variant);
        Fixture f ("Big Room Verb", "2.0.0");
        f.product.refreshStatus();
        juce::File (f.product.clapTarget).getParentDirectory().createDirectory();
        ASSERT_TRUE (juce::File (QUILLOTONE_FIXTURES_DIR).getChildFile ("clap").getChildFile (juce::String (variant) + ".clap")
                         .copyFileTo (f.product.clapTarget));
        f.recordVersion ("1.5.0");

        // The refresh answers at once, from the record, while the child works.
        f.product.refreshStatus();
        EXPECT_FALSE (ClapVersionProbe::getInstance()->cachedVersion (f.product.clapTarget).has_value());
        EXPECT_TRUE (f.product.installedCLAP);
        EXPECT_EQ (f.product.statusText, "v1.5.0");
        EXPECT_TRUE (f.product.updateAvailable);

        ASSERT_TRUE (waitUntil ([&] { return ClapVersionProbe::getInstance()->cachedVersion (f.product.clapTarget).has_value(); },
                                ClapVersionProbe::timeoutMs * 3));
        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);    // the row's refresh is posted
        EXPECT_EQ (f.product.versionCLAP, "");
        EXPECT_EQ (f.product.statusText, "v1.5.0");

        ASSERT_TRUE (f.product.startUninstall());
        ASSERT_TRUE (waitUntil ([&] { return ! f.product.uninstallBusy; }));
        EXPECT_FALSE (juce::File (f.product.clapTarget).exists());
        EXPECT_EQ (f.product.statusText, "not installed");
        EXPECT_EQ (openDialog (f.product), nullptr);
    }
}
