#pragma once

#include <juce_core/juce_core.h>

#include "account/ProductRecord.h"
#include "account/ServiceRequest.h"

#include <optional>

/**
    The product records of an account's last successful sync, kept on disk so
    that the manager can list, and uninstall, what is installed while the
    maker's servers cannot be reached.

    One file per account in a folder of the manager's private folder, named
    by a digest of the lower-case e-mail address. It holds the records and
    the time of the sync, never the password or the login result. It is
    written whole under a new name and then renamed over the old one, so a
    crash leaves the old file or the new one. Reading it applies the size
    limit and the parser checks of a catalogue from the network, and a file
    that names another account is not read.

    Plain value class; any thread, but one writer of an account's file at a time.
*/
class KeptCatalogue final
{
public:
    /** Kept catalogues in that folder; an empty File keeps and finds nothing. */
    explicit KeptCatalogue (juce::File folder);

    /** The kept catalogues in the manager's private folder. */
    static KeptCatalogue inPrivateFolder();

    /** What a kept file gives back. */
    struct Contents
    {
        juce::String email;                     // lower case
        juce::Time synced;
        juce::Array<ProductRecord> products, demos;
    };

    /** Replaces the account's kept catalogue; false when it could not be written. */
    bool keep (const juce::String& email, const juce::Array<ProductRecord>& products,
               const juce::Array<ProductRecord>& demos, juce::Time synced) const;

    /** The account's kept catalogue, or nothing when there is none or it is
        damaged, too large, unsafe to parse or names another account.
        Thumbnails are looked for by name in thumbnailsFolder.
    */
    std::optional<Contents> read (const juce::String& email, const juce::File& thumbnailsFolder) const;

    /** Deletes the account's kept catalogue. */
    void forget (const juce::String& email) const;

    /** The account's file (which may not exist). */
    juce::File fileFor (const juce::String& email) const;

    /** The same bound as for a catalogue answer from the network. */
    static constexpr juce::int64 maxBytes = ServiceRequest::maxCatalogueAnswerBytes;

private:
    juce::File folder;
};
