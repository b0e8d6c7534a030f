#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

/**
    The order in which Tab and Shift+Tab visit the controls of a container.

    The owner names its regions in reading order (say, a side menu, a tool bar,
    a list); within a region the controls go top to bottom, and left to right
    on one line. Controls that cannot take the keyboard now (hidden, disabled,
    or not wanting focus) are skipped, so one list of regions serves every
    page. A container without regions, such as a dialog, is read as one
    region. Message thread only.
*/
class FocusOrder final : public juce::ComponentTraverser
{
public:
    using Regions = std::vector<std::vector<juce::Component*>>;

    /** The root's regions are asked for on every move, so they follow the page
        on show and rows that come and go.
    */
    FocusOrder (juce::Component& root, std::function<Regions()> regionsOfRoot);

    //==============================================================================
    juce::Component* getDefaultComponent (juce::Component* parent) override;
    juce::Component* getNextComponent (juce::Component* current) override;
    juce::Component* getPreviousComponent (juce::Component* current) override;
    std::vector<juce::Component*> getAllComponents (juce::Component* parent) override;

    //==============================================================================
    /** Indices of the rectangles in reading order: lines from top to bottom,
        where a rectangle whose vertical centre lies within the first one of a
        line joins that line, and left to right within a line.
    */
    static std::vector<size_t> readingOrder (const std::vector<juce::Rectangle<int>>& areas);

    /** Whether Tab may stop on the component now. */
    static bool isReachable (const juce::Component&);

private:
    std::vector<juce::Component*> inReadingOrder (std::vector<juce::Component*>) const;
    juce::Component* neighbour (juce::Component* current, int step);

    juce::Component& root;
    std::function<Regions()> regionsOfRoot;
};
