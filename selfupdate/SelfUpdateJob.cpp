#include "selfupdate/SelfUpdateJob.h"

#include "app/ManagerVersion.h"

#include "account/ServiceTexts.h"
#include "platform/Platform.h"
#include "selfupdate/ManifestSignature.h"
#include "selfupdate/UpdateArchive.h"
#include "selfupdate/UpdateHelper.h"
#include "selfupdate/UpdatePayload.h"
#include "selfupdate/UpdateTransaction.h"

#include <stdexcept>

// Set by cmake/UpdateSigning.cmake; a build without them must not exist.
#if ! defined (QUILLOTONE_UPDATE_PUBLIC_KEY) || ! defined (QUILLOTONE_UNSIGNED_UPDATES)
 #error "QUILLOTONE_UPDATE_PUBLIC_KEY and QUILLOTONE_UNSIGNED_UPDATES come from the build"
#endif

static_assert (QUILLOTONE_UNSIGNED_UPDATES || sizeof (QUILLOTONE_UPDATE_PUBLIC_KEY) > 1,
               "only a development build may go without the update key");

namespace
{
    [[noreturn]] void fail (const char* message)
    {
        throw std::runtime_error (message);
    }

    bool shouldExit()
    {
        return juce::Thread::currentThreadShouldExit();
    }

    void throwIfCancelled()
    {
        if (shouldExit())
            fail (SelfUpdateJob::Messages::cancelled);
    }

    /** Writes the payload as it arrives, opening the file with the first
        bytes, and reports the share received.
    */
    class PayloadSink final : public juce::OutputStream
    {
    public:
        PayloadSink (const juce::File& f, juce::int64 expected, std::atomic<double>& p)
            : file (f), expectedBytes (expected), progress (p) {}

        bool write (const void* data, size_t size) override
        {
            if (stream == nullptr)
            {
                // Written through a 32 KiB buffer, whatever size the pieces arrive in.
                stream = std::make_unique<juce::FileOutputStream> (file, 32768);

                if (stream->failedToOpen())
                {
                    openFailed = true;
                    return false;
                }
            }

            if (! stream->write (data, size))
                return false;

            written += (juce::int64) size;
            progress.store (juce::jmin (1.0, (double) written / (double) expectedBytes));
            return true;
        }

        void flush() override               { if (stream != nullptr) stream->flush(); }
        juce::int64 getPosition() override  { return written; }
        bool setPosition (juce::int64) override { return false; }

        bool failed() const                 { return stream != nullptr && stream->getStatus().failed(); }
        void close()                        { stream.reset(); }

        const juce::File file;
        const juce::int64 expectedBytes;
        std::atomic<double>& progress;
        std::unique_ptr<juce::FileOutputStream> stream;
        juce::int64 written = 0;
        bool openFailed = false;
    };
}

//==============================================================================
SelfUpdateJob::Settings SelfUpdateJob::Settings::forThisBuild()
{
    Settings s;
    s.platform = UpdateManifest::thisPlatform();
    s.currentVersion = ManagerVersion::text();
    s.manifestURL = ServiceTexts::contentAddress ("plugin-manager/latest.json");
    s.payloadBase = ServiceTexts::contentAddress ("plugin-manager/");
    s.publicKey = QUILLOTONE_UPDATE_PUBLIC_KEY;
    s.unsignedManifests = QUILLOTONE_UNSIGNED_UPDATES != 0 && s.publicKey.isEmpty();
    s.executable = platform::runningExecutable();
    return s;
}

SelfUpdateJob::SelfUpdateJob (Settings s) : settings (std::move (s)) {}

platform::HttpTransfer::Request SelfUpdateJob::updateRequest (const juce::String& url, juce::int64 maxBytes)
{
    platform::HttpTransfer::Request request;
    request.url = url;
    request.extraHeaders = "Cache-Control: no-cache\r\n";
    request.connectTimeoutMs = 10000;
    request.redirects = platform::HttpTransfer::Redirects::none;
    request.maxRedirects = 0;
    request.maxBytes = maxBytes;
    return request;
}

//==============================================================================
UpdateInfo SelfUpdateJob::check() const
{
    // The stall time-out restarts with every byte; this bounds the whole check.
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + settings.checkTimeLimitMs;
    const auto fetch = [deadline] (const juce::String& url, juce::int64 maxBytes, juce::MemoryBlock& body)
    {
        auto request = updateRequest (url, maxBytes);
        request.shouldStop = [deadline] { return juce::Time::getMillisecondCounterHiRes() > deadline; };
        const auto result = platform::HttpTransfer::fetch (request, body);
        return result.completed() && result.statusCode == 200 && ! shouldExit();
    };

    // A body over the limit fails as too large as soon as it passes it.
    juce::MemoryBlock body;

    if (! fetch (settings.manifestURL, UpdateManifest::maxBodyBytes, body))
        return {};

    // Checked before the body is parsed: an unsigned body is not even read.
    // Without a key only a development build goes on.
    if (settings.publicKey.isEmpty())
    {
        if (! settings.unsignedManifests)
            return {};
    }
    else
    {
        juce::MemoryBlock signature;

        if (! fetch (settings.manifestURL + ".sig", maxSignatureBytes, signature)
             || ! ManifestSignature::verify (body, signature, settings.publicKey))
            return {};
    }

    return UpdateManifest::readManifest (body, settings.platform, settings.currentVersion, settings.payloadBase);
}

//==============================================================================
bool SelfUpdateJob::isReplaceable (const juce::File& executable)
{
    return executable.getFullPathName().isNotEmpty() && executable.exists() && ! platform::isLink (executable)
        && executable.getParentDirectory().hasWriteAccess();
}

void SelfUpdateJob::runUpdate (const UpdateInfo& update, std::atomic<double>& progress)
{
    stagingFolder = stagedExecutable = juce::File();
    targetExecutable = settings.executable;

    if (! isReplaceable (targetExecutable))
        fail (Messages::notReplaceable);

    throwIfCancelled();

    // A fresh, unguessable name for every attempt, beside the executable so
    // that the swap is a rename on the same volume.
    juce::Uuid id;
    stagingFolder = targetExecutable.getParentDirectory()
                        .getChildFile (UpdateTransaction::folderPrefix + juce::String::toHexString (id.getRawData(), 16, 0));

    if (stagingFolder.exists() || platform::isLink (stagingFolder) || ! stagingFolder.createDirectory().wasOk()
         || ! stagingFolder.isDirectory())
    {
        stagingFolder = juce::File();
        fail (Messages::noStagingFolder);
    }

    throwIfCancelled();

    const auto payload = stagingFolder.getChildFile ("payload" + UpdateManifest::payloadExtension (settings.platform));
    download (update, payload, progress);

    if (! UpdatePayload::verifyPayload (payload, update, shouldExit))
    {
        throwIfCancelled();
        fail (Messages::integrity);
    }

    throwIfCancelled();
    stagedExecutable = stage (update, payload, stagingFolder, settings.platform);
    throwIfCancelled();

   #if JUCE_MAC
    // The digest came from the manifest; the bundle also has to come from us.
    if (! UpdatePayload::hasSameCodeSigner (stagedExecutable, targetExecutable, shouldExit))
    {
        throwIfCancelled();
        fail (Messages::notSigned);
    }
   #endif

    handOver (update);
}

void SelfUpdateJob::handOver (const UpdateInfo& update)
{
    if (! UpdateTransaction::write (stagingFolder, { targetExecutable.getFullPathName(), update.version }))
        fail (Messages::noTransaction);

    throwIfCancelled();

    // The staged file was checked as the helper will find it when it was
    // staged; the helper moves it without looking at it.
    (settings.startHelper != nullptr ? settings.startHelper : &UpdateHelper::start)
        (settings.platform, targetExecutable, stagedExecutable, stagingFolder, update.version);

    // The helper may run already; without "armed" it changes nothing.
    throwIfCancelled();

    const auto started = juce::Time::getMillisecondCounter();
    const auto ready = stagingFolder.getChildFile ("ready"), error = stagingFolder.getChildFile ("error");
    auto* thread = juce::Thread::getCurrentThread();

    while (! ready.existsAsFile())
    {
        if (error.existsAsFile())
        {
            const auto text = error.loadFileAsString().trim();
            throw std::runtime_error ((text.isNotEmpty() ? text : juce::String ("Update helper failed.")).toStdString());
        }

        throwIfCancelled();

        if (juce::Time::getMillisecondCounter() - started >= (juce::uint32) settings.helperReadyTimeoutMs)
            fail (Messages::helperNotReady);

        throwIfCancelled();

        // A cancel wakes this at once.
        if (thread != nullptr)
            thread->wait (100);
        else
            juce::Thread::sleep (100);
    }

    if (! UpdateTransaction::writeMarker (stagingFolder, "armed", "apply"))
        fail (Messages::notArmed);

    throwIfCancelled();
}

void SelfUpdateJob::download (const UpdateInfo& update, const juce::File& payload, std::atomic<double>& progress)
{
    const auto start = juce::Time::getMillisecondCounterHiRes();
    std::atomic<bool> timedOut { false };

    auto request = updateRequest (update.url, update.size);
    request.shouldStop = [&]
    {
        if (juce::Time::getMillisecondCounterHiRes() - start >= settings.downloadTimeLimitMs)
            timedOut = true;

        return timedOut.load();
    };

    PayloadSink sink (payload, update.size, progress);
    using Outcome = platform::HttpTransfer::Outcome;
    const auto result = platform::HttpTransfer::create (request)->perform (sink);

    throwIfCancelled();

    if (result.outcome == Outcome::aborted && timedOut)
        fail (Messages::timedOut);

    if (result.statusCode != 200 || result.outcome == Outcome::cannotConnect || result.outcome == Outcome::invalidURL
         || result.outcome == Outcome::refusedRedirect)
        fail (Messages::notDownloaded);

    if (sink.openFailed)
        fail (Messages::notSaved);

    // More than the manifest announced: the transfer stopped at its size.
    if (result.outcome == Outcome::tooLarge)
        fail (Messages::unexpectedSize);

    if (result.outcome != Outcome::completed || sink.written != update.size)
        fail (Messages::interrupted);

    throwIfCancelled();
    sink.flush();

    if (sink.failed())
        fail (Messages::notWritten);

    throwIfCancelled();
    sink.close();
}

juce::File SelfUpdateJob::stage (const UpdateInfo& update, const juce::File& payload, const juce::File& stagingFolder,
                                 const juce::String& platformName)
{
    const auto topLevel = UpdateArchive::expectedTopLevelName (platformName);
    const auto staged = stagingFolder.getChildFile (topLevel);

    if (platformName == "linux")
    {
        // The payload is the new program itself: it only changes its name
        // and gets its run bit, and is then checked again as a whole.
        if (! UpdatePayload::isElfX86_64Executable (payload))
            fail (Messages::unexpectedContents);

        throwIfCancelled();

        if (! payload.moveFileTo (staged) || ! staged.setExecutePermission (true)
             || ! UpdatePayload::checkStagedExecutable (staged, update, shouldExit))
        {
            throwIfCancelled();
            fail (Messages::notExtracted);
        }

        return staged;
    }

    const auto linksAllowed = platformName == "macos";
    const ZipReader archive (payload, UpdateArchive::readerRules (linksAllowed));

    if ((platformName == "windows" && archive.getEntries().size() != 1)
         || ! UpdateArchive::validateArchive (archive, topLevel))
        fail (Messages::unexpectedContents);

    throwIfCancelled();

    const auto extracted = UpdateArchive::extractArchive (archive, stagingFolder, shouldExit);
    throwIfCancelled();

    // A bundle on macOS, one program file elsewhere.
    const auto inPlace = linksAllowed ? staged.isDirectory() && ! platform::isLink (staged)
                                            && staged.getChildFile ("Contents/MacOS/Quillotone Plugin Manager").existsAsFile()
                                      : staged.existsAsFile() && ! platform::isLink (staged);

    if (! extracted || ! inPlace)
        fail (Messages::notExtracted);

    return staged;
}
