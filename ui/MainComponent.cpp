#include "ui/MainComponent.h"

MainComponent::MainComponent()
{
    setSize (width, height);
}

MainComponent::~MainComponent()
{
    downloader.cancel();
}

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xffebe9e2));
}

void MainComponent::resized()
{
}
