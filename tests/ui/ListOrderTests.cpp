#include <gtest/gtest.h>

#include "ui/ListOrder.h"

namespace
{
    // Catalogue order; two equal names to see the sorts stay stable.
    const std::vector<ListOrder::Entry> catalogue {
        { "Hushgate EQ",   false, true  },
        { "Twin",          true,  false },
        { "big room verb", false, false },
        { "Equinox",       true,  true  },
        { "Twin",          false, true  },
        { "Air Shelf",     false, false },
    };

    std::vector<int> arranged (const juce::String& search, int sort)
    {
        return ListOrder::arrange (catalogue, search, sort);
    }
}

TEST (ListOrder, SearchIsTrimmedAndIgnoresLetterCase)
{
    const std::vector<int> eqRows { 3, 0 };      // name order: Equinox, Hushgate EQ

    EXPECT_EQ (arranged ("eq", ListOrder::nameAscending), eqRows);
    EXPECT_EQ (arranged (" EQ ", ListOrder::nameAscending), eqRows);
    EXPECT_EQ (arranged ("  ", ListOrder::nameAscending).size(), catalogue.size());
    EXPECT_TRUE (arranged ("zzz", ListOrder::nameAscending).empty());

    EXPECT_EQ (ListOrder::emptyText (""), "No plugins available.");
    EXPECT_EQ (ListOrder::emptyText ("   "), "No plugins available.");
    EXPECT_EQ (ListOrder::emptyText ("zzz"), "No plugins match your search.");
}

TEST (ListOrder, SortsAreStableAndFallBackToTheName)
{
    struct Case { int sort; std::vector<int> expected; };

    const Case cases[] = {
        { ListOrder::nameAscending,  { 5, 2, 3, 0, 1, 4 } },
        { ListOrder::nameDescending, { 1, 4, 0, 3, 2, 5 } },     // the two "Twin" keep catalogue order
        { ListOrder::updatesFirst,   { 3, 1, 5, 2, 0, 4 } },
        { ListOrder::installedFirst, { 3, 0, 4, 5, 2, 1 } },
        { 0,                         { 5, 2, 3, 0, 1, 4 } },     // nothing selected: A-Z
    };

    for (auto& c : cases)
        EXPECT_EQ (arranged ({}, c.sort), c.expected) << "sort " << c.sort;
}
