#pragma once

#include <juce_core/juce_core.h>

#include "account/ProductRecord.h"

#include <memory>

/**
    The rules for reading the web service's catalogue answer. The answer comes
    from the network, so it is checked before the framework's parser sees it.
*/
namespace CatalogueParser
{
    /** A catalogue nests two levels; anything far deeper is not one. */
    constexpr int maxDepth = 16;

    /** True when the text holds no DOCTYPE or other markup declaration (the
        framework's parser expands entities without limit) and its elements
        nest at most maxDepth deep (the parser recurses once per level),
        counting start and end tags, so no end tag may come without its start.
    */
    bool isSafeToParse (const juce::String& text);

    /** The parsed document, or null when the text has no root element or is
        not safe to parse.
    */
    std::unique_ptr<juce::XmlElement> parse (const juce::String& text);

    /** How many "PLUGIN" and "PLUGIN_DEMO" children have a non-blank name. */
    int countNamedEntries (const juce::XmlElement& root);

    /** True for an owned entry whose installer number (or installer) is "10". */
    bool isExcludedOwnedEntry (const juce::XmlElement& entry);

    /** The record of a "PLUGIN" or "PLUGIN_DEMO" element; demos carry no hash,
        date or NFR mark. The thumbnail path is filled in by the sync.
    */
    ProductRecord readRecord (const juce::XmlElement& entry, bool isDemo);

    /** Leading decimal digits with an optional sign; anything else reads 0. */
    int readId (const juce::String& text);

    /** The cache file for an "imageURL": the part after its last "/", mapped
        to a safe name of its own in the thumbnails folder. Empty when there
        is no name, or the address is not http or https.
    */
    juce::File thumbnailFile (const juce::File& thumbnailsFolder, const juce::String& imageURL);
}
