#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/**
    Which rows a product list shows and in what order: the search and the four
    sort orders of the sort box. Plain code over what the rows say about
    themselves, so it can be tested and timed without a component.
*/
namespace ListOrder
{
    /** The sort box's item ids. */
    enum Sort { nameAscending = 1, nameDescending = 2, updatesFirst = 3, installedFirst = 4 };

    struct Entry
    {
        juce::String name;
        bool updateAvailable = false;
        bool anyInstalled = false;
    };

    /** True when the search text, trimmed, is empty or occurs in the name
        without regard to letter case.
    */
    bool matches (const juce::String& name, const juce::String& searchText);

    /** The indices of the matching entries, in catalogue order, sorted
        stably: equal names keep the catalogue's order. An unknown sort id
        sorts by name ascending.
    */
    std::vector<int> arrange (const std::vector<Entry>& entries, const juce::String& searchText, int sortId);

    /** What the empty list says for this search text. */
    juce::String emptyText (const juce::String& searchText);
}
