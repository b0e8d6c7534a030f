#pragma once

#include <juce_core/juce_core.h>

#include "platform/HttpTransfer.h"
#include "selfupdate/UpdateManifest.h"

#include <atomic>
#include <functional>

/**
    The network and file work of the manager's own update, run on the
    updater's thread ("Manager self-update"): the check of the manifest, and
    the update job that downloads, verifies and stages a new version beside
    the running executable.

    Every wait is bounded and ends at once when the thread is asked to exit:
    transfers abort on that signal, hashing and extraction look at it for
    every chunk, and the steps test it in between. No call here touches a
    component.
*/
class SelfUpdateJob final
{
public:
    /** What the job needs to know about this build and this run. */
    struct Settings
    {
        juce::String platform;              ///< "windows", "macos" or "linux"
        juce::String currentVersion;        ///< this manager's version
        juce::String manifestURL;           ///< ".../plugin-manager/latest.json"
        juce::String payloadBase;           ///< ".../plugin-manager/"
        juce::String publicKey;             ///< the key that must have signed the manifest
        bool unsignedManifests = false;     ///< no key, and manifests are taken unsigned: development builds only
        juce::File executable;              ///< the running manager, the file an update replaces
        int downloadTimeLimitMs = 1800000;  ///< a payload download never takes longer
        int checkTimeLimitMs = 60000;       ///< nor a check, however slowly its answers trickle in

        /** Writes the update helper into the staging folder and starts it;
            tests put a stand-in for the helper here.
        */
        std::function<void (const juce::String& platform, const juce::File& target, const juce::File& staged,
                            const juce::File& stagingFolder, const juce::String& version)> startHelper;
        int helperReadyTimeoutMs = 15000;   ///< how long the helper has to say "ready"

        /** This build's values: its version and platform, the content
            server it was built for, the CMake cache variables
            QUILLOTONE_UPDATE_PUBLIC_KEY and QUILLOTONE_UNSIGNED_UPDATES, and
            the running executable.
        */
        static Settings forThisBuild();
    };

    /** The user-facing failure texts of the update job. */
    struct Messages
    {
        static constexpr const char* cancelled = "Update cancelled.";
        static constexpr const char* notReplaceable = "This copy of Plugin Manager cannot be replaced because its install location is not writable. The running manager has been kept.";
        static constexpr const char* noStagingFolder = "Could not create the update staging folder.";
        static constexpr const char* notDownloaded = "The update could not be downloaded. The running manager has been kept.";
        static constexpr const char* notSaved = "Could not save the update.";
        static constexpr const char* timedOut = "The update download timed out.";
        static constexpr const char* interrupted = "The update download was interrupted.";
        static constexpr const char* unexpectedSize = "The update has an unexpected size.";
        static constexpr const char* notWritten = "Could not write the update.";
        static constexpr const char* integrity = "The update failed its integrity check. The running manager has been kept.";
        static constexpr const char* unexpectedContents = "The update archive has unexpected contents.";
        static constexpr const char* notSigned = "The update must have a valid signature from the current publisher.";
        static constexpr const char* notExtracted = "Could not extract the update.";
        static constexpr const char* noTransaction = "Could not prepare the update transaction.";
        static constexpr const char* helperNotReady = "The update helper could not start. The running manager has been kept.";
        static constexpr const char* notArmed = "Could not arm the update helper.";
    };

    explicit SelfUpdateJob (Settings);

    //==============================================================================
    /** Fetches and checks the manifest and its signature (a development
        build without a key: the manifest alone). The update it offers, or
        an empty record: never throws, never reports anything.
    */
    UpdateInfo check() const;

    /** Prepares the update it is given: proves the executable replaceable,
        creates the staging folder beside it, downloads and verifies the
        payload and stages the new executable. Throws std::runtime_error
        with the message for the user at the first failing step; returns
        once the update helper has been armed (the manager then quits).
        Writes progress from 0 to 1 while the payload arrives.
        The staging folder is left for the caller to delete.
    */
    void runUpdate (const UpdateInfo& update, std::atomic<double>& progress);

    /** True when the executable may be replaced: a path that exists, is not
        a link (a symbolic link or a junction), in a folder that the
        framework says this process can write to.
    */
    static bool isReplaceable (const juce::File& executable);

    /** Turns a verified payload into the staged executable in the staging
        folder and returns it. Windows: a ZIP with exactly one entry, the
        executable; macOS: a ZIP of the ".app" bundle; Linux: the payload is
        the program, renamed, given its run bit and checked whole
        (UpdatePayload::checkStagedExecutable). Throws std::runtime_error
        with the user's message.
    */
    static juce::File stage (const UpdateInfo& update, const juce::File& payload, const juce::File& stagingFolder,
                             const juce::String& platformName);

    /** A GET of the manifest or the payload: no caching on the way,
        10 s to connect, no redirects, at most maxBytes of body.
    */
    static platform::HttpTransfer::Request updateRequest (const juce::String& url, juce::int64 maxBytes);

    /** A manifest signature is no longer than this. */
    static constexpr int maxSignatureBytes = 2048;

    //==============================================================================
    // Written by runUpdate on the worker; read once it has returned.
    const juce::File& getTargetExecutable() const noexcept  { return targetExecutable; }
    const juce::File& getStagingFolder() const noexcept     { return stagingFolder; }
    const juce::File& getStagedExecutable() const noexcept  { return stagedExecutable; }

    const Settings settings;

private:
    void download (const UpdateInfo&, const juce::File& payload, std::atomic<double>& progress);

    /** The transaction file, the helper's start, the wait for its "ready"
        (or its early "error") and the "armed" marker.
    */
    void handOver (const UpdateInfo&);

    juce::File targetExecutable, stagingFolder, stagedExecutable;
};
