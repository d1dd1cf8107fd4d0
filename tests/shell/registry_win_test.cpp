#include "shell/registry_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>

#include "base/utf.h"

namespace quellix {
namespace {

constexpr Registry::Key kHkcu = Registry::kCurrentUser;
// "Grüße, 例": outside every Western code page, so only the Unicode API keeps it.
constexpr char kText[] = "Gr\xC3\xBC\xC3\x9F"
                         "e, \xE4\xBE\x8B";

class Win32RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, Widen(scratch).c_str()); }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, Widen(scratch).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QuellixTest");  // fails while another run still uses it
    }

    std::string Query(const std::string& path, const std::string& name)
    {
        Registry::Key key = 0;
        std::string data = "(no key)";
        if (registry.OpenKey(kHkcu, path, Registry::kRead, &key) == Registry::kSuccess) {
            std::uint32_t type = 0, size = 0;
            if (registry.QueryValue(key, name, &data, &type, &size) == Registry::kFileNotFound)
                data = "(no value)";
            registry.CloseKey(key);
        }
        return data;
    }

    const std::string scratch = "Software\\QuellixTest\\Scratch" + std::to_string(GetCurrentProcessId());
    Win32Registry registry;
};

TEST_F(Win32RegistryTest, UnicodeKeysAndTextsSurviveAndTextIsStoredWithItsTerminator)
{
    const std::string path = scratch + "\\" + kText;
    ASSERT_TRUE(WriteRegString(registry, kHkcu, "\\" + path + "\\", kText, kText));
    ASSERT_TRUE(WriteRegString(registry, kHkcu, path, "*", "unnamed"));
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, Widen(path).c_str(), Widen(kText).c_str(), RRF_RT_ANY, &type, nullptr,
                           &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Query(path, kText), kText + std::string(1, '\0'));
    EXPECT_EQ(ReadRegString(registry, kHkcu, path, kText, "default"), kText);
    EXPECT_EQ(Query(path, ""), std::string("unnamed", 8));

    // Enumerated in any order, each name whole, and then no more.
    Registry::Key key = 0;
    ASSERT_EQ(registry.OpenKey(kHkcu, path, Registry::kRead, &key), Registry::kSuccess);
    std::string first, second, third = "unchanged";
    EXPECT_EQ(registry.EnumValueName(key, 0, &first), Registry::kSuccess);
    EXPECT_EQ(registry.EnumValueName(key, 1, &second), Registry::kSuccess);
    EXPECT_EQ(registry.EnumValueName(key, 2, &third), Registry::kNoMoreItems);
    registry.CloseKey(key);
    EXPECT_EQ((std::set<std::string>{first, second}), (std::set<std::string>{"", kText}));
    EXPECT_EQ(third, "");
}

TEST_F(Win32RegistryTest, TextStoredWithoutTerminatorIsReadWhole)
{
    Registry::Key key = 0;
    ASSERT_EQ(registry.CreateKey(kHkcu, scratch, Registry::kAllAccess, &key), Registry::kSuccess);
    // RegSetValueExW adds a terminator that the length forgot when one follows the data in
    // memory; only a character there makes it store the text without one.
    const wchar_t bare[] = L"abcX";
    ASSERT_EQ(RegSetValueExW(reinterpret_cast<HKEY>(key), L"bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare),
                             3 * sizeof(wchar_t)),
              ERROR_SUCCESS);
    EXPECT_EQ(registry.SetString(key, "other", "x"), Registry::kSuccess);
    registry.CloseKey(key);
    EXPECT_EQ(Query(scratch, "bare"), "abc");
    EXPECT_EQ(ReadRegString(registry, kHkcu, scratch, "bare", "default"), "abc");

    ASSERT_EQ(registry.OpenKey(kHkcu, scratch, Registry::kRead, &key), Registry::kSuccess);
    EXPECT_EQ(registry.SetString(key, "other", "y"), Registry::kAccessDenied);
    registry.CloseKey(key);
}

TEST_F(Win32RegistryTest, ANumberReadsAsItsDigitsOnlyAtFourBytesAndEveryValueTellsItsSize)
{
    Registry::Key key = 0;
    ASSERT_EQ(registry.CreateKey(kHkcu, scratch, Registry::kAllAccess, &key), Registry::kSuccess);
    const DWORD one = 1;
    ASSERT_EQ(RegSetValueExW(reinterpret_cast<HKEY>(key), L"four", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                             sizeof one),
              ERROR_SUCCESS);
    // The text "1" in a number's place, as a hand-made policy may hold it.
    ASSERT_EQ(RegSetValueExW(reinterpret_cast<HKEY>(key), L"two", 0, REG_DWORD, reinterpret_cast<const BYTE*>(L"1"), 2),
              ERROR_SUCCESS);
    std::string data;
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(registry.QueryValue(key, "four", &data, &type, &size), Registry::kSuccess);
    EXPECT_EQ(data, "1");
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(registry.QueryValue(key, "two", &data, &type, &size), Registry::kSuccess);
    EXPECT_EQ(type, Registry::kTypeDword);
    EXPECT_EQ(size, 2u);
    registry.CloseKey(key);
    EXPECT_EQ(ReadRegString(registry, kHkcu, scratch, "two", "default"), "default");
}

TEST_F(Win32RegistryTest, DeletingRemovesAValueThenTheKeyAndMissingOnesReportNotFound)
{
    const std::string path = scratch + "\\Key";
    EXPECT_EQ(Query(path, "a"), "(no key)");
    ASSERT_TRUE(WriteRegString(registry, kHkcu, path, "a", "1"));
    ASSERT_TRUE(WriteRegString(registry, kHkcu, path, "b", "2"));
    EXPECT_TRUE(DeleteRegEntry(registry, kHkcu, path, "a"));
    EXPECT_FALSE(DeleteRegEntry(registry, kHkcu, path, "a"));
    EXPECT_EQ(Query(path, "a"), "(no value)");
    EXPECT_EQ(ReadRegString(registry, kHkcu, path, "a", "default"), "default");
    EXPECT_EQ(Query(path, "b"), std::string("2", 2));

    EXPECT_TRUE(DeleteRegEntry(registry, kHkcu, path, ""));
    EXPECT_FALSE(DeleteRegEntry(registry, kHkcu, path, ""));
    EXPECT_EQ(Query(path, "b"), "(no key)");
}

}  // namespace
}  // namespace quellix
