#pragma once

#include <juce_core/juce_core.h>

#include <optional>

#include "account/ProductRecord.h"
#include "products/ProductStatus.h"
#include "storage/MakerFolders.h"
#include "storage/ManagerSettings.h"

/**
    One catalogue entry with what the files on this machine say about it:
    the command line's counterpart of the product row, without a component.
    It uses the same names, status rules and version readers as the row.
*/
struct CatalogueProduct
{
    explicit CatalogueProduct (const ProductRecord&);

    ProductRecord record;
    juce::String folderName, installName;
    bool usableName = false;
    bool freebie = false;

    /** The product's own view of the maker folder (presets, its settings file). */
    MakerFolders folders;

    /** The last refresh(). */
    ProductStatus::Value status;

    /** Recomputes the status under the given settings, reading the installed
        versions (a CLAP version in a child process, waited for).
    */
    void refresh (const ManagerSettings::Values&);

    /** The version a script most likely wants: the lowest installed format
        version, else the version the product recorded; empty when installed
        without a readable version, nothing when not installed.
    */
    std::optional<juce::String> installedVersion() const;

    /** The settings as the status computation takes them. */
    static ProductStatus::Settings statusSettings (const ManagerSettings::Values&);
};
