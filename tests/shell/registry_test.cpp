#include "shell/registry.h"

#include <gtest/gtest.h>

#include "tests/shell/fake_registry.h"

namespace quellix::test {
namespace {

using Strings = std::vector<std::string>;
constexpr Registry::Key kHkcu = Registry::kCurrentUser;
constexpr Registry::Key kHklm = Registry::kLocalMachine;

TEST(RegistryPathTest, NormalizeDropsOneBackslashAtEachEnd)
{
    EXPECT_EQ(NormalizeKeyPath("\\Software\\Quellix\\"), "Software\\Quellix");
    EXPECT_EQ(NormalizeKeyPath("Software\\Quellix"), "Software\\Quellix");
    EXPECT_EQ(NormalizeKeyPath("\\\\Software\\\\"), "\\Software\\");
    EXPECT_EQ(NormalizeKeyPath("\\\\"), "");
    EXPECT_EQ(NormalizeKeyPath("\\"), "");
}

class RegistryHelpersTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(registry.OpenHandles(), 0u) << "a key was left open"; }

    FakeRegistry registry;
};

TEST_F(RegistryHelpersTest, WritesCreateTheKeyStoreTheTerminatorAndAStarNamesTheDefaultValue)
{
    EXPECT_TRUE(WriteRegString(registry, kHkcu, "\\Software\\Q\\", "Name", "text"));
    EXPECT_TRUE(WriteRegString(registry, kHkcu, "Software\\Q", "*", "unnamed"));
    EXPECT_EQ(registry.Calls("create "), (Strings{"HKCU\\Software\\Q all", "HKCU\\Software\\Q all"}));
    EXPECT_EQ(registry.ValuesOf(kHkcu, "Software\\Q"),
              (FakeRegistry::Values{{"", Sz("unnamed")}, {"name", Sz("text")}}));
    EXPECT_EQ(ReadRegString(registry, kHkcu, "\\SOFTWARE\\q\\", "NAME", "d"), "text");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "Software\\Q", "*", "d"), "unnamed");

    EXPECT_TRUE(DeleteRegEntry(registry, kHkcu, "\\Software\\Q\\", "*"));
    EXPECT_EQ(registry.ValuesOf(kHkcu, "Software\\Q"), (FakeRegistry::Values{{"name", Sz("text")}}));
}

TEST_F(RegistryHelpersTest, ReadingDropsATerminatorOnlyWhenOneIsStored)
{
    registry.Put(kHkcu, "K", "plain", "abc");
    registry.Put(kHkcu, "K", "terminated", Sz("abc"));
    registry.Put(kHkcu, "K", "emptyText", Sz(""));
    registry.Put(kHkcu, "K", "noData", "");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "K", "plain", "d"), "abc");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "K", "terminated", "d"), "abc");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "K", "emptyText", "d"), "");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "K", "noData", "d"), "d");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "K", "missing", "d"), "d");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "Missing", "plain", "d"), "d");
    // An administrator's number reads as its digits; other kinds of data as missing.
    registry.Put(kHkcu, "K", "number", "1", Registry::kTypeDword);
    registry.Put(kHkcu, "K", "binary", "1", 3);
    registry.Put(kHkcu, "K", "short", "1", Registry::kTypeDword, 2);
    EXPECT_EQ(ReadRegString(registry, kHkcu, "K", "number", "d"), "1");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "K", "binary", "d"), "d");
    EXPECT_EQ(ReadRegString(registry, kHkcu, "K", "short", "d"), "d");
}

TEST_F(RegistryHelpersTest, ReadingFallsBackToReadAccessOnlyWhenFullAccessIsDenied)
{
    registry.Put(kHklm, "Software\\App", "Path", Sz("C:\\app.exe"));
    registry.DenyWrite(kHklm);
    EXPECT_EQ(ReadRegString(registry, kHklm, "Software\\App", "Path", "d"), "C:\\app.exe");
    EXPECT_EQ(ReadRegString(registry, kHklm, "Software\\Missing", "Path", "d"), "d");
    EXPECT_EQ(registry.Calls("open "),
              (Strings{"HKLM\\Software\\App all", "HKLM\\Software\\App read", "HKLM\\Software\\Missing all"}));
}

TEST_F(RegistryHelpersTest, ADeniedRootRefusesWritesAndDeletionsAndKeepsWhatIsThere)
{
    registry.Put(kHklm, "Software\\App", "v", "old");
    registry.DenyWrite(kHklm);
    EXPECT_FALSE(WriteRegString(registry, kHklm, "Software\\App", "v", "new"));
    EXPECT_FALSE(WriteRegString(registry, kHklm, "Software\\New", "v", "new"));
    EXPECT_FALSE(DeleteRegEntry(registry, kHklm, "Software\\App", "v"));
    EXPECT_FALSE(DeleteRegEntry(registry, kHklm, "Software\\App", ""));
    EXPECT_EQ(registry.ValuesOf(kHklm, "Software\\App"), (FakeRegistry::Values{{"v", "old"}}));
    EXPECT_FALSE(registry.HasKey(kHklm, "Software\\New"));
}

TEST_F(RegistryHelpersTest, DeletingRemovesOneValueOrWithAnEmptyNameTheWholeKey)
{
    registry.Put(kHkcu, "Software\\Q", "a", "1");
    EXPECT_TRUE(DeleteRegEntry(registry, kHkcu, "Software\\Q", "a"));
    EXPECT_FALSE(DeleteRegEntry(registry, kHkcu, "Software\\Q", "a"));
    EXPECT_TRUE(registry.HasKey(kHkcu, "Software\\Q"));

    registry.log.clear();
    EXPECT_TRUE(DeleteRegEntry(registry, kHkcu, "Software\\Q", ""));
    EXPECT_EQ(registry.Calls("open "), Strings{"HKCU all"});
    EXPECT_FALSE(registry.HasKey(kHkcu, "Software\\Q"));
    EXPECT_FALSE(DeleteRegEntry(registry, kHkcu, "Software\\Q", ""));
}

}  // namespace
}  // namespace quellix::test
