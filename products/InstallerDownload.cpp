#include "products/InstallerDownload.h"

#include "products/InstallerLink.h"
#include "storage/FileNames.h"
#include "ui/Downloader.h"

namespace InstallerDownload
{

Result run (Downloader& downloader, const Plan& plan, const Hooks& hooks)
{
    Result result;
    const auto fileName = InstallerLink::fileName (plan.link);
    downloader.setURL (juce::URL (plan.link));

    // The name comes from the network and becomes a file in the cache, so
    // anything that is not a plain file name is as good as no name.
    if (fileName.isEmpty() || ! FileNames::isUsableFileName (fileName))
    {
        result.errorMessage = "The download URL for " + plan.name + " is invalid.";
        return result;
    }

    // Downloads go to the manager's own folder, which no other account can write.
    if (plan.installerCache == juce::File())
    {
        result.errorMessage = plan.cacheProblem;
        return result;
    }

    const auto destination = plan.installerCache.getChildFile (fileName);
    result.installerFile = destination;
    downloader.setResumable (true);
    downloader.downloadToFile (destination);

    if (! downloader.wasStarted())
    {
        result.errorMessage = "Could not start the download for " + plan.name + ".";
        return result;
    }

    for (;;)
    {
        if (hooks.setProgress != nullptr)
            hooks.setProgress ((double) downloader.getLengthDownloaded()
                                 / (double) juce::jmax ((juce::int64) 1, downloader.getTotalLength()));

        if (downloader.isTaskFinished())
        {
            if (downloader.wasSuccessful() && destination.existsAsFile() && destination.getSize() > 0)
                result.succeeded = true;
            else
                result.errorMessage = "The download for " + plan.name + " did not complete successfully.";

            return result;
        }

        if (juce::Thread::currentThreadShouldExit() || (hooks.shouldStop != nullptr && hooks.shouldStop()))
        {
            downloader.cancel (hooks.discardOnStop);
            return result;
        }

        // Wakes when the transfer ends or this worker is asked to stop.
        downloader.waitUntilFinished (hooks.pollIntervalMs);
    }
}

} // namespace InstallerDownload
