#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "storage/MakerFolders.h"
#include "ui/Utilities.h"

/**
    The window's content: the side menu, the pages and the product lists.

    It owns everything that lives as long as the window; its destructor stops
    every worker before the objects they read are destroyed.
*/
class MainComponent final : public juce::Component
{
public:
    static constexpr int width = 900;
    static constexpr int height = 700;

    MainComponent();
    ~MainComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    MakerFolders& getMakerFolders() noexcept    { return makerFolders; }

private:
    MakerFolders makerFolders;
    Downloader downloader;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
