// Install of a product with about 300 MB of plugin and sample content from a
// cached archive, against what the same work costs with standard tools in the
// same run: unzip of the archive, the extraction tool on the installer, and
// cp -r of the unpacked bytes into place. Prints the ratio and peak memory.
//
// usage: quillotone-install-bench WORKDIR [MB] [ROUNDS]

#include <juce_core/juce_core.h>
#include <juce_cryptography/juce_cryptography.h>

#include "BenchSupport.h"
#include "products/InstallOperation.h"

#include <algorithm>
#include <vector>

namespace
{
    double timed (const juce::StringArray& command)
    {
        const auto started = bench::seconds();
        bench::run (command, -1);
        return bench::seconds() - started;
    }

    double median (std::vector<double> values)
    {
        std::sort (values.begin(), values.end());
        return values[values.size() / 2];
    }

}

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: %s WORKDIR [MB] [ROUNDS]\n", argv[0]);
        return 2;
    }

    const auto work = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const auto mb = argc > 2 ? juce::String (argv[2]).getIntValue() : 300;
    const auto rounds = argc > 3 ? juce::String (argv[3]).getIntValue() : 3;
    const juce::File source (QUILLOTONE_SOURCE_DIR), tool (QUILLOTONE_EXTRACTION_TOOL);

    const auto archive = juce::File (bench::run ({ "/usr/bin/python3", source.getChildFile ("bench/install_bench_data.py").getFullPathName(),
                                            QUILLOTONE_INSTALLER_STUB, work.getFullPathName(), "--mb", juce::String (mb) })
                                      .trim().fromLastOccurrenceOf ("\n", false, false));

    if (! archive.existsAsFile())
    {
        std::fprintf (stderr, "install-bench: could not make the archive\n");
        return 1;
    }

    const auto targets = work.getChildFile ("targets"), baseline = work.getChildFile ("baseline");

    InstallOperation::Plan plan;
    plan.name = "Bench Verb";
    plan.installName = "BenchVerb";
    plan.installerFile = archive;
    plan.installerCache = work.getChildFile ("Installers");
    plan.tool = tool;
    plan.toolDigest = juce::SHA256 (tool).toHexString();
    plan.installFlags = { false, true, true, true, true };
    plan.targets = { juce::File(), targets.getChildFile ("vst/BenchVerb.dll"), targets.getChildFile ("vst3/BenchVerb.vst3"),
                     targets.getChildFile ("aax/BenchVerb.aaxplugin"), targets.getChildFile ("clap/BenchVerb.clap") };
    plan.presetsTarget = targets.getChildFile ("Presets/BenchVerb");
    plan.samplesTarget = targets.getChildFile ("Samples/BenchVerb");

    std::vector<double> ours, theirs;
    const auto before = bench::peakMemoryKiB() / 1024;

    for (int round = 0; round < rounds; ++round)
    {
        targets.deleteRecursively();
        baseline.deleteRecursively();
        plan.installerCache.createDirectory();
        bench::run ({ "sync" });

        auto started = bench::seconds();
        auto result = InstallOperation::run (plan, {});
        ours.push_back (bench::seconds() - started);

        if (! result.succeeded)
        {
            std::fprintf (stderr, "install-bench: the install failed: %s\n", result.errorMessage.toRawUTF8());
            return 1;
        }

        // The same steps with standard tools: unpack, extract, copy into place.
        baseline.createDirectory();
        bench::run ({ "sync" });
        const auto unpacked = baseline.getChildFile ("unpacked"), expand = baseline.getChildFile ("expand"), placed = baseline.getChildFile ("placed");
        auto total = timed ({ "unzip", "-q", "-o", archive.getFullPathName(), "-d", unpacked.getFullPathName() });
        total += timed ({ tool.getFullPathName(), "-x", unpacked.getChildFile ("BenchVerbSetup.exe").getFullPathName(),
                          "-d" + expand.getFullPathName(), "-q", "-y" });
        total += timed ({ "cp", "-r", expand.getFullPathName(), placed.getFullPathName() });
        theirs.push_back (total);
    }

    targets.deleteRecursively();
    baseline.deleteRecursively();

    const auto ourMedian = median (ours), theirMedian = median (theirs);
    std::printf ("install of %d MB: ours median %.2f s; unzip + tool + cp -r median %.2f s (%d rounds)\n",
                 mb, ourMedian, theirMedian, rounds);
    std::printf ("ratio %.2f (goal 1.2 or less); peak memory %ld MiB (%ld MiB before the installs)\n",
                 ourMedian / theirMedian, bench::peakMemoryKiB() / 1024, before);
    return 0;
}
