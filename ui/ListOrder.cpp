#include "ui/ListOrder.h"

#include <algorithm>

namespace ListOrder
{

bool matches (const juce::String& name, const juce::String& searchText)
{
    const auto wanted = searchText.trim();
    return wanted.isEmpty() || name.containsIgnoreCase (wanted);
}

std::vector<int> arrange (const std::vector<Entry>& entries, const juce::String& searchText, int sortId)
{
    std::vector<int> shown;

    for (int i = 0; i < (int) entries.size(); ++i)
        if (matches (entries[(size_t) i].name, searchText))
            shown.push_back (i);

    auto byName = [&entries] (int a, int b) { return entries[(size_t) a].name.compareIgnoreCase (entries[(size_t) b].name) < 0; };

    auto flagFirst = [&entries, &byName] (bool Entry::* flag)
    {
        return [&entries, &byName, flag] (int a, int b)
        {
            const auto fa = entries[(size_t) a].*flag, fb = entries[(size_t) b].*flag;
            return fa != fb ? fa : byName (a, b);
        };
    };

    switch (sortId)
    {
        case nameDescending:
            std::stable_sort (shown.begin(), shown.end(), [&byName] (int a, int b) { return byName (b, a); });
            break;

        case updatesFirst:    std::stable_sort (shown.begin(), shown.end(), flagFirst (&Entry::updateAvailable)); break;
        case installedFirst:  std::stable_sort (shown.begin(), shown.end(), flagFirst (&Entry::anyInstalled)); break;
        default:              std::stable_sort (shown.begin(), shown.end(), byName); break;
    }

    return shown;
}

juce::String emptyText (const juce::String& searchText)
{
    return searchText.trim().isEmpty() ? "No plugins available." : "No plugins match your search.";
}

} // namespace ListOrder
