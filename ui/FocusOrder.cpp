#include "ui/FocusOrder.h"

#include <algorithm>
#include <numeric>

FocusOrder::FocusOrder (juce::Component& rootToUse, std::function<Regions()> regions)
    : root (rootToUse), regionsOfRoot (std::move (regions))
{
}

//==============================================================================
std::vector<size_t> FocusOrder::readingOrder (const std::vector<juce::Rectangle<int>>& areas)
{
    std::vector<size_t> byTop (areas.size());
    std::iota (byTop.begin(), byTop.end(), size_t { 0 });
    std::stable_sort (byTop.begin(), byTop.end(), [&areas] (size_t a, size_t b)
    {
        return std::make_pair (areas[a].getY(), areas[a].getX()) < std::make_pair (areas[b].getY(), areas[b].getX());
    });

    std::vector<size_t> result;
    result.reserve (areas.size());

    for (size_t i = 0; i < byTop.size();)
    {
        const auto& first = areas[byTop[i]];
        auto end = i + 1;

        while (end < byTop.size() && areas[byTop[end]].getCentreY() < first.getBottom())
            ++end;

        std::stable_sort (byTop.begin() + (std::ptrdiff_t) i, byTop.begin() + (std::ptrdiff_t) end,
                          [&areas] (size_t a, size_t b) { return areas[a].getX() < areas[b].getX(); });

        result.insert (result.end(), byTop.begin() + (std::ptrdiff_t) i, byTop.begin() + (std::ptrdiff_t) end);
        i = end;
    }

    return result;
}

bool FocusOrder::isReachable (const juce::Component& c)
{
    return c.getWantsKeyboardFocus() && c.isShowing() && c.isEnabled();
}

std::vector<juce::Component*> FocusOrder::inReadingOrder (std::vector<juce::Component*> components) const
{
    // Compared in the root's space: a row's buttons live in a scrolled list.
    std::vector<juce::Rectangle<int>> areas;
    areas.reserve (components.size());

    for (auto* c : components)
        areas.push_back (root.getLocalArea (c->getParentComponent(), c->getBounds()));

    std::vector<juce::Component*> ordered;
    ordered.reserve (components.size());

    for (auto index : readingOrder (areas))
        ordered.push_back (components[index]);

    return ordered;
}

//==============================================================================
std::vector<juce::Component*> FocusOrder::getAllComponents (juce::Component* parent)
{
    if (parent == nullptr)
        return {};

    std::vector<juce::Component*> result;

    if (parent == &root)
    {
        for (auto& region : regionsOfRoot())
        {
            std::vector<juce::Component*> reachable;

            for (auto* c : region)
                if (c != nullptr && isReachable (*c))
                    reachable.push_back (c);

            auto ordered = inReadingOrder (std::move (reachable));
            result.insert (result.end(), ordered.begin(), ordered.end());
        }

        return result;
    }

    // Any other container: its reachable controls, not looking into nested containers.
    std::function<void (juce::Component&)> collect = [&] (juce::Component& c)
    {
        for (auto* child : c.getChildren())
        {
            if (isReachable (*child))
                result.push_back (child);

            if (! child->isKeyboardFocusContainer())
                collect (*child);
        }
    };

    collect (*parent);
    return inReadingOrder (std::move (result));
}

juce::Component* FocusOrder::getDefaultComponent (juce::Component* parent)
{
    auto all = getAllComponents (parent);
    return all.empty() ? nullptr : all.front();
}

juce::Component* FocusOrder::neighbour (juce::Component* current, int step)
{
    if (current == nullptr)
        return nullptr;

    auto* container = current->findKeyboardFocusContainer();
    const auto all = getAllComponents (container);
    const auto it = std::find (all.begin(), all.end(), current);

    if (it == all.end())
        return nullptr;

    const auto index = (std::ptrdiff_t) (it - all.begin()) + step;

    // Past either end the framework wraps around to the other end.
    return index >= 0 && index < (std::ptrdiff_t) all.size() ? all[(size_t) index] : nullptr;
}

juce::Component* FocusOrder::getNextComponent (juce::Component* current)      { return neighbour (current, 1); }
juce::Component* FocusOrder::getPreviousComponent (juce::Component* current)  { return neighbour (current, -1); }
