#pragma once

#include <juce_core/juce_core.h>

/**
    The fixed texts of the account and catalogue code that the executable keeps
    scrambled: server addresses, request parameter names, the error marker, the
    remembered-login attribute names, the extraction tool's location and digest,
    and the login and sync messages. Each call builds the text afresh.
*/
namespace ServiceTexts
{
    //==============================================================================
    /** The login endpoint of the maker's web service. */
    juce::String loginURL();

    /** The catalogue endpoint of the maker's web service. */
    juce::String catalogueURL();

    /** The four request parameter names, in their order: e-mail, password,
        e-mail digest, request kind.
    */
    juce::StringArray parameterNames();

    /** The five-letter marker that turns a server answer into a message. */
    juce::String errorMarker();

    /** A page of the maker's web site: the origin followed by the path. */
    juce::String websitePage (const juce::String& path);

    /** A file on the maker's content server: the origin followed by the path. */
    juce::String contentAddress (const juce::String& path);

    //==============================================================================
    /** The global-settings attribute names of the remembered login. */
    juce::String rememberedFlagKey();
    juce::String rememberedEmailKey();
    juce::String rememberedPasswordKey();

    /** The 64-hex-digit key that enciphers the remembered values. */
    juce::String credentialKey();

    //==============================================================================
    /** The extraction tool's path relative to the cache folder ("/..."). */
    juce::String extractionToolPath();

    /** The expected SHA-256 digest of the extraction tool, lower-case hex. */
    juce::String extractionToolDigest();

    /** Where the extraction tool is downloaded from. */
    juce::String extractionToolURL();

    /** The extraction tool's file in a manager cache folder. */
    juce::File extractionToolIn (const juce::File& cacheFolder);

    //==============================================================================
    // Login window texts.
    juce::String emailPlaceholder();
    juce::String passwordPlaceholder();
    juce::String rememberCaption();
    juce::String loginCaption();
    juce::String failureWord();
    juce::String failureTitle();
    juce::String leftLinkCaption();
    juce::String leftLinkURL();
    juce::String rightLinkCaption();
    juce::String rightLinkURL();

    juce::String invalidEmailMessage();
    juce::String invalidPasswordMessage();
    juce::String loginConnectionFailedMessage();
    juce::String emptyResponseMessage();

    // Catalogue sync texts.
    juce::String syncCancelledMessage();
    juce::String syncConnectionFailedMessage();
}
