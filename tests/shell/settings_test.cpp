#include "shell/settings.h"

#include <gtest/gtest.h>

#include "shell/toolbar.h"
#include "tests/shell/fake_registry.h"

namespace quellix::test {
namespace {

using Strings = std::vector<std::string>;
constexpr Registry::Key kHkcu = Registry::kCurrentUser;
constexpr Registry::Key kHklm = Registry::kLocalMachine;
constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST(SettingsConversionTest, NumbersRoundHalfToEvenAndAnythingElseIsZero)
{
    // Grouped by what they show.
    // clang-format off
    const std::pair<const char*, int> cases[] = {
        {"1", 1}, {" 7\t", 7}, {"-3", -3}, {"+4", 4}, {"1e3", 1000},
        {"1.5", 2}, {"2.5", 2}, {"-2.5", -2}, {"0.5", 0}, {"2.51", 3},
        {"32767", 32767}, {"-32768", -32768}, {"32768", 0}, {"32767.5", 0},
        {"", 0}, {" ", 0}, {"yes", 0}, {"1x", 0}, {"1 2", 0}, {"+-1", 0}, {"0x10", 0}, {"nan", 0}, {"inf", 0},
    };
    // clang-format on
    for (const auto& [text, number] : cases)
        EXPECT_EQ(SettingToInt16(text), number) << '"' << text << '"';
    EXPECT_EQ(SettingToDouble(" 1.25 "), 1.25);
    EXPECT_EQ(SettingToDouble("one"), 0.0);
    EXPECT_EQ(SettingToDouble("1e999"), 0.0);
}

TEST(SettingsRunAtStartupTest, APathWithBlanksIsQuotedRemovalKeepsOthersAndAMissingKeyStaysMissing)
{
    FakeRegistry registry;
    SetRunAtStartup(registry, true, "C:\\Quellix\\norvane.exe");
    EXPECT_FALSE(registry.HasKey(kHkcu, kRunKey));

    registry.Put(kHkcu, kRunKey, "Other", "other.exe");
    SetRunAtStartup(registry, true, "C:\\Program Files\\Quellix\\norvane.exe");
    EXPECT_EQ(registry.Calls("open "), (Strings(2, "HKCU\\" + std::string(kRunKey) + " write")));
    EXPECT_EQ(registry.ValuesOf(kHkcu, kRunKey)["quellix"], Sz("\"C:\\Program Files\\Quellix\\norvane.exe\""));
    SetRunAtStartup(registry, true, "C:\\Quellix\\norvane.exe");
    EXPECT_EQ(registry.ValuesOf(kHkcu, kRunKey)["quellix"], Sz("C:\\Quellix\\norvane.exe"));

    SetRunAtStartup(registry, false, "");
    SetRunAtStartup(registry, false, "");
    EXPECT_EQ(registry.ValuesOf(kHkcu, kRunKey), (FakeRegistry::Values{{"other", "other.exe"}}));
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST(ToolbarButtonTest, TheKeyHoldsExactlyTheEightValuesWrittenInOrderAndGoesAsAWhole)
{
    FakeRegistry registry;
    AddToolbarButton(registry, "C:\\Program Files\\Quellix");
    const std::string key = ToolbarButtonKey();
    EXPECT_EQ(key, "Software\\Microsoft\\Internet Explorer\\Extensions\\{6D3C5B1E-8A47-4F2C-B9E0-3F1A7C52D4E8}");
    EXPECT_EQ(registry.Calls("create "), Strings(8, "HKLM\\" + key + " all"));
    EXPECT_EQ(registry.Calls("set "),
              (Strings{"ButtonText=Quellix", "CLSID={1FBA04EE-3024-11D2-8F1F-0000F87ABD16}", "Default Visible=Yes",
                       "Exec=C:\\Program Files\\Quellix\\norvane", "HotIcon=C:\\Program Files\\Quellix\\1.ico",
                       "Icon=C:\\Program Files\\Quellix\\4.ico", "MenuStatusBar=Quellix", "MenuText=&Quellix"}));
    EXPECT_EQ(registry.ValuesOf(kHklm, key).size(), 8u);

    RemoveToolbarButton(registry);
    EXPECT_FALSE(registry.HasKey(kHklm, key));
    EXPECT_EQ(registry.OpenHandles(), 0u);

    // Without administrator rights the button goes under the user's own root.
    registry.DenyWrite(kHklm, "Software");
    AddToolbarButton(registry, "C:\\Users\\u\\AppData\\Local\\Quellix");
    EXPECT_FALSE(registry.HasKey(kHklm, key));
    EXPECT_EQ(registry.ValuesOf(kHkcu, key).size(), 8u);
    RemoveToolbarButton(registry);
    EXPECT_FALSE(registry.HasKey(kHkcu, key));
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

class RecordingTarget final : public OptionsTarget {
public:
    std::vector<bool> enabled;
    void EnableLists(bool on) override { enabled.push_back(on); }
};

class OptionsDialogTest : public ::testing::Test {
protected:
    void Store(std::string_view key, std::string_view value) { settings.Save(kAppName, kOptionsSection, key, value); }
    bool ButtonKeyExists() const { return registry.HasKey(kHklm, ToolbarButtonKey()); }

    FakeRegistry registry;
    SettingsStore settings{registry};
    Options inMemory;
    RecordingTarget target;
    OptionsDialogLogic dialog{settings, registry, inMemory, target, "C:\\Quellix"};
};

TEST_F(OptionsDialogTest, OpeningReadsEveryBoxInOrderAndOnlyAStoredOneChecksIt)
{
    EXPECT_EQ(dialog.Load(), OptionBoxes{});

    Store(setting::kStartUp, "1");
    Store(setting::kList, "2");
    Store(setting::kIeIcon, " 1 ");
    EXPECT_EQ(registry.ValuesOf(kHkcu, "Software\\Quellix\\Options")["startup"], Sz("1"));
    registry.log.clear();
    EXPECT_EQ(dialog.Load(), (OptionBoxes{.startUp = true, .ieIcon = true}));
    EXPECT_EQ(registry.Calls("query "), (Strings{"Beep", "Flash", "StartUp", "List", "HideOnStart", "IEicon"}));
}

TEST_F(OptionsDialogTest, OkReadsThePreviousIconChoiceThenStoresAllSixInOrderAndAppliesThem)
{
    Store(setting::kIeIcon, "0");
    registry.log.clear();
    OptionBoxes boxes{.startUp = true, .beep = true, .list = true};
    dialog.Ok(boxes);
    Strings calls;
    for (const std::string& call : registry.log) {
        if (call.starts_with("query ") || call.starts_with("set "))
            calls.push_back(call);
    }
    EXPECT_EQ(calls, (Strings{"query IEicon", "set Beep=1", "set Flash=0", "set StartUp=1", "set List=1",
                              "set HideOnStart=0", "set IEicon=0"}));
    EXPECT_EQ(inMemory.beep, 1);
    EXPECT_EQ(inMemory.flash, 0);
    EXPECT_EQ(inMemory.list, 1);

    boxes.list = false;
    dialog.Ok(boxes);
    EXPECT_EQ(inMemory.list, 0);
    EXPECT_EQ(target.enabled, (std::vector<bool>{true, false}));
    EXPECT_EQ(dialog.Load(), boxes);
}

TEST_F(OptionsDialogTest, TheToolbarButtonIsWrittenOrDeletedOnlyWhenTheChoiceChanges)
{
    OptionBoxes boxes{.ieIcon = true};
    dialog.Ok(boxes);
    EXPECT_EQ(registry.ValuesOf(kHklm, ToolbarButtonKey())["exec"], Sz("C:\\Quellix\\norvane"));
    registry.log.clear();
    dialog.Ok(boxes);
    EXPECT_TRUE(registry.Calls("create HKLM").empty());

    boxes.ieIcon = false;
    dialog.Ok(boxes);
    EXPECT_FALSE(ButtonKeyExists());
    registry.log.clear();
    dialog.Ok(boxes);
    EXPECT_TRUE(registry.Calls("delete key").empty());

    Store(setting::kIeIcon, "2");  // neither choice
    dialog.Ok(OptionBoxes{.ieIcon = true});
    EXPECT_FALSE(ButtonKeyExists());
}

TEST_F(OptionsDialogTest, AMachineHiveThatRefusesWritesDoesNotStopTheOptionBeingStored)
{
    registry.DenyWrite(kHklm);
    dialog.Ok(OptionBoxes{.flash = true, .ieIcon = true});
    EXPECT_FALSE(ButtonKeyExists());
    EXPECT_EQ(settings.Option(setting::kIeIcon), 1);
    EXPECT_EQ(inMemory.flash, 1);
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

}  // namespace
}  // namespace quellix::test
