#pragma once

#include <juce_core/juce_core.h>

#include "account/ServiceRequest.h"

#include <functional>
#include <optional>

class MakerFolders;

/**
    The login as the login window and the command line share it: the form
    check, the request, and the remembered login in the global settings file.

    Plain functions: the request blocks its calling worker (never the message
    thread), the rest reads and writes the settings file at once.
*/
namespace RememberedLogin
{
    struct Credentials
    {
        juce::String email, password;
    };

    /** The validation rules: the message to show, or empty when the form is fine. */
    juce::String validate (const juce::String& email, const juce::String& password);

    /** Sends the login request and reads the answer. A stop of the calling
        worker thread, or shouldStop, aborts it at once.
    */
    ServiceRequest::LoginOutcome request (const juce::String& email, const juce::String& password,
                                          std::function<bool()> shouldStop = {});

    /** The remembered login, or nothing when none is remembered. A value that
        an earlier version wrote is written again the new way on the way.
    */
    std::optional<Credentials> read (MakerFolders&);

    /** Stores the enciphered e-mail, password and "1". */
    void store (MakerFolders&, const juce::String& email, const juce::String& password);

    /** Stores the enciphered empty e-mail, empty password and "0". */
    void clear (MakerFolders&);
}
