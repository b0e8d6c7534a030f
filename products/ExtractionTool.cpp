#include "products/ExtractionTool.h"

#include "platform/Platform.h"

#include <juce_cryptography/juce_cryptography.h>

namespace ExtractionTool
{

juce::StringArray arguments (const juce::File& tool, const juce::File& installer, const juce::File& outputFolder)
{
    return { tool.getFullPathName(), "-x", installer.getFullPathName(), "-d" + outputFolder.getFullPathName(), "-q", "-y" };
}

juce::String digestOf (const void* data, size_t size)
{
    return juce::SHA256 (data, size).toHexString().toLowerCase();
}

Outcome run (const juce::File& tool, const juce::String& expectedDigest, const juce::File& installer,
             const juce::File& outputFolder, const std::function<bool()>& shouldStop, int timeoutMs,
             const std::function<void()>& afterCheck)
{
    Outcome outcome;

    juce::MemoryBlock bytes;

    if (! platform::isRegularFile (tool) || tool.getSize() > maxToolBytes || ! tool.loadFileAsData (bytes)
         || digestOf (bytes.getData(), bytes.getSize()) != expectedDigest)
    {
        outcome.kind = Outcome::notVerified;
        return outcome;
    }

    if (afterCheck != nullptr)
        afterCheck();

    // A folder made fresh for this run and closed to other accounts: an
    // existing one, whoever made it, is never taken. It goes when the run is over.
    const auto privateFolder = platform::createFreshPrivateFolder (juce::File::getSpecialLocation (juce::File::tempDirectory),
                                                                   "quillotone-tool-");

    if (privateFolder == juce::File())
        return outcome;

    const juce::ScopeGuard removeFolder { [&privateFolder] { privateFolder.deleteRecursively (false); } };

    const auto copy = privateFolder.getChildFile (tool.getFileName());
    const auto output = privateFolder.getChildFile ("output.txt");

    if (auto file = platform::NewFile::create (copy); file == nullptr || ! file->write (bytes.getData(), bytes.getSize()) || ! file->close())
        return outcome;

   #if ! JUCE_WINDOWS
    copy.setExecutePermission (true);
   #endif

    const auto started = juce::Time::getMillisecondCounter();
    const auto exitCode = platform::runProcess (arguments (copy, installer, outputFolder), timeoutMs, shouldStop, output);

    if (juce::FileInputStream in (output); in.openedOk())
    {
        juce::MemoryBlock text;
        in.readIntoMemoryBlock (text, maxOutputBytes);
        outcome.output = juce::String::fromUTF8 (static_cast<const char*> (text.getData()), (int) text.getSize()).trim();
    }

    if (exitCode.has_value())
    {
        outcome.kind = Outcome::exited;
        outcome.exitCode = *exitCode;
    }
    else if (shouldStop != nullptr && shouldStop())
    {
        outcome.kind = Outcome::stopped;
    }
    else if (juce::Time::getMillisecondCounter() - started >= (juce::uint32) timeoutMs)
    {
        outcome.kind = Outcome::timedOut;
    }

    return outcome;
}

} // namespace ExtractionTool
