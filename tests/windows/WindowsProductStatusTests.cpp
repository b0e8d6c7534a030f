#include "windows/WindowsTestSupport.h"

#include "products/ProductStatus.h"
#include "storage/ManagerSettings.h"

using WindowsProductStatus = windows_testing::WineAwareTest;
using namespace PluginFormat;

namespace
{
    ProductStatus::Value statusWith (const ProductStatus::Settings& settings)
    {
        ProductRecord record;
        record.name = "Big Room Verb";
        return ProductStatus::compute (record, "BigRoomVerb", settings, {});
    }
}

TEST_F (WindowsProductStatus, DefaultFoldersGiveTheDocumentedTargets)
{
    ProductStatus::Settings settings;

    for (auto format : installable)
        settings.folder[format] = ManagerSettings::withTrailingSeparator (ManagerSettings::defaultFormatPath (format));

    const auto s = statusWith (settings);
    EXPECT_EQ (s.target[VST2], "C:\\Program Files\\VSTPlugins\\BigRoomVerb.dll");
    EXPECT_EQ (s.target[VST3], "C:\\Program Files\\Common Files\\VST3\\BigRoomVerb.vst3");
    EXPECT_EQ (s.target[AAX],  "C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins\\BigRoomVerb.aaxplugin");
    EXPECT_EQ (s.target[CLAP], "C:\\Program Files\\Common Files\\CLAP\\BigRoomVerb.clap");
    EXPECT_EQ (s.legacyClapTarget, "C:\\Program Files\\Common Files\\CLAP\\Quillotone\\BigRoomVerb.clap");
}

TEST_F (WindowsProductStatus, FoldersGetOneSeparatorAndOnlyFullPathsGetTargets)
{
    EXPECT_EQ (ManagerSettings::withTrailingSeparator ("D:\\Plugins"), "D:\\Plugins\\");
    EXPECT_EQ (ManagerSettings::withTrailingSeparator ("D:\\Plugins\\"), "D:\\Plugins\\");

    // An emptied field arrives as "\", which once gave "C:\BigRoomVerb.dll".
    for (auto [folder, usable] : std::initializer_list<std::pair<juce::String, bool>> {
             { ManagerSettings::withTrailingSeparator (""), false }, { "C:\\", false }, { "C:", false },
             { "C:Plugins\\", false }, { "\\Plugins\\", false }, { "Plugins\\", false }, { "\\\\", false },
             { "D:\\Plugins\\", true }, { "D:/Plugins/", true }, { "\\\\server\\share\\VST3\\", true } })
    {
        ProductStatus::Settings settings;
        settings.folder[VST2] = folder;
        const auto target = statusWith (settings).target[VST2];
        EXPECT_EQ (target.isNotEmpty(), usable) << folder << " gave " << target;
        EXPECT_EQ (ProductStatus::isUsableFolder (folder), usable) << folder;
    }
}
