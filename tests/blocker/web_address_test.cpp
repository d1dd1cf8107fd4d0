#include "blocker/web_address.h"

#include <gtest/gtest.h>

#include "blocker/allowed_sites.h"

namespace quellix::test {
namespace {

TEST(WebAddressTest, OnlyAWellFormedWebAddressReachesTheShellAndNothingInItCanBecomeAnArgument)
{
    const std::pair<std::string, std::string> safe[] = {
        {"HTTPS://Example.COM/", "https://example.com/"},
        {"http://x/a b\"c'd<e>", "http://x/a%20b%22c%27d%3Ce%3E"},
        {"http://x/\r\n\t\x7F", "http://x/%0D%0A%09%7F"},
        {std::string("http://x/a\0b", 12), "http://x/a%00b"},
        {"http://x/%41%zz%", "http://x/%41%25zz%25"},
        {"http://b\u00FCcher.example:8080/?q=\u00E9", "http://xn--bcher-kva.example:8080/?q=%C3%A9"},
        {"http://user:pw@host/", "http://user:pw@host/"},
        {"http://host\\path", "http://host/path"},
        {"HTTP://WWW.Z.COM:65535/a|b%41", "http://www.z.com:65535/a%7Cb%41"},
        {"http://[::ffff:1.2.3.4]/", "http://[::ffff:1.2.3.4]/"},
    };
    for (const auto& [text, expected] : safe)
        EXPECT_EQ(ShellSafeWebAddress(text), expected) << text;

    const std::string refused[] = {"javascript:alert(1)",
                                   "file:///C:/Windows/",
                                   "\\\\server\\share\\x.exe",
                                   "ftp://x/",
                                   "http:/x/",
                                   "http:/xy/",
                                   "http://x:65536/",
                                   "http://x:000080/",
                                   "http://" + std::string(64, 'a') + ".example/",
                                   "http://[.]/",
                                   "http://[1]/",
                                   "http://",
                                   "http:///path",
                                   "http://x\" --injected=1 \"",
                                   "http://a b/",
                                   "http://x:80a/",
                                   "example.com",
                                   "",
                                   " http://a/",
                                   "mailto:a@b",
                                   "C:\\x.bat"};
    for (const std::string& text : refused)
        EXPECT_EQ(ShellSafeWebAddress(text), std::nullopt) << text;

    const std::string longest = "http://x/" + std::string(kMaxWebAddressLength - 9, 'a');
    EXPECT_EQ(ShellSafeWebAddress(longest), longest);
    EXPECT_EQ(ShellSafeWebAddress(longest + "a"), std::nullopt);
    EXPECT_EQ(ShellSafeWebAddress("http://x/" + std::string(700, ' ')), std::nullopt) << "too long once encoded";
}

// The same table runs natively and under Wine, where Windows' own conversion does the work.
TEST(WebAddressTest, AnInternationalisedHostTakesTheBrowsersFormHoweverItIsWritten)
{
    const std::pair<const char*, const char*> hosts[] = {
        {"B\u00DCCHER.example", "xn--bcher-kva.example"},
        {"bu\u0308cher.example", "xn--bcher-kva.example"},            // u and a combining diaeresis
        {"b\u00FCcher\u3002example\u3002", "xn--bcher-kva.example"},  // ideographic full stops
        {"\uFF42\u00FCcher\uFF0Eexample", "xn--bcher-kva.example"},   // full-width letter and stop
        {"b\u00FCcher\uFF61example", "xn--bcher-kva.example"},        // half-width ideographic stop
        {"\uFF25\uFF38\uFF21\uFF2D\uFF30\uFF2C\uFF25.com", "example.com"},
        {"\u00DE.example", "xn--vda.example"},  // the last capital of Latin-1
        {"\u4F8B.example", "xn--fsq.example"},
        {"\u041F\u0420\u0418\u041C\u0415\u0420.\u0440\u0444", "xn--e1afmkfd.xn--p1ai"},
    };
    for (const auto& [written, ascii] : hosts)
        EXPECT_EQ(NormalizeHost(written), ascii) << written;
    for (const char* refused : {"b\u00FC cher.example", "\xC3.example", "b\u00FCcher..example"})
        EXPECT_EQ(NormalizeHost(refused), std::nullopt) << refused;

    EXPECT_EQ(ShellSafeWebAddress("http://B\u00DCCHER.example/"), "http://xn--bcher-kva.example/");
    AllowedSites sites;
    ASSERT_TRUE(sites.Add("B\u00DCCHER.example"));
    EXPECT_TRUE(sites.AllowsPagesOf("http://www.bu\u0308cher.example/"));
}

TEST(AllowedSitesTest, APageIsOnASiteByItsHostAloneAtADotBoundaryInAnyCase)
{
    AllowedSites sites;
    EXPECT_FALSE(sites.AllowsPagesOf("http://example.com/")) << "an empty list allows nothing";
    for (const char* host : {"Example.COM", "b\u00FCcher.example", "10.0.0.1", "[::1]", "intranet"})
        EXPECT_TRUE(sites.Add(host)) << host;
    EXPECT_FALSE(sites.Add("example.com")) << "there already";
    for (const char* notHost : {"", "a b", "http://x/", "a..b"})
        EXPECT_FALSE(sites.Add(notHost)) << notHost;
    sites.SetPolicySites({"test"});

    const char* allowed[] = {
        "http://example.com/",
        "https://www.EXAMPLE.com:8443/path?q",
        "http://mail.example.com./",
        "http://user:pw@deep.sub.example.com/",
        "HTTP://xn--bcher-kva.example/",
        "http://b\u00FCcher.EXAMPLE/",
        "http://10.0.0.1:80/",
        "http://[::1]/",
        "http://intranet/",
        "http://test/",                     // the policy's
        "http://example.com\\evil.test/",   // the browser ends the host at the backslash
        "http://evil.test@x@example.com/",  // the host follows the last '@'
    };
    for (const char* page : allowed)
        EXPECT_TRUE(sites.AllowsPagesOf(page)) << page;

    const char* refused[] = {
        "http://badexample.com/",
        "http://example.com.evil.test/",
        "http://example.com@evil.test/",  // user info is not the host
        "http://evil.test/?u=http://example.com/",
        "http://www.intranet/",  // a site of one label is that host alone, the policy's too
        "ftp://example.com/",
        "javascript:'http://example.com/'",
        "file:///C:/example.com/",
        "example.com",
        "http:///example.com",
        "http://1.10.0.0.1/",  // an IP address only matches itself
        "http://[::2]/",
        "",
    };
    for (const char* page : refused)
        EXPECT_FALSE(sites.AllowsPagesOf(page)) << page;
    // An empty label makes no host, however many dots a page writes.
    for (const std::string& page : {std::string("http://ads..example.com/"), "http://" + std::string(252, '.') + "a/"})
        EXPECT_FALSE(sites.AllowsPagesOf(page)) << page.size();

    // The table grows with the list; a removal is seen at the next test, as is an entry the
    // file brought in whole.
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(sites.Add("s" + std::to_string(i) + ".grow.example"));
    EXPECT_TRUE(sites.AllowsPagesOf("http://www.s57.grow.example/"));
    EXPECT_FALSE(sites.AllowsPagesOf("http://www.s100.grow.example/"));
    sites.List().Remove(0);
    EXPECT_FALSE(sites.AllowsPagesOf("http://example.com/"));
    sites.List().Append("https://News.Example/front");
    EXPECT_TRUE(sites.AllowsPagesOf("http://www.news.example/"));
}

}  // namespace
}  // namespace quellix::test
