// The keyboard and screen-reader half of MainComponent: titles, the Tab
// order and the focus outline.
#include "ui/MainComponent.h"

#include "products/Product.h"
#include "ui/KeyboardNavigation.h"

namespace
{
    // The framework's screen-reader order, without what the login form covers:
    // a reader must not wander to the pages behind it.
    class ScreenReaderOrder final : public juce::ComponentTraverser
    {
    public:
        ScreenReaderOrder (juce::Component& rootToUse, juce::Component& coverToUse)
            : root (rootToUse), cover (coverToUse) {}

        juce::Component* getDefaultComponent (juce::Component* parent) override
        {
            auto all = getAllComponents (parent);
            return all.empty() ? nullptr : all.front();
        }

        juce::Component* getNextComponent (juce::Component* current) override      { return step (current, 1); }
        juce::Component* getPreviousComponent (juce::Component* current) override  { return step (current, -1); }

        std::vector<juce::Component*> getAllComponents (juce::Component* parent) override
        {
            auto all = framework.getAllComponents (parent);

            if (parent == &root && cover.isVisible())
                all.erase (std::remove_if (all.begin(), all.end(), [this] (juce::Component* c)
                                           {
                                               return c != &cover && ! cover.isParentOf (c) && c->getBounds().intersects (cover.getBounds());
                                           }),
                           all.end());

            return all;
        }

    private:
        juce::Component* step (juce::Component* current, int direction)
        {
            if (current == nullptr)
                return nullptr;

            auto* container = current->findFocusContainer();
            auto all = getAllComponents (container);
            auto it = std::find (all.begin(), all.end(), current);

            if (it == all.end())
                return nullptr;

            auto index = (std::ptrdiff_t) (it - all.begin()) + direction;
            return index >= 0 && index < (std::ptrdiff_t) all.size() ? all[(size_t) index] : nullptr;
        }

        juce::Component& root;
        juce::Component& cover;
        juce::FocusTraverser framework;
    };
}

void MainComponent::setUpKeyboardAccess()
{
    setTitle ("Quillotone Plugin Manager");
    setFocusContainerType (FocusContainerType::keyboardFocusContainer);

    searchField.setTitle ("Search plugins");
    sortBox.setDescription ("Sort order");

    footerStatusText.text = [this] { return footerStatus(); };
    footerStatusText.setTitle ("Status");
    addAndMakeVisible (footerStatusText);
    footerStatusText.setBounds (10, getHeight() - 30, 400, 30);     // as wide as the painted status

    keyboardNavigation = std::make_unique<KeyboardNavigation> (*this);
}

std::unique_ptr<juce::ComponentTraverser> MainComponent::createFocusTraverser()
{
    return std::make_unique<ScreenReaderOrder> (*this, loginWindow);
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
