#include "products/ProductUninstall.h"

#include "products/ProductStatus.h"

namespace ProductUninstall
{

bool removeTarget (const juce::String& path, const Hooks& hooks)
{
    // A relative path would resolve against the working folder.
    if (! juce::File::isAbsolutePath (path))
        return true;

    const juce::File target (path);

    if (! target.exists())
        return true;

    if (hooks.moveToTrash != nullptr && hooks.moveToTrash (target))
        return true;

    return target.isDirectory() ? target.deleteRecursively (false) : target.deleteFile();
}

Result run (const Plan& plan, const Hooks& hooks)
{
    Result result;
    auto progress = 0.01;

    auto setProgress = [&] (double value)
    {
        progress = value;

        if (hooks.setProgress != nullptr)
            hooks.setProgress (value);
    };

    auto fail = [&] (const juce::String& message)
    {
        result.errorMessage = message;
        setProgress (1.0);
        return result;
    };

    setProgress (progress);

    for (size_t i = 0; i < PluginFormat::installable.size(); ++i)
    {
        const auto format = PluginFormat::installable[i];

        if (! removeTarget (plan.targets[format], hooks))
            return fail ("Could not remove the " + PluginFormat::name (format) + " format for " + plan.name + ".");

        if (i < 3)
            setProgress (progress + 0.1428);
    }

    if (plan.legacyClapTarget != plan.targets[PluginFormat::CLAP] && ! removeTarget (plan.legacyClapTarget, hooks))
        return fail ("Could not remove the legacy CLAP format for " + plan.name + ".");

    // Formats without a usable folder had no target, so nothing of theirs was
    // looked for; the user is told rather than shown a clean uninstall.
    if (! plan.formatsWithoutFolder.isEmpty())
        return fail (ProductStatus::unusableFolderMessage (plan.name, plan.formatsWithoutFolder, false));

    setProgress (1.0);
    result.succeeded = true;
    return result;
}

} // namespace ProductUninstall
