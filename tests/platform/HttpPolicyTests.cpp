#include <gtest/gtest.h>

#include "platform/HttpTransfer.h"

using Transfer = platform::HttpTransfer;
using Redirects = Transfer::Redirects;

TEST (HttpPolicy, OnlyWebAddressesHaveAnOrigin)
{
    const std::pair<const char*, const char*> cases[] = {
        { "http://Example.com/a",          "http://example.com:80" },
        { "HTTPS://example.com:8443/a?b",  "https://example.com:8443" },
        { "https://example.com",           "https://example.com:443" },
        { "http://[::1]:99/x",             "http://[::1]:99" },
        { "http://127.0.0.1:38080",        "http://127.0.0.1:38080" },
        { "file:///etc/hostname",          "" },
        { "javascript:alert(1)",           "" },
        { "ftp://example.com/x",           "" },
        { "http://user:pw@example.com/",   "" },
        { "http:///nohost",                "" },
        { "http://example.com:port/",      "" },
        { "example.com/x.png",             "" },
    };

    for (auto& [url, origin] : cases)
        EXPECT_EQ (Transfer::originOf (url), origin) << url;
}

TEST (HttpPolicy, RedirectsFollowThePolicy)
{
    struct Case { Redirects policy; const char* from; const char* to; bool allowed; };
    const Case cases[] = {
        { Redirects::sameOrigin,  "https://a.com/x", "https://a.com/y",      true },
        { Redirects::sameOrigin,  "https://a.com/x", "https://A.com:443/y",  true },
        { Redirects::sameOrigin,  "https://a.com/x", "https://b.com/y",      false },
        { Redirects::sameOrigin,  "https://a.com/x", "http://a.com/y",       false },
        { Redirects::sameOrigin,  "http://a.com/x",  "http://a.com:81/y",    false },
        { Redirects::noDowngrade, "https://a.com/x", "https://cdn.b.com/y",  true },
        { Redirects::noDowngrade, "http://a.com/x",  "https://cdn.b.com/y",  true },
        { Redirects::noDowngrade, "http://a.com/x",  "http://cdn.b.com/y",   true },
        { Redirects::noDowngrade, "https://a.com/x", "http://cdn.b.com/y",   false },
        { Redirects::noDowngrade, "https://a.com/x", "file:///etc/passwd",   false },
        { Redirects::none,        "https://a.com/x", "https://a.com/y",      false },
    };

    for (auto& c : cases)
        EXPECT_EQ (Transfer::redirectAllowed (c.policy, c.from, c.to), c.allowed) << c.from << " -> " << c.to;

    const std::tuple<const char*, const char*, const char*> locations[] = {
        { "http://a.com/dir/file?q=1", "/other",            "http://a.com/other" },
        { "http://a.com/dir/file",     "next",              "http://a.com/dir/next" },
        { "http://a.com",              "next",              "http://a.com/next" },
        { "https://a.com/x",           "//b.com/y",         "https://b.com/y" },
        { "https://a.com/x",           "http://c.com/z",    "http://c.com/z" },
        { "https://a.com/x",           "  ",                "" },
    };

    for (auto& [base, location, resolved] : locations)
        EXPECT_EQ (Transfer::resolveLocation (base, location), resolved) << base << " + " << location;
}
