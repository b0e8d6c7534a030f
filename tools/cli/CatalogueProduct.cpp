#include "CatalogueProduct.h"

#include "products/ClapVersionProbe.h"
#include "products/ProductNames.h"
#include "products/VersionProbe.h"

CatalogueProduct::CatalogueProduct (const ProductRecord& r)
    : record (r),
      folderName (ProductNames::folderNameFor (r.name)),
      installName (ProductNames::installNameFor (folderName)),
      usableName (ProductNames::isUsable (folderName, installName)),
      freebie (r.isFreebie || ProductNames::isForcedFreebie (r.name))
{
    // Without a usable name the product gets no folders of its own at all.
    if (usableName)
        folders.productFolderName = folderName;
}

ProductStatus::Settings CatalogueProduct::statusSettings (const ManagerSettings::Values& values)
{
    ProductStatus::Settings settings;

    for (auto format : PluginFormat::installable)
        settings.folder[format] = ManagerSettings::withTrailingSeparator (values.path[format]);

    settings.sampleFolder = ManagerSettings::withTrailingSeparator (values.samplesPath);
    return settings;
}

void CatalogueProduct::refresh (const ManagerSettings::Values& values)
{
    ProductStatus::Readers readers;
    readers.recordedVersion = [this]
    {
        return usableName ? VersionProbe::readRecordedVersion (folders.productSettingsFile()) : juce::String();
    };
    readers.fileVersion = [] (const juce::String& path)
    {
        return VersionProbe::probeVersion (path, [] (const juce::File& library)
                                                 {
                                                     return ClapVersionProbe::getInstance()->versionNow (library);
                                                 });
    };

    status = ProductStatus::compute (record, usableName ? installName : juce::String(), statusSettings (values), readers);
}

std::optional<juce::String> CatalogueProduct::installedVersion() const
{
    if (! status.anyInstalled())
        return std::nullopt;

    juce::String lowest;

    for (auto format : PluginFormat::installable)
    {
        const auto& version = status.version[format];

        if (version.isNotEmpty() && (lowest.isEmpty() || VersionProbe::compareVersions (version, lowest) < 0))
            lowest = version;
    }

    if (lowest.isEmpty() && usableName)
        lowest = VersionProbe::normaliseVersion (VersionProbe::readRecordedVersion (folders.productSettingsFile()));

    return lowest;
}
