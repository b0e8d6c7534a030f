#include "selfupdate/UpdatePayload.h"

#include "platform/Platform.h"
#include "selfupdate/Sha256.h"

#include <cstring>

#if ! JUCE_WINDOWS
 #include <sys/stat.h>
#endif

namespace UpdatePayload
{

namespace
{
    // Large enough that the hash, not the reads, sets the pace.
    constexpr int hashBufferBytes = 1 << 20;

    template <typename Int>
    Int readLittleEndian (const juce::uint8* p)
    {
        Int value = 0;

        for (size_t i = sizeof (Int); i-- > 0;)
            value = (Int) ((value << 8) | p[i]);

        return value;
    }

   #if JUCE_MAC
    /** codesign's exit code, with what it wrote to either stream; -1 when it
        did not run, or was stopped or ran out of time (then it is killed).
    */
    int runCodesign (const juce::StringArray& arguments, juce::String& output, const std::function<bool()>& shouldStop)
    {
        juce::StringArray command { "/usr/bin/codesign" };
        command.addArray (arguments);
        juce::ChildProcess process;

        if (! process.start (command, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
            return -1;

        // A deep check reads every file of the bundle; generous, but bounded.
        const auto started = juce::Time::getMillisecondCounter();

        while (! process.waitForProcessToFinish (100))
        {
            if ((shouldStop != nullptr && shouldStop()) || juce::Time::getMillisecondCounter() - started > 300000)
            {
                process.kill();
                return -1;
            }
        }

        output = process.readAllProcessOutput();
        return (int) process.getExitCode();
    }
   #endif
}

juce::String fileSha256 (const juce::File& file, const std::function<bool()>& shouldStop, juce::int64* bytesRead)
{
    juce::FileInputStream in (file);

    if (in.failedToOpen())
        return {};

    juce::HeapBlock<char> buffer (hashBufferBytes);
    Sha256 hash;
    juce::int64 total = 0;

    for (;;)
    {
        if (shouldStop != nullptr && shouldStop())
            return {};

        const auto n = in.read (buffer, hashBufferBytes);

        if (n < 0 || in.getStatus().failed())
            return {};

        if (n == 0)
            break;

        hash.update (buffer, (size_t) n);
        total += n;
    }

    if (bytesRead != nullptr)
        *bytesRead = total;

    return hash.finishAsHex();
}

bool verifyPayload (const juce::File& file, const UpdateInfo& update, const std::function<bool()>& shouldStop)
{
    if (! file.existsAsFile() || file.getSize() != update.size)
        return false;

    juce::int64 hashed = 0;
    const auto digest = fileSha256 (file, shouldStop, &hashed);

    // The size again from what was read: the file may have changed meanwhile.
    return digest.isNotEmpty() && hashed == update.size && digest == update.sha256;
}

bool isElfX86_64Executable (const juce::File& file)
{
    juce::FileInputStream in (file);

    if (in.failedToOpen())
        return false;

    const auto fileSize = in.getTotalLength();
    juce::uint8 header[64] = {};

    if (in.read (header, (int) sizeof (header)) != (int) sizeof (header))
        return false;

    const auto type = readLittleEndian<juce::uint16> (header + 16);
    const auto entry = readLittleEndian<juce::uint64> (header + 24);
    const auto programHeaders = readLittleEndian<juce::uint64> (header + 32);
    const auto programHeaderSize = readLittleEndian<juce::uint16> (header + 54);
    const auto programHeaderCount = readLittleEndian<juce::uint16> (header + 56);

    if (std::memcmp (header, "\x7f" "ELF", 4) != 0
         || header[4] != 2                                          // 64-bit
         || header[5] != 1                                          // little-endian
         || header[6] != 1                                          // ELF version 1
         || (type != 2 && type != 3)                                // executable, or position-independent
         || readLittleEndian<juce::uint16> (header + 18) != 62     // x86-64
         || readLittleEndian<juce::uint32> (header + 20) != 1
         || readLittleEndian<juce::uint16> (header + 52) != 64     // header size
         || entry == 0
         || programHeaderSize != 56 || programHeaderCount == 0
         || programHeaders < 64 || programHeaders > (juce::uint64) fileSize
         || programHeaderCount * (juce::uint64) 56 > (juce::uint64) fileSize - programHeaders)
        return false;

    if (! in.setPosition ((juce::int64) programHeaders))
        return false;

    bool entryIsCode = false, hasInterpreter = false;

    for (int i = 0; i < programHeaderCount; ++i)
    {
        juce::uint8 segment[56] = {};

        if (in.read (segment, (int) sizeof (segment)) != (int) sizeof (segment))
            return false;

        const auto kind = readLittleEndian<juce::uint32> (segment);
        const auto flags = readLittleEndian<juce::uint32> (segment + 4);
        const auto address = readLittleEndian<juce::uint64> (segment + 16);
        const auto memorySize = readLittleEndian<juce::uint64> (segment + 40);

        // A loadable, executable segment that holds the entry point.
        if (kind == 1 && (flags & 1) != 0 && entry >= address && entry - address < memorySize)
            entryIsCode = true;

        if (kind == 3)
            hasInterpreter = true;
    }

    // A shared library is the same ELF type as a position-independent
    // program and may well have an entry point; only a program names the
    // loader that starts it.
    return entryIsCode && (type == 2 || hasInterpreter);
}

#if JUCE_MAC
bool hasSameCodeSigner (const juce::File& stagedBundle, const juce::File& runningExecutable,
                        const std::function<bool()>& shouldStop)
{
    auto runningBundle = runningExecutable;

    while (runningBundle.getFileExtension() != ".app" && runningBundle != runningBundle.getParentDirectory())
        runningBundle = runningBundle.getParentDirectory();

    // "codesign -dv" names the signing team on its error stream; an unsigned
    // manager has none and so takes no update.
    juce::String details;

    if (runCodesign ({ "-dv", "--verbose=2", runningBundle.getFullPathName() }, details, shouldStop) != 0)
        return false;

    const auto team = details.fromFirstOccurrenceOf ("TeamIdentifier=", false, false)
                             .upToFirstOccurrenceOf ("\n", false, false).trim();

    if (team.length() != 10 || ! team.containsOnly ("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"))
        return false;

    // Deep and strict: every nested piece sealed and nothing added since;
    // the requirement asks for a Developer ID certificate of the same team.
    const auto requirement = "=anchor apple generic"
                             " and certificate 1[field.1.2.840.113635.100.6.2.6] exists"
                             " and certificate leaf[field.1.2.840.113635.100.6.1.13] exists"
                             " and certificate leaf[subject.OU] = \"" + team + "\"";
    juce::String ignored;
    return runCodesign ({ "--verify", "--deep", "--strict", "-R", requirement, stagedBundle.getFullPathName() },
                        ignored, shouldStop) == 0;
}
#endif

bool checkStagedExecutable (const juce::File& file, const UpdateInfo& update, const std::function<bool()>& shouldStop)
{
    if (platform::isLink (file) || ! file.existsAsFile())
        return false;

   #if ! JUCE_WINDOWS
    struct stat info {};

    if (::lstat (file.getFullPathName().toRawUTF8(), &info) != 0 || ! S_ISREG (info.st_mode) || (info.st_mode & S_IXUSR) == 0)
        return false;
   #endif

    return isElfX86_64Executable (file) && verifyPayload (file, update, shouldStop);
}

} // namespace UpdatePayload
