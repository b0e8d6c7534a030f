#pragma once

#include <juce_core/juce_core.h>

/**
    One catalogue entry as the web service sent it, after the sync's parsing
    rules. Plain data: the sync thread builds it, the message thread turns it
    into a Product.
*/
struct ProductRecord
{
    int id = 0;
    juce::String name;
    juce::String hash;
    juce::String date;
    juce::String latestVersion;
    juce::String productURL;
    juce::String thumbnailFile;         // full path of the cached image, or empty
    juce::String downloadURLMac;
    juce::String downloadURLWindows;
    juce::String downloadURLLinux;
    bool isFreebie = false;
    bool isDemo = false;
    bool isNFR = false;
};
