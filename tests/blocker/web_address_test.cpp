#include "blocker/web_address.h"

#include <gtest/gtest.h>

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
    };
    for (const auto& [text, expected] : safe)
        EXPECT_EQ(ShellSafeWebAddress(text), expected) << text;

    const std::string refused[] = {"javascript:alert(1)",
                                   "file:///C:/Windows/",
                                   "\\\\server\\share\\x.exe",
                                   "ftp://x/",
                                   "http:/x/",
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

}  // namespace
}  // namespace quellix::test
