#include "account/ServiceTexts.h"

#include "account/ScrambledText.h"

// The extraction tool's location and the digest of the tool this build made.
#include "ExtractionToolPin.h"

// The origins come from the build (CMake cache variables) and are scrambled too.
#define QUILLOTONE_SERVICE  QUILLOTONE_SCRAMBLED (QUILLOTONE_WEB_SERVICE_ORIGIN)
#define QUILLOTONE_CONTENT  QUILLOTONE_SCRAMBLED (QUILLOTONE_CONTENT_ORIGIN)
#define QUILLOTONE_WEBSITE  QUILLOTONE_SCRAMBLED (QUILLOTONE_WEBSITE_ORIGIN)

namespace ServiceTexts
{

namespace
{
    // Joins an origin and a path with exactly one slash between them.
    juce::String join (const juce::String& origin, const juce::String& path)
    {
        return origin.trimCharactersAtEnd ("/") + "/" + path.trimCharactersAtStart ("/");
    }
}

juce::String loginURL()      { return join (QUILLOTONE_SERVICE, QUILLOTONE_SCRAMBLED ("/pm/v1/login")); }
juce::String catalogueURL()  { return join (QUILLOTONE_SERVICE, QUILLOTONE_SCRAMBLED ("/pm/v1/catalogue")); }

juce::StringArray parameterNames()
{
    return { QUILLOTONE_SCRAMBLED ("qm_account"), QUILLOTONE_SCRAMBLED ("qm_secret"),
             QUILLOTONE_SCRAMBLED ("qm_digest"),  QUILLOTONE_SCRAMBLED ("qm_kind") };
}

juce::String errorMarker()   { return QUILLOTONE_SCRAMBLED ("error"); }

juce::String websitePage (const juce::String& path)  { return join (QUILLOTONE_WEBSITE, path); }
juce::String contentAddress (const juce::String& path) { return join (QUILLOTONE_CONTENT, path); }

juce::String rememberedFlagKey()      { return QUILLOTONE_SCRAMBLED ("RmFlag"); }
juce::String rememberedEmailKey()     { return QUILLOTONE_SCRAMBLED ("RmMail"); }
juce::String rememberedPasswordKey()  { return QUILLOTONE_SCRAMBLED ("RmPass"); }

juce::String credentialKey()
{
    return QUILLOTONE_SCRAMBLED ("d8bbf0ac516d815a5d0fb18c8ad9cc31cc0abbb2ccf2f52cb07c0f2cd2569388");
}

juce::String extractionToolPath()    { return QUILLOTONE_SCRAMBLED (QUILLOTONE_EXTRACTION_TOOL_CACHE_PATH); }
juce::String extractionToolDigest()  { return QUILLOTONE_SCRAMBLED (QUILLOTONE_EXTRACTION_TOOL_DIGEST); }
juce::File extractionToolIn (const juce::File& cacheFolder)
{
    return cacheFolder.getChildFile (extractionToolPath().trimCharactersAtStart ("/"));
}

juce::String extractionToolURL()     { return join (QUILLOTONE_CONTENT, QUILLOTONE_SCRAMBLED (QUILLOTONE_EXTRACTION_TOOL_URL_PATH)); }

juce::String emailPlaceholder()      { return QUILLOTONE_SCRAMBLED ("Email"); }
juce::String passwordPlaceholder()   { return QUILLOTONE_SCRAMBLED ("Password"); }
juce::String rememberCaption()       { return QUILLOTONE_SCRAMBLED ("Remember me"); }
juce::String loginCaption()          { return QUILLOTONE_SCRAMBLED ("Log In"); }
juce::String failureWord()           { return QUILLOTONE_SCRAMBLED ("Failed"); }
juce::String failureTitle()          { return QUILLOTONE_SCRAMBLED ("Could not login"); }
juce::String leftLinkCaption()       { return QUILLOTONE_SCRAMBLED ("Create an account"); }
juce::String leftLinkURL()           { return join (QUILLOTONE_WEBSITE, QUILLOTONE_SCRAMBLED ("/my-account/")); }
juce::String rightLinkCaption()      { return QUILLOTONE_SCRAMBLED ("Support"); }
juce::String rightLinkURL()          { return join (QUILLOTONE_WEBSITE, QUILLOTONE_SCRAMBLED ("/contact/")); }

juce::String invalidEmailMessage()           { return QUILLOTONE_SCRAMBLED ("Please enter a valid e-mail address."); }
juce::String invalidPasswordMessage()        { return QUILLOTONE_SCRAMBLED ("Please enter at least 6 characters."); }
juce::String loginConnectionFailedMessage()  { return QUILLOTONE_SCRAMBLED ("Could not connect to the Quillotone server."); }
juce::String emptyResponseMessage()          { return QUILLOTONE_SCRAMBLED ("The server returned an empty response."); }

juce::String syncCancelledMessage()          { return QUILLOTONE_SCRAMBLED ("The sync was cancelled before it could finish."); }
juce::String syncConnectionFailedMessage()   { return QUILLOTONE_SCRAMBLED ("Could not connect to the Quillotone servers."); }

} // namespace ServiceTexts
