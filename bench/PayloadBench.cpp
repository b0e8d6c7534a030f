// Verifying an update payload (size and SHA-256, streamed) against
// `sha256sum` of the same file in the same run, and the peak memory after a
// small and after a large payload.
//
// usage: quillotone-payload-bench WORK_FOLDER [MB]
#include <juce_core/juce_core.h>

#include "BenchSupport.h"
#include "selfupdate/Sha256.h"
#include "selfupdate/UpdatePayload.h"

#include <cstdio>

namespace
{
    /** Pseudo-random bytes, written a mebibyte at a time. */
    bool makePayload (const juce::File& file, int megabytes)
    {
        if (file.getSize() == (juce::int64) megabytes << 20)
            return true;

        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::HeapBlock<char> chunk (1 << 20);
        juce::Random random (megabytes);

        for (int i = 0; i < megabytes && out.openedOk(); ++i)
        {
            random.fillBitsRandomly (chunk.getData(), 1 << 20);
            out.write (chunk, 1 << 20);
        }

        out.flush();
        return out.getStatus().wasOk();
    }

    /** Reads the file once so that every timed run finds it in the page cache. */
    void warm (const juce::File& file)
    {
        juce::FileInputStream in (file);
        juce::HeapBlock<char> chunk (1 << 20);

        while (in.read (chunk, 1 << 20) > 0) {}
    }

    juce::String sha256sum (const juce::File& file, double& seconds)
    {
        juce::ChildProcess process;
        const auto start = bench::seconds();

        if (! process.start (juce::StringArray { "sha256sum", file.getFullPathName() }, juce::ChildProcess::wantStdOut))
            return {};

        const auto output = process.readAllProcessOutput();
        seconds = bench::seconds() - start;
        return output.upToFirstOccurrenceOf (" ", false, false).trim();
    }

    juce::String portableDigest (const juce::File& file, double& seconds)
    {
        const auto start = bench::seconds();
        juce::FileInputStream in (file);
        juce::HeapBlock<char> chunk (1 << 20);
        Sha256 hash (false);

        for (int n; (n = in.read (chunk, 1 << 20)) > 0;)
            hash.update (chunk, (size_t) n);

        auto digest = hash.finishAsHex();
        seconds = bench::seconds() - start;
        return digest;
    }
}

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: %s WORK_FOLDER [MB]\n", argv[0]);
        return 2;
    }

    const juce::File work (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    const auto megabytes = argc > 2 ? juce::jmax (1, juce::String (argv[2]).getIntValue()) : 500;
    const auto small = work.getChildFile ("payload-16.bin");
    const auto large = work.getChildFile ("payload-" + juce::String (megabytes) + ".bin");

    if (! work.createDirectory() || ! makePayload (small, 16) || ! makePayload (large, megabytes))
    {
        std::fprintf (stderr, "could not write the payloads into %s\n", work.getFullPathName().toRawUTF8());
        return 1;
    }

    // The small payload first: the peak after it is the baseline.
    double unused = 0;
    const UpdateInfo smallInfo { "1.3.0", {}, sha256sum (small, unused), small.getSize() };

    if (! UpdatePayload::verifyPayload (small, smallInfo))
    {
        std::fprintf (stderr, "the small payload did not verify against sha256sum's digest\n");
        return 1;
    }

    const auto peakSmall = (double) bench::peakMemoryKiB() / 1024.0;
    warm (large);

    // Alternating runs, best of three each: the machine is shared.
    double best = 1e9, bestSum = 1e9, bestPortable = 1e9;
    juce::String digest, portable;

    for (int round = 0; round < 3; ++round)
    {
        double seconds = 0;
        digest = sha256sum (large, seconds);
        bestSum = juce::jmin (bestSum, seconds);

        const UpdateInfo info { "1.3.0", {}, digest, large.getSize() };
        const auto start = bench::seconds();

        if (digest.length() != 64 || ! UpdatePayload::verifyPayload (large, info))
        {
            std::fprintf (stderr, "verification disagrees with sha256sum (%s)\n", digest.toRawUTF8());
            return 1;
        }

        best = juce::jmin (best, bench::seconds() - start);
        portable = portableDigest (large, seconds);
        bestPortable = juce::jmin (bestPortable, seconds);
    }

    if (portable != digest)
    {
        std::fprintf (stderr, "the portable code disagrees with sha256sum\n");
        return 1;
    }

    const auto peakLarge = (double) bench::peakMemoryKiB() / 1024.0;
    const auto mb = (double) megabytes * 1.048576;

    std::printf ("payload verification, %d MiB (%s SHA instructions): %.2f s, %.0f MB/s\n", megabytes,
                 Sha256::hardwareAvailable() ? "with" : "without", best, mb / best);
    std::printf ("sha256sum of the same file:                     %.2f s, %.0f MB/s\n", bestSum, mb / bestSum);
    std::printf ("ratio (sha256sum time / ours): %.2f (goal: 0.9 or more)\n", bestSum / best);
    std::printf ("  portable code alone: %.2f s, ratio %.2f\n", bestPortable, bestSum / bestPortable);
    std::printf ("peak memory: %.1f MB after a 16 MiB payload, %.1f MB after %d MiB (goal: the same)\n",
                 peakSmall, peakLarge, megabytes);
    return 0;
}
