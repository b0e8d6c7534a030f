#include "ProductThread.h"

#include "Product.h"

ProductThread::ProductThread (Product& productToWorkOn, Kind operationKind)
    : juce::Thread ("QuillotoneProductThread"), product (productToWorkOn), kind (operationKind)
{
}

ProductThread::~ProductThread()
{
    // The product stops its workers first; this only covers a forgotten stop.
    stopThread (5000);
}

void ProductThread::run()
{
    switch (kind)
    {
        case Kind::download:   product.runDownload();   break;
        case Kind::install:    product.runInstall();    break;
        case Kind::uninstall:  product.runUninstall();  break;
    }
}
