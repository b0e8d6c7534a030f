// The keyboard and screen-reader half of MainComponent: titles, the Tab
// order and the focus outline.
#include "ui/MainComponent.h"

#include "products/Product.h"
#include "ui/KeyboardNavigation.h"

void MainComponent::setUpKeyboardAccess()
{
    setTitle ("Quillotone Plugin Manager");
    setFocusContainerType (FocusContainerType::keyboardFocusContainer);

    searchField.setTitle ("Search plugins");
    sortBox.setDescription ("Sort order");

    footerStatusText.text = [this] { return footerStatus(); };
    footerStatusText.setTitle ("Status");
    addAndMakeVisible (footerStatusText);
    footerStatusText.setBounds (10, getHeight() - 30, 120, 30);

    keyboardNavigation = std::make_unique<KeyboardNavigation> (*this);
}

std::unique_ptr<juce::ComponentTraverser> MainComponent::createKeyboardFocusTraverser()
{
    return std::make_unique<FocusOrder> (*this, [this] { return focusRegions(); });
}

FocusOrder::Regions MainComponent::focusRegions()
{
    auto componentsOf = [] (auto& array)
    {
        std::vector<juce::Component*> result;

        for (auto& c : array)
            result.push_back (&c);

        return result;
    };

    // Nothing behind the login form may be reached while it covers the window.
    if (loginWindow.isVisible())
        return { std::vector<juce::Component*> (loginWindow.getChildren().begin(), loginWindow.getChildren().end()) };

    FocusOrder::Regions regions;
    regions.push_back (componentsOf (menuLabels));

    auto toolBar = componentsOf (bulkButtons);
    toolBar.push_back (&searchField);
    toolBar.push_back (&sortBox);
    regions.push_back (toolBar);

    // Sync stands at the right, over the list's buttons.
    regions.push_back ({ &syncButton });

    for (auto* rows : { &products, &demos })
    {
        std::vector<juce::Component*> buttons;

        for (auto* row : *rows)
        {
            buttons.push_back (&row->getInstallButton());
            buttons.push_back (&row->getUninstallButton());
        }

        regions.push_back (std::move (buttons));
    }

    for (auto& region : settingsPage.focusRegions())
        regions.push_back (region);

    regions.push_back (componentsOf (supportButtons));
    return regions;
}
