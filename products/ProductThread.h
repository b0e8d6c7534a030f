#pragma once

#include <juce_core/juce_core.h>

class Product;

/**
    The worker that runs one long operation of a product, so the message
    thread stays free. A product owns one per kind and starts it again for
    every operation of that kind.
*/
class ProductThread final : public juce::Thread
{
public:
    enum class Kind { download, install, uninstall };

    ProductThread (Product& productToWorkOn, Kind operationKind);
    ~ProductThread() override;

    void run() override;

    Product& product;
    const Kind kind;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProductThread)
};
