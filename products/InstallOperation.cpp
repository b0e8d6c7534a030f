#include "products/InstallOperation.h"

#include "platform/Platform.h"
#include "products/ExtractionTool.h"
#include "products/InstallerArchive.h"
#include "products/InstallerLayout.h"
#include "products/PluginPlacement.h"

namespace InstallOperation
{

juce::File workFolderOf (const Plan& plan)
{
    // Never the downloaded archive, whose name comes from the link.
    const auto work = plan.installerCache.getChildFile (plan.installName);
    return work == plan.installerFile ? plan.installerCache.getChildFile (plan.installName + " unpacked") : work;
}

juce::File expandFolderOf (const Plan& plan)    { return workFolderOf (plan).getChildFile ("Expand"); }

namespace
{
    /** One install's running state: its progress and its first failure. */
    struct Run
    {
        const Plan& plan;
        const Hooks& hooks;
        double progress = 0.7;
        Result result;

        bool stopRequested() const      { return hooks.shouldStop != nullptr && hooks.shouldStop(); }

        void setProgress (double value)
        {
            progress = value;

            if (hooks.setProgress != nullptr)
                hooks.setProgress (value);
        }

        void advance()                  { setProgress (progress + 0.025); }

        /** Records a failure; false so the caller goes to the clean-up. */
        bool fail (const juce::String& message)
        {
            result.errorMessage = message;
            setProgress (1.0);
            return false;
        }

        bool fail (const char* prefix)  { return fail (prefix + plan.name + "."); }

        /** A step gave up on a stop request: the install ends silently. */
        bool endedByStop()
        {
            setProgress (1.0);
            return false;
        }

        /** The stop check between steps: true when the install must end silently. */
        bool stopped()
        {
            if (! stopRequested())
                return false;

            setProgress (1.0);
            return true;
        }

        bool placeFormats();
        bool placeContent();
        bool steps();
    };

    struct FormatTexts
    {
        PluginFormat::Format format;
        const char* createPrefix;
        const char* installPrefix;
    };

    constexpr FormatTexts formatTexts[] = {
        { PluginFormat::VST2, "Could not create the VST2 folder for ", "Could not install the VST2 format for " },
        { PluginFormat::VST3, "Could not create the VST3 folder for ", "Could not install the VST3 format for " },
        { PluginFormat::AAX,  "Could not create the AAX folder for ",  "Could not install the AAX format for " },
        { PluginFormat::CLAP, "Could not create the CLAP folder for ", "Could not install the CLAP format for " },
    };

    bool Run::steps()
    {
        // The archive, unpacked into a work folder of its own.
        const auto work = workFolderOf (plan);
        work.deleteRecursively (false);

        if (! work.createDirectory())
            return fail ("Could not prepare the installer cache for ");

        const auto unpacked = InstallerArchive::unpack (plan.installerFile, work, hooks.shouldStop);

        if (unpacked.stopped)
            return endedByStop();

        if (! unpacked.succeeded)
            return fail (unpacked.error);

        setProgress (0.7);

        if (stopped())
            return false;

        advance();

        // The installer program: the first one directly in the work folder.
        const auto programs = work.findChildFiles (juce::File::findFiles, false, "*.exe");

        if (programs.isEmpty() || ! programs.getFirst().existsAsFile())
            return fail ("Could not find the Windows installer executable for ");

        const auto expand = expandFolderOf (plan);
        expand.deleteRecursively (false);

        const auto tool = ExtractionTool::run (plan.tool, plan.toolDigest, programs.getFirst(), expand,
                                               hooks.shouldStop, hooks.toolTimeLimitMs);

        if (tool.kind == ExtractionTool::Outcome::stopped)
            return endedByStop();

        if (tool.kind == ExtractionTool::Outcome::exited && tool.exitCode != 0 && tool.output.isNotEmpty())
            return fail (tool.output);

        if (! tool.succeeded())
            return fail ("Could not extract the Windows installer for ");

        advance();

        if (stopped())
            return false;

        // Known only now, and refused before anything is placed.
        if (plan.samplesTarget == juce::File()
             && InstallerLayout::findSampleSource (expand, plan.installName).isDirectory())
            return fail (juce::String ("The folder for samples in Settings is empty or not a full path, so ") + plan.name
                         + " was not installed. Choose a folder in Settings.");

        return placeFormats() && placeContent();
    }

    bool Run::placeFormats()
    {
        for (auto& texts : formatTexts)
        {
            if (texts.format != PluginFormat::VST2 && stopped())
                return false;

            if (! plan.installFlags[texts.format])
                continue;

            const auto& target = plan.targets[texts.format];

            if (target == juce::File() || ! PluginPlacement::ensureFolder (target.getParentDirectory()))
                return fail (texts.createPrefix);

            const auto source = InstallerLayout::chooseSource (texts.format, expandFolderOf (plan), plan.installName);
            const auto placed = PluginPlacement::placeFormat (source, target, texts.installPrefix + plan.name + ".",
                                                              hooks.shouldStop);

            if (placed.stopped)
                return endedByStop();

            if (! placed.succeeded)
                return fail (placed.failure);

            // The old CLAP place goes once the new one stands; if it cannot
            // go, the new plugin is in place all the same. The two may be one
            // place under two spellings (a CLAP folder named Quillotone, or
            // reached through a link): the fresh plugin stays.
            if (texts.format == PluginFormat::CLAP && plan.legacyClapTarget != juce::File()
                 && plan.legacyClapTarget != target && plan.legacyClapTarget.exists()
                 && ! platform::isSameObject (plan.legacyClapTarget, target))
                if (hooks.moveToTrash == nullptr || ! hooks.moveToTrash (plan.legacyClapTarget))
                    plan.legacyClapTarget.isDirectory() ? plan.legacyClapTarget.deleteRecursively (false)
                                                        : plan.legacyClapTarget.deleteFile();

            advance();
        }

        return true;
    }

    bool Run::placeContent()
    {
        const std::tuple<juce::File, juce::File, const char*> contents[] = {
            { InstallerLayout::findPresetSource (expandFolderOf (plan), plan.installName), plan.presetsTarget,
              "Could not install the presets for " },
            { InstallerLayout::findSampleSource (expandFolderOf (plan), plan.installName), plan.samplesTarget,
              "Could not install the sample content for " },
        };

        for (auto& [source, destination, prefix] : contents)
        {
            if (stopped())
                return false;

            if (source.isDirectory())
            {
                const auto merged = PluginPlacement::transferContent (source, destination, prefix + plan.name + ".",
                                                                      hooks.shouldStop);

                if (merged.stopped)
                    return endedByStop();

                if (! merged.succeeded)
                    return fail (merged.failure);
            }

            advance();
        }

        return true;
    }
}

Result run (const Plan& plan, const Hooks& hooks)
{
    Run run { plan, hooks };

    if (run.stopRequested())
    {
        run.setProgress (1.0);
        return {};
    }

    if (plan.installerCache == juce::File())
    {
        run.fail ("Could not prepare the installer cache for ");
        return run.result;
    }

    if (! plan.installerFile.existsAsFile())
    {
        run.fail ("The installer for " + plan.name + " could not be found.");
        return run.result;
    }

    const auto completed = run.steps();

    // Whatever happened, the unpacked installer and the tool's output go;
    // the downloaded archive stays in the cache.
    workFolderOf (plan).deleteRecursively (false);

    run.result.succeeded = completed && ! run.stopRequested();
    run.setProgress (1.0);
    return run.result;
}

} // namespace InstallOperation
