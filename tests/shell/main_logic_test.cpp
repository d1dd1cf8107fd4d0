// The main window's start-up and shut-down sequences, step by step in their order, against
// recording stand-ins for the window, the tray, the registry and the files.
#include "shell/main_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "shell/toolbar.h"
#include "tests/blocker/fakes.h"
#include "tests/shell/fake_registry.h"

namespace quellix::test {
namespace {

using Log = std::vector<std::string>;

class RecordingPlatform final : public MainWindowPlatform, public NotificationArea {
public:
    explicit RecordingPlatform(Log& log) : m_log(log) {}
    bool SetMonitorEnabled(bool on) override
    {
        m_log.push_back(on ? "monitor on" : "monitor off");
        return monitorStarts || !on;
    }
    void ArmMonitorRetry(std::uint32_t delayMs) override
    {
        m_log.push_back(delayMs == MainLogic::kMonitorRetryMs ? "retry timer" : "retry in " + std::to_string(delayMs));
    }
    void RestoreHiddenBrowsers() override { m_log.push_back("restore browsers"); }
    void HookTrayWndProc() override { m_log.push_back("hook tray"); }
    void UnhookTrayWndProc() override { m_log.push_back("unhook tray"); }
    void HideWindow() override { m_log.push_back("hide"); }
    void RegisterHideHotKey() override { m_log.push_back("register hot key"); }
    void UnregisterHideHotKey() override { m_log.push_back("unregister hot key"); }
    void HookHotKeyWndProc() override { m_log.push_back("hook hot key"); }
    void UnhookHotKeyWndProc() override { m_log.push_back("unhook hot key"); }
    void EnableLists(bool enabled) override { m_log.push_back(enabled ? "lists on" : "lists off"); }
    void ShowPolicy(const Policy& policy) override
    {
        m_log.push_back("policy");
        shown = policy;
    }
    Policy shown;
    void NotifyIcon(TrayCommand command, const TrayIconData& data) override
    {
        m_log.push_back(command == TrayCommand::kAdd      ? "tray add"
                        : command == TrayCommand::kModify ? "tray modify"
                                                          : "tray delete");
        records.push_back(data);
    }
    void ShowNotice(std::string_view) override { m_log.push_back("notice"); }
    std::vector<TrayIconData> records;
    bool monitorStarts = true;

private:
    Log& m_log;
};

// The files, recording reads and writes of the allow list in the shared log.
class RecordingFiles final : public FileStore {
public:
    explicit RecordingFiles(Log& log) : m_log(log) {}
    ReadResult Read(const std::string& path, std::size_t maxBytes, std::string& bytes) override
    {
        m_log.push_back("read " + path);
        return files.Read(path, maxBytes, bytes);
    }
    std::optional<std::uint64_t> Modified(const std::string& path) override { return files.Modified(path); }
    bool Write(const std::string& path, std::string_view bytes) override
    {
        m_log.push_back("write " + path);
        return files.Write(path, bytes);
    }
    bool Replace(const std::string& from, const std::string& to) override { return files.Replace(from, to); }
    bool Remove(const std::string& path) override { return files.Remove(path); }
    bool CreateFolder(const std::string& path) override { return files.CreateFolder(path); }
    bool SamePath(const std::string& a, const std::string& b) override { return files.SamePath(a, b); }
    void Pause(unsigned milliseconds) override { files.Pause(milliseconds); }
    FakeFiles files;

private:
    Log& m_log;
};

// The registry, recording its writes in the shared log.
class RecordingRegistry final : public Registry {
public:
    explicit RecordingRegistry(Log& log) : m_log(log) {}
    long CreateKey(Key root, const std::string& path, std::uint32_t access, Key* key) override
    {
        return registry.CreateKey(root, path, access, key);
    }
    long OpenKey(Key root, const std::string& path, std::uint32_t access, Key* key) override
    {
        return registry.OpenKey(root, path, access, key);
    }
    long SetString(Key key, const std::string& name, const std::string& text) override
    {
        m_log.push_back("set " + name);
        return registry.SetString(key, name, text);
    }
    long QueryValue(Key key, const std::string& name, std::string* data, std::uint32_t* type,
                    std::uint32_t* size) override
    {
        return registry.QueryValue(key, name, data, type, size);
    }
    long DeleteValue(Key key, const std::string& name) override
    {
        m_log.push_back("delete " + name);
        return registry.DeleteValue(key, name);
    }
    long EnumValueName(Key key, std::uint32_t index, std::string* name) override
    {
        return registry.EnumValueName(key, index, name);
    }
    long DeleteKey(Key key, const std::string& subkey) override { return registry.DeleteKey(key, subkey); }
    void CloseKey(Key key) override { registry.CloseKey(key); }
    FakeRegistry registry;

private:
    Log& m_log;
};

std::optional<std::string> Raw(const FakeRegistry& registry, std::string_view path, std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    const FakeRegistry::Values values = registry.ValuesOf(Registry::kCurrentUser, path);
    const auto found = values.find(name);
    return found == values.end() ? std::nullopt : std::optional<std::string>(found->second.data);
}

constexpr const char* kOptions = "Software\\Quellix\\Options";
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class MainLogicTest : public ::testing::Test {
protected:
    void SetUp() override { registry.registry.Put(Registry::kCurrentUser, kRun, "Other", Sz("x")); }

    void Store(std::string_view key, std::string_view value)
    {
        registry.registry.Put(Registry::kCurrentUser, kOptions, key, Sz(value));
    }

    Log log;
    RecordingPlatform platform{log};
    FakeView view;
    FakeAlerts alerts;
    FakeKeys keys;
    FakeTicks ticks;
    FakeShell shell;
    RecordingRegistry registry{log};
    RecordingFiles files{log};
    Latin1 codePage;
    MainLogic logic{MainServices{platform, view, platform, alerts, keys, ticks, shell, registry, files, codePage,
                                 ListLocation{"P/Allow.txt", "U", "U/Allow.txt"},
                                 ListLocation{"P/Sites.txt", "U", "U/Sites.txt"},
                                 "C:\\Program Files\\Quellix\\norvane.exe"}};
};

TEST_F(MainLogicTest, StartUpRunsItsStepsInOrder)
{
    Store("Beep", "0");
    EXPECT_TRUE(logic.Startup());
    // Everything the rules read is in place before the monitor can raise an event.
    EXPECT_EQ(log, (Log{"read P/Allow.txt", "read U/Allow.txt", "write P/Allow.txt", "read P/Sites.txt",
                        "read U/Sites.txt", "write P/Sites.txt", "monitor on", "tray add", "hook tray", "lists off",
                        "policy", "register hot key", "hook hot key"}));
    // The settings were read in their order: Beep, Flash, List, Notice, then HideOnStart.
    const std::vector<std::string> reads = registry.registry.Calls("query ");
    EXPECT_EQ(reads, (std::vector<std::string>{"Beep", "Flash", "List", "Notice", "HideOnStart"}));

    ASSERT_EQ(platform.records.size(), 1u);
    const TrayIconData& added = platform.records[0];
    EXPECT_EQ(added.hIcon, view.IconHandle(Icon::kOn));
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.uCallbackMessage, 1400u);
    EXPECT_EQ(std::string(added.szTip), "Enabled");
    EXPECT_FALSE(logic.State().protectionOff);
}

TEST_F(MainLogicTest, AMonitorThatCannotSwitchOnIsShownAndTriedAgainUntilItWatches)
{
    platform.monitorStarts = false;  // as under a shell whose window list has no events
    ticks.now = 1000;
    logic.Startup();
    ASSERT_FALSE(platform.records.empty());
    EXPECT_EQ(std::string(platform.records[0].szTip), "Enabled, but not watching the browsers");
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd ( ) - not watching the browsers");

    EXPECT_NE(std::find(log.begin(), log.end(), "retry timer"), log.end());

    log.clear();
    ticks.now += MainLogic::kMonitorRetryMs - 1;
    logic.RetryMonitor();
    EXPECT_EQ(log, Log{"retry in 1"}) << "not before its time, but not forgotten";
    log.clear();
    ticks.now += 1;
    logic.RetryMonitor();
    EXPECT_EQ(log, (Log{"monitor on", "retry timer"}));
    log.clear();
    ticks.now += 1;
    logic.RetryMonitor();
    EXPECT_EQ(log, Log{"retry in 4999"}) << "a failed try waits its time again";
    platform.monitorStarts = true;
    log.clear();
    ticks.now += MainLogic::kMonitorRetryMs;
    logic.RetryMonitor();
    EXPECT_EQ(log, (Log{"monitor on", "tray modify"})) << "watching, it arms no timer";
    EXPECT_EQ(std::string(platform.records.back().szTip), "Enabled");
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd ( )");
    log.clear();
    ticks.now += MainLogic::kMonitorRetryMs;
    logic.RetryMonitor();
    EXPECT_TRUE(log.empty()) << "a watching monitor is left alone";
}

TEST_F(MainLogicTest, StartUpTakesTheStoredOptionsIntoMemory)
{
    Store("Beep", "1");
    Store("Flash", "0");
    Store("List", "1");
    files.files.Put("P/Allow.txt", "http://a/\r\n");
    EXPECT_TRUE(logic.Startup());
    EXPECT_EQ(logic.InMemoryOptions().beep, 1);
    EXPECT_EQ(logic.InMemoryOptions().flash, 0);
    EXPECT_EQ(logic.InMemoryOptions().list, 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "lists off"), 0) << "List 1 leaves the lists usable";
    EXPECT_EQ(logic.Allowed().Entries(), (std::vector<std::string>{"http://a/"}));
}

TEST_F(MainLogicTest, HideOnStartHidesTheWindowOnlyForTheValueOne)
{
    const std::pair<const char*, bool> cases[] = {{"1", true},  {"1.0", true},  {"0", false},
                                                  {"2", false}, {"yes", false}, {"", false}};
    for (const auto& [value, hidden] : cases) {
        Log caseLog;
        RecordingPlatform casePlatform{caseLog};
        RecordingRegistry caseRegistry{caseLog};
        caseRegistry.registry.Put(Registry::kCurrentUser, kOptions, "HideOnStart", Sz(value));
        MainLogic caseLogic{MainServices{casePlatform, view, casePlatform, alerts, keys, ticks, shell, caseRegistry,
                                         files, codePage, ListLocation{"P/Allow.txt", "U", "U/Allow.txt"},
                                         ListLocation{"P/Sites.txt", "U", "U/Sites.txt"}, "C:\\q\\norvane.exe"}};
        EXPECT_EQ(caseLogic.Startup(), !hidden) << value;
        EXPECT_EQ(std::count(caseLog.begin(), caseLog.end(), "hide"), hidden ? 1 : 0) << value;
    }
}

TEST_F(MainLogicTest, ShutDownRunsItsStepsInOrderAndKeepsWhatMustSurvive)
{
    Store("StartUp", "1");
    logic.Startup();
    logic.Allowed().Append("http://kept/");
    log.clear();
    logic.Shutdown();
    EXPECT_EQ(log, (Log{"hide", "unregister hot key", "unhook hot key", "restore browsers", "read P/Allow.txt",
                        "write P/Allow.txt.new", "set Quellix", "monitor off", "tray delete", "unhook tray"}));
    EXPECT_EQ(files.files.files.at("P/Allow.txt"), "http://kept/\r\n");
    EXPECT_EQ(Raw(registry.registry, kRun, "Quellix"), Sz("\"C:\\Program Files\\Quellix\\norvane.exe\""));

    const TrayIconData& removed = platform.records.back();
    TrayIconData identity{};
    identity.cbSize = 88;
    identity.hWnd = view.WindowHandle();
    EXPECT_EQ(std::memcmp(&removed, &identity, sizeof identity), 0);
}

TEST_F(MainLogicTest, AStartUpSettingOfZeroRemovesTheLogOnEntryAtQuit)
{
    registry.registry.Put(Registry::kCurrentUser, kRun, "Quellix", Sz("old"));
    logic.Startup();
    log.clear();
    logic.Shutdown();
    EXPECT_EQ(std::count(log.begin(), log.end(), "delete Quellix"), 1);
    EXPECT_FALSE(Raw(registry.registry, kRun, "Quellix"));
    EXPECT_TRUE(Raw(registry.registry, kRun, "Other")) << "other programs' entries stay";
}

// The shell announced a new task bar, or the monitor switched itself off: its window list
// went with the shell's process.
TEST_F(MainLogicTest, AfterTheShellRestartsTheIconComesBackInItsStateAndTheMonitorIsSwitchedOffAndOnAtTheTimer)
{
    logic.Startup();
    logic.Switch().ToggleProtection();
    log.clear();
    platform.records.clear();
    logic.FollowNewShell();
    EXPECT_EQ(log, (Log{"monitor off", "tray add", "tray modify", "retry in 0"}));
    for (const TrayIconData& again : platform.records) {
        EXPECT_EQ(again.hIcon, view.IconHandle(Icon::kOff));
        EXPECT_EQ(std::string(again.szTip), "Disabled");
    }
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd ( ) - not watching the browsers");
    log.clear();
    logic.RetryMonitor();
    EXPECT_EQ(log, (Log{"monitor on", "tray modify"}));
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd ( )");
}

TEST_F(MainLogicTest, PoliciesForceOptionsKeepProtectionOnAllowTheirListsAndNeverReachTheFiles)
{
    constexpr const char* kPolicy = "Software\\Policies\\Quellix";
    FakeRegistry& raw = registry.registry;
    const auto dword = [&](Registry::Key root, const char* name, int value) {
        raw.Put(root, kPolicy, name, std::to_string(value), Registry::kTypeDword);
    };
    Store("List", "0");
    Store("StartUp", "1");
    dword(Registry::kLocalMachine, "UseLists", 1);
    dword(Registry::kLocalMachine, "HideOnStart", 1);
    dword(Registry::kLocalMachine, "RunAtStartUp", 0);
    dword(Registry::kLocalMachine, "ToolbarButton", 1);
    dword(Registry::kCurrentUser, "AllowDisable", 0);
    raw.Put(Registry::kLocalMachine, std::string(kPolicy) + "\\AllowedAddresses", "1", Sz("http://wanted.example/"));
    raw.Put(Registry::kCurrentUser, std::string(kPolicy) + "\\AllowedSites", "1", Sz("News.Example"));

    EXPECT_FALSE(logic.Startup()) << "hidden, as the policy says";
    EXPECT_EQ(raw.ValuesOf(Registry::kLocalMachine, ToolbarButtonKey())["exec"],
              Sz("C:\\Program Files\\Quellix\\norvane"));
    EXPECT_EQ(logic.InMemoryOptions().list, 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "lists off"), 0);
    EXPECT_FALSE(platform.shown.MayDisable());
    logic.ToggleProtection();
    EXPECT_FALSE(logic.State().protectionOff) << "the user cannot switch protection off";

    // The rules let the policy's site and address through.
    ticks.now = 10'000;
    EXPECT_EQ(logic.Rules().NewWindow("https://www.news.example/"), NewWindowVerdict::kLeave);
    EXPECT_EQ(logic.Rules().NewWindow3(0, "http://other.example/", "http://wanted.example/"), NewWindowVerdict::kLeave);
    // A browser without NewWindow3: the window is judged by its address, and stays.
    logic.Rules().NewWindow("http://other.example/", 2);
    FakeBrowser wanted("http://wanted.example/");
    logic.Rules().BrowserCreated(wanted, 3);
    EXPECT_EQ(wanted.quits, 0);
    EXPECT_TRUE(logic.Blocked().Empty());

    // A change while running: the switch is free again, and protection is put back on
    // when a policy takes that freedom away later.
    raw.Put(Registry::kCurrentUser, kPolicy, "AllowDisable", "1", Registry::kTypeDword);
    logic.PolicyChanged();
    logic.ToggleProtection();
    EXPECT_TRUE(logic.State().protectionOff);
    raw.Put(Registry::kCurrentUser, kPolicy, "AllowDisable", "0", Registry::kTypeDword);
    logic.PolicyChanged();
    EXPECT_FALSE(logic.State().protectionOff);
    // Its lists are read afresh: an address it no longer names is no longer allowed.
    raw.Put(Registry::kLocalMachine, std::string(kPolicy) + "\\AllowedAddresses", "1", Sz("http://new.example/"));
    logic.PolicyChanged();
    EXPECT_EQ(logic.PolicyAllowed().Entries(), std::vector<std::string>{"http://new.example/"});

    log.clear();
    logic.Shutdown();
    EXPECT_EQ(std::count(log.begin(), log.end(), "write P/Allow.txt.new"), 0) << "the user's lists did not change";
    EXPECT_EQ(std::count(log.begin(), log.end(), "write P/Sites.txt.new"), 0);
    EXPECT_FALSE(Raw(raw, kRun, "Quellix")) << "RunAtStartUp 0 wins over the user's StartUp 1";
}

}  // namespace
}  // namespace quellix::test
