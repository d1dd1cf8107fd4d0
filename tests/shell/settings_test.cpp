#include "shell/settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

#include "blocker/url_list.h"
#include "shell/policy.h"
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

void Force(Policy& policy, std::string_view name, bool value)
{
    for (std::size_t i = 0; i < kPolicyCount; ++i) {
        if (kPolicies[i].name == name)
            policy.values[i] = value;
    }
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void Store(std::string_view key, std::string_view value) { settings.Save(kAppName, kOptionsSection, key, value); }
    bool ButtonKeyExists() const { return registry.HasKey(kHklm, ToolbarButtonKey()); }

    FakeRegistry registry;
    SettingsStore settings{registry};
    Options inMemory;
    RecordingTarget target;
    Policy policy;
    OptionsDialogLogic dialog{settings, registry, inMemory, target, "C:\\Quellix", policy};
};

TEST_F(OptionsDialogTest, OpeningReadsEveryBoxInOrderAndOnlyAStoredOneChecksIt)
{
    EXPECT_EQ(dialog.Load(), OptionBoxes{.notice = true}) << "the notice is on until switched off";

    Store(setting::kStartUp, "1");
    Store(setting::kList, "2");
    Store(setting::kIeIcon, " 1 ");
    Store(setting::kNotice, "0");
    EXPECT_EQ(registry.ValuesOf(kHkcu, "Software\\Quellix\\Options")["startup"], Sz("1"));
    registry.log.clear();
    EXPECT_EQ(dialog.Load(), (OptionBoxes{.startUp = true, .ieIcon = true}));
    EXPECT_EQ(registry.Calls("query "),
              (Strings{"Beep", "Flash", "StartUp", "List", "HideOnStart", "IEicon", "Notice"}));
}

TEST_F(OptionsDialogTest, OkReadsThePreviousIconChoiceThenStoresEveryBoxInOrderAndAppliesThem)
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
                              "set HideOnStart=0", "set IEicon=0", "set Notice=0"}));
    EXPECT_EQ(inMemory.beep, 1);
    EXPECT_EQ(inMemory.flash, 0);
    EXPECT_EQ(inMemory.list, 1);
    EXPECT_EQ(inMemory.notice, 0);

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

TEST_F(OptionsDialogTest, AForcedBoxShowsThePolicyIsNeverStoredAndLeavesTheToolbarButtonAlone)
{
    Store(setting::kBeep, "1");
    Store(setting::kIeIcon, "0");
    Force(policy, "Beep", false);
    Force(policy, "ToolbarButton", true);
    Force(policy, "UseLists", true);
    EXPECT_EQ(dialog.Load(), (OptionBoxes{.beep = false, .list = true, .ieIcon = true, .notice = true}));
    EXPECT_EQ(dialog.Forced(), (OptionBoxes{.beep = true, .list = true, .ieIcon = true}));

    registry.log.clear();
    dialog.Ok(OptionBoxes{.beep = true, .flash = true});
    EXPECT_EQ(registry.Calls("set "), (Strings{"Flash=1", "StartUp=0", "HideOnStart=0", "Notice=0"}));
    EXPECT_EQ(inMemory.beep, 0) << "the forced value, whatever the box said";
    EXPECT_EQ(inMemory.flash, 1);
    EXPECT_EQ(target.enabled, std::vector<bool>{true}) << "the lists as forced, not as the box said";
    EXPECT_FALSE(ButtonKeyExists());
}

class PolicyTest : public ::testing::Test {
protected:
    static constexpr std::string_view kSites = "Software\\Policies\\Quellix\\AllowedSites";
    static constexpr std::string_view kAddresses = "Software\\Policies\\Quellix\\AllowedAddresses";
    static std::string Dword(int value) { return std::to_string(value); }
    void Put(Registry::Key root, std::string_view name, std::string data, std::uint32_t type = Registry::kTypeDword,
             std::optional<std::uint32_t> size = {})
    {
        registry.Put(root, kPolicyKey, name, std::move(data), type, size);
    }
    FakeRegistry registry;
};

TEST_F(PolicyTest, OnlyAFourByteDwordOfZeroOrOneIsSetAndTheMachineWinsValueByValue)
{
    EXPECT_EQ(ReadPolicy(registry), Policy{});
    EXPECT_FALSE(Policy{}.AnySet());
    EXPECT_TRUE(Policy{}.MayDisable());

    Put(kHklm, "Beep", Dword(1));
    Put(kHkcu, "Beep", Dword(0));
    Put(kHklm, "Flash", Sz("1"), Registry::kTypeSz);  // a text, not a number
    Put(kHkcu, "Flash", Dword(1));
    Put(kHklm, "UseLists", Dword(2));  // out of range: the user's value counts
    Put(kHkcu, "UseLists", Dword(0));
    Put(kHklm, "HideOnStart", Dword(-1));
    Put(kHklm, "RunAtStartUp", Dword(1), Registry::kTypeDword, 2);  // a number of two bytes
    Put(kHkcu, "AllowDisable", Dword(0));
    Put(kHkcu, "Notice", Dword(0));
    // Policy keys are read-only to the user.
    registry.DenyWrite(kHklm, "Software");
    registry.DenyWrite(kHkcu, "Software\\Policies");

    const Policy policy = ReadPolicy(registry);
    EXPECT_EQ(policy.Forced(setting::kBeep), true);
    EXPECT_EQ(policy.Forced(setting::kFlash), true);
    EXPECT_EQ(policy.Forced(setting::kList), false);
    EXPECT_EQ(policy.Forced(setting::kHideOnStart), std::nullopt);
    EXPECT_EQ(policy.Forced(setting::kStartUp), std::nullopt);
    EXPECT_EQ(policy.Forced(setting::kNotice), false);
    EXPECT_FALSE(policy.MayDisable());
    EXPECT_TRUE(policy.AnySet());
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(PolicyTest, ListsGoByNumberSkipGapsAndWhatTheListCouldNotHoldAndAMachineListWinsWhole)
{
    // clang-format off
    const std::pair<const char*, FakeRegistry::Value> sites[] = {
        {"10", Sz("ten.example")}, {"3", Sz("three.example")}, {"1", Sz("one.example")},
        {"2", {Dword(7), Registry::kTypeDword}}, {"4", Sz(std::string(UrlList::kMaxEntryBytes + 1, 'a'))},
        {"5", Sz("")}, {"6", std::string("six.example\0junk", 16)}, {"0", Sz("zero.example")},
        {"x", Sz("x.example")}, {"-7", Sz("minus.example")}, {"7", "seven.example"},  // no NUL: still text
        {"8", {Sz("eight.example"), Registry::kTypeExpandSz}},
    };
    // clang-format on
    for (const auto& [name, value] : sites)
        registry.Put(kHklm, kSites, name, value.data, value.type);
    registry.Put(kHkcu, kSites, "1", Sz("user.example"));
    registry.Put(kHkcu, kAddresses, "1", Sz("http://user.example/"));
    registry.Put(kHklm, kAddresses, "1", Dword(1), Registry::kTypeDword);  // nothing usable: the user's list

    const Policy policy = ReadPolicy(registry);
    EXPECT_EQ(policy.allowedSites,
              (Strings{"one.example", "three.example", "six.example", "seven.example", "ten.example"}));
    EXPECT_EQ(policy.allowedAddresses, Strings{"http://user.example/"});
    EXPECT_TRUE(policy.AnySet());

    // No more than a list holds.
    for (std::size_t i = 1; i <= UrlList::kMaxEntries + 5; ++i)
        registry.Put(kHkcu, kAddresses, std::to_string(i), Sz("http://a/" + std::to_string(i)));
    const Policy full = ReadPolicy(registry);
    ASSERT_EQ(full.allowedAddresses.size(), UrlList::kMaxEntries);
    EXPECT_EQ(full.allowedAddresses.back(), "http://a/" + std::to_string(UrlList::kMaxEntries));
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

#ifdef QUELLIX_POLICY_TEMPLATES
std::string ReadText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Each attribute="value" of the first element of `xml` that starts at `from`.
std::map<std::string, std::string> Attributes(const std::string& xml, std::size_t from)
{
    std::map<std::string, std::string> attributes;
    const std::string element = xml.substr(from, xml.find('>', from) - from);
    static const std::regex kAttribute(R"re(([A-Za-z]+)="([^"]*)")re");
    for (std::sregex_iterator it(element.begin(), element.end(), kAttribute), end; it != end; ++it)
        attributes[(*it)[1]] = (*it)[2];
    return attributes;
}

// What an administrative template says of one policy: its key, its value and how it is set.
struct TemplatePolicy {
    std::string key;
    std::string valueName;
    std::string kind;  // "dword 1/0" or "list"
    bool operator==(const TemplatePolicy&) const = default;
};

TEST(PolicyTemplateTest, TheTemplatesDescribeExactlyThePoliciesTheProgramReads)
{
    const std::string admx = ReadText(QUELLIX_POLICY_TEMPLATES "/Quellix.admx");
    const std::string adml = ReadText(QUELLIX_POLICY_TEMPLATES "/en-US/Quellix.adml");
    ASSERT_FALSE(admx.empty());
    ASSERT_FALSE(adml.empty());

    std::map<std::string, TemplatePolicy> expected;
    for (const PolicyDefinition& policy : kPolicies) {
        const std::string name(policy.name);
        expected[name] = policy.type == PolicyType::kList
                             ? TemplatePolicy{std::string(kPolicyKey) + "\\" + name, "", "list"}
                             : TemplatePolicy{std::string(kPolicyKey), name, "dword 1/0"};
    }

    std::map<std::string, TemplatePolicy> found;
    static const std::regex kOnAndOff(
        R"re(<enabledValue>\s*<decimal value="1"\s*/>\s*</enabledValue>\s*<disabledValue>\s*<decimal value="0"\s*/>)re");
    const auto stringDefined = [&](const std::string& reference, const char* table, const char* element) {
        const std::string prefix = std::string("$(") + table + ".";
        if (!reference.starts_with(prefix) || !reference.ends_with(")"))
            return false;
        const std::string id = reference.substr(prefix.size(), reference.size() - prefix.size() - 1);
        return adml.find("<" + std::string(element) + " id=\"" + id + "\"") != std::string::npos;
    };
    for (std::size_t at = admx.find("<policy "); at != std::string::npos; at = admx.find("<policy ", at + 1)) {
        const std::string body = admx.substr(at, admx.find("</policy>", at) - at);
        std::map<std::string, std::string> attributes = Attributes(admx, at);
        const std::string name = attributes["name"];
        EXPECT_EQ(attributes["class"], "Both") << name << ": read from the machine and the user alike";
        EXPECT_NE(body.find("<parentCategory ref=\"Quellix\""), std::string::npos) << name;
        EXPECT_TRUE(stringDefined(attributes["displayName"], "string", "string")) << name;
        EXPECT_TRUE(stringDefined(attributes["explainText"], "string", "string")) << name;

        TemplatePolicy policy{attributes["key"], attributes["valueName"], "?"};
        if (const std::size_t list = body.find("<list "); list != std::string::npos) {
            std::map<std::string, std::string> element = Attributes(body, list);
            // Values named 1, 2, 3, ... as text, in the policy's own key.
            if (element.count("valuePrefix") && element["valuePrefix"].empty() && !element.count("key") &&
                !element.count("expandable") &&
                stringDefined(attributes["presentation"], "presentation", "presentation") &&
                adml.find("refId=\"" + element["id"] + "\"") != std::string::npos)
                policy.kind = "list";
        } else if (std::regex_search(body, kOnAndOff)) {
            policy.kind = "dword 1/0";
        }
        EXPECT_TRUE(found.emplace(name, policy).second) << name << " twice";
    }
    EXPECT_EQ(found, expected);
    EXPECT_NE(admx.find("<category name=\"Quellix\" displayName=\"$(string.Quellix)\""), std::string::npos);
    EXPECT_NE(adml.find("<string id=\"Quellix\">Quellix</string>"), std::string::npos);
}
#endif

}  // namespace
}  // namespace quellix::test
