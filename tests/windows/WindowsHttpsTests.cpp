// WinINet under Wine checks the stand-in's certificates like Windows: once the
// test authority is in the current user's root store of the private prefix,
// only the valid certificate is accepted. scripts/test-windows starts one
// https stand-in per certificate on the ports after the plain one.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include "platform/HttpTransfer.h"
#include "WindowsTestSupport.h"

namespace
{
    /** Adds the PEM authority to the current user's root store; false on any failure. */
    bool trustInCurrentUserRoot (const juce::File& pemFile)
    {
        auto pem = pemFile.loadFileAsString();
        std::vector<BYTE> der (8192);
        DWORD size = (DWORD) der.size();

        if (pem.isEmpty() || ! CryptStringToBinaryA (pem.toRawUTF8(), 0, CRYPT_STRING_BASE64HEADER,
                                                     der.data(), &size, nullptr, nullptr))
            return false;

        auto store = CertOpenStore (CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");

        if (store == nullptr)
            return false;

        const bool added = CertAddEncodedCertificateToStore (store, X509_ASN_ENCODING, der.data(), size,
                                                             CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        CertCloseStore (store, 0);
        return added;
    }
}

TEST (WindowsHttps, OnlyTheValidCertificateIsAccepted)
{
    // On Windows a new root asks the user first; only the private prefix is ours to change.
    if (! windows_testing::runningUnderWine())
        GTEST_SKIP() << "changes the root store only inside Wine's private prefix";

    auto certificates = juce::SystemStats::getEnvironmentVariable ("QUILLOTONE_STANDIN_CERTIFICATES", {});
    auto authority = windows_testing::buildFile (certificates + "/authority.pem");

    if (certificates.isEmpty() || ! authority.existsAsFile())
        GTEST_SKIP() << "no https stand-ins started by scripts/test-windows";

    ASSERT_TRUE (trustInCurrentUserRoot (authority));

    const int plainPort = juce::URL (QUILLOTONE_WEB_SERVICE_ORIGIN).getPort();
    const auto identity = juce::SystemStats::getEnvironmentVariable ("QUILLOTONE_STANDIN_ID", {});

    struct Case { const char* certificate; int portOffset; bool accepted; };
    const Case cases[] = {
        { "valid",       1, true  },
        { "expired",     2, false },
        { "wrong-host",  3, false },
        { "self-signed", 4, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.certificate);
        platform::HttpTransfer::Request request;
        request.url = "https://127.0.0.1:" + juce::String (plainPort + c.portOffset) + "/__standin/id";
        juce::MemoryBlock body;
        const bool succeeded = platform::HttpTransfer::fetch (request, body).succeeded();

        EXPECT_EQ (succeeded, c.accepted);

        if (c.accepted)
        {
            EXPECT_EQ (body.toString(), identity);
        }
    }
}
