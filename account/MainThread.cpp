#include "account/MainThread.h"

#include "products/Product.h"

MainThread::MainThread (Owner& o, Kind k)
    : juce::Thread ("QuillotoneMainThread"), kind (k), owner (o)
{
}

MainThread::~MainThread()
{
    // The owner stops it first; this only covers a forgotten stop, and the
    // worker ends at once on a stop request.
    stopThread (10000);
}

void MainThread::run()
{
    started = nullptr;

    for (int i = 0;; ++i)
    {
        if (threadShouldExit())
            return;

        Product* product = nullptr;
        bool operationStarted = false;

        {
            const juce::MessageManagerLock lock (this);

            if (! lock.lockWasGained())
                return;

            // The list and the rows belong to the message thread.
            const auto& products = owner.bulkProducts();

            if (i >= products.size())
                return;

            product = products[i];

            // Tested here, when the product's turn comes.
            if (kind == Kind::updateAll && ! product->updateAvailable)
                continue;

            owner.bulkProductStarting (product->getY());

            // A settings error would refuse every product after this one too.
            Product::SettingsError settingsError;
            operationStarted = kind == Kind::uninstallAll ? product->startUninstall (&settingsError)
                                                          : product->startInstall (&settingsError);

            if (settingsError.message.isNotEmpty())
            {
                owner.bulkStoppedBySettings (settingsError.title, settingsError.message);
                return;
            }
        }

        if (! operationStarted)
            continue;

        started = product;
        const auto& busy = kind == Kind::uninstallAll ? product->uninstallBusy : product->installBusy;

        // A stop ends the wait at once; the install kinds' running operation is
        // then cancelled by whoever stopped the action, an uninstall runs on.
        while (busy)
        {
            if (threadShouldExit())
                return;

            wait (pollIntervalMs);
        }
    }
}
