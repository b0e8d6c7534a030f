#pragma once

#include <juce_events/juce_events.h>

#include <atomic>

class Product;

/**
    The worker of one bulk action: Install All, Update All or Uninstall All.

    It walks the owned products in catalogue order and, for each, starts the
    product's own operation on the message thread, then waits until that
    operation has finished before going on, so that one product operation runs
    at a time. It installs nothing itself.

    It enters the message thread through the framework's message-manager lock
    tied to this thread, which gives up as soon as the thread is asked to stop,
    so a message thread that stops the worker never waits for it to get in.
    Its waits are interruptible: a stop ends the worker at once.
*/
class MainThread final : public juce::Thread
{
public:
    enum class Kind { installAll, updateAll, uninstallAll };

    /** What the worker needs from the main component. */
    struct Owner
    {
        virtual ~Owner() = default;

        /** The owned products; not replaced while a bulk action runs (a sync is
            refused meanwhile). Called by the worker under the message-manager
            lock only.
        */
        virtual const juce::OwnedArray<Product>& bulkProducts() const = 0;

        /** Called on the message thread (under the lock) with the y position of
            the row the action is about to start.
        */
        virtual void bulkProductStarting (int rowY) = 0;

        /** Called on the message thread (under the lock) when a product refused
            to start because of the manager settings; the action then ends, so
            this comes once per action. Shows the dialog.
        */
        virtual void bulkStoppedBySettings (const juce::String& title, const juce::String& message) = 0;
    };

    MainThread (Owner&, Kind);
    ~MainThread() override;

    const Kind kind;

    /** The product whose operation this worker started last; the message
        thread cancels its install when the action is stopped.
    */
    Product* lastStarted() const noexcept   { return started.load(); }

    /** How often a waiting worker looks at its product's busy flag. */
    static constexpr int pollIntervalMs = 150;

private:
    void run() override;

    Owner& owner;
    std::atomic<Product*> started { nullptr };      // written by the worker, read by the message thread

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainThread)
};
