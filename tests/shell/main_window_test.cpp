// The program's main window for real under Wine: created in this process with the monitor
// control registered and the stand-in browsers answering for the shell's window list,
// driven through its window procedure chain, controls and menus as a user would.
#include <windows.h>
#include <commctrl.h>
#include <exdisp.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "base/utf.h"
#include "blocker/platform_win.h"
#include "shell/main_window_win.h"
#include "shell/registry_win.h"
#include "shell/resource.h"
#include "tests/e2e/harness.h"
#include "tests/monitor/ocx.h"
#include "tests/sim/desktop.h"

namespace quellix::test {
namespace {

using quellix::sim::Browser;

using e2e::Balloon;
using e2e::ListBoxEntries;
using e2e::Option;
using e2e::Pump;
using e2e::PumpUntil;
using e2e::RunAtLogOnValue;
using e2e::SetOption;
using e2e::input::Click;
using tessaly::test::CallExport;

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Quellix";

// A machine policy, as Group Policy writes it: a number, or an entry of a list.
void PutPolicy(const wchar_t* name, DWORD value)
{
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, name, REG_DWORD, &value, sizeof value);
}
void PutPolicyEntry(const wchar_t* list, const wchar_t* number, const std::wstring& text)
{
    const std::wstring key = std::wstring(kPolicyKey) + L"\\" + list;
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), number, REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(CallExport("DllRegisterServer"), S_OK); }
    static void TearDownTestSuite() { CallExport("DllUnregisterServer"); }

    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quellix");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPolicyKey);
        DeleteFileW(allowFile.c_str());
        DeleteFileW(sitesFile.c_str());
        desktop = std::make_unique<sim::Desktop>();
    }

    void Start()
    {
        window = std::make_unique<NoZirOd>();
        ASSERT_EQ(window->Create(), NoZirOd::StartResult::kRunning);
        main = window->Window();
    }

    void TearDown() override
    {
        if (window && window->Window())
            window->QuitProgram();
        window.reset();
        Pump(20);
        desktop.reset();
        DeleteFileW(allowFile.c_str());
        DeleteFileW(sitesFile.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quellix");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPolicyKey);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Quellix");
    }

    HWND Item(int id) const { return GetDlgItem(main, id); }
    std::wstring Text(int id) const { return WindowText(Item(id)); }
    void Command(int id) { SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    // Runs `action` once a window with this caption turns up, from inside a modal loop.
    void WhenWindowOpens(const wchar_t* caption, std::function<void(HWND)> action)
    {
        s_caption = caption;
        s_action = std::move(action);
        SetTimer(nullptr, 0, 50, WatchForWindow);
    }

    static void CALLBACK WatchForWindow(HWND, UINT, UINT_PTR timer, DWORD)
    {
        if (HWND found = FindWindowW(L"QuellixModalWindow", s_caption); found && IsWindowVisible(found)) {
            KillTimer(nullptr, timer);
            s_action(found);
        }
    }

    tessaly::test::Apartment apartment;
    std::wstring allowFile = ProgramFolder() + L"\\Allow.txt";
    std::wstring sitesFile = ProgramFolder() + L"\\Sites.txt";
    std::unique_ptr<sim::Desktop> desktop;
    std::unique_ptr<NoZirOd> window;
    HWND main = nullptr;
    static inline const wchar_t* s_caption = nullptr;
    static inline std::function<void(HWND)> s_action;
};

TEST_F(MainWindowTest, StartsWithItsCaptionControlsMenusAndBanner)
{
    Start();
    EXPECT_EQ(WindowText(main), L"Quellix");
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(Text(IDC_HIDE), L"Hide");
    EXPECT_EQ(Text(IDC_QUIT), L"Quit");
    EXPECT_EQ(Text(IDC_ENABLE), L"Disable");
    EXPECT_EQ(Text(IDC_FRAME1), L"Blocked ZirOd ( )");
    EXPECT_EQ(Text(IDC_FRAME2), L"Allow this URLs");
    EXPECT_FALSE(GetWindowLongPtrW(main, GWL_STYLE) & (WS_MAXIMIZEBOX | WS_THICKFRAME));

    Layout layout;
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, layout.X(8535));
    EXPECT_EQ(client.bottom, layout.Y(4335));

    wchar_t title[32] = {};
    HMENU menu = GetMenu(main);
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    GetMenuStringW(menu, 0, title, 32, MF_BYPOSITION);
    EXPECT_STREQ(title, L"&File");
    GetMenuStringW(GetSubMenu(menu, 2), IDM_HELPABOUT, title, 32, MF_BYCOMMAND);
    EXPECT_STREQ(title, L"&About ");

    // The banner of the monitor control, in its place.
    HWND banner = FindWindowExW(main, nullptr, L"TessalyBanner", nullptr);
    ASSERT_TRUE(banner);
    POINT place = {0, 0};
    MapWindowPoints(banner, main, &place, 1);
    EXPECT_EQ(place.x, layout.X(480));
    EXPECT_EQ(place.y, layout.Y(3600));

    // No blocked list unless the List option is on; allowed addresses count in both modes.
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_BLOCKEDURLS)));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_WHITELIST)));
}

TEST_F(MainWindowTest, APopUpWithoutAClickIsRefusedAndCountedOneAfterAClickOpens)
{
    const ComPtr<Browser> page = desktop->Open(L"http://page.example/");
    Start();
    EXPECT_FALSE(desktop->RequestWindow(page, L"http://ads.example/").window);
    EXPECT_EQ(Text(IDC_FRAME1), L"Blocked ZirOd (1)");
    // A browser whose type information says it raises no NewWindow3: refused at NewWindow2,
    // no window at all.
    const ComPtr<Browser> older = desktop->Open(L"http://older.example/");
    older->SetClassInfo(sim::ClassInfo::kWithoutNewWindow3);
    EXPECT_FALSE(desktop->RequestWindow(older, L"http://ads.example/", {0, false}).window);
    EXPECT_EQ(Text(IDC_FRAME1), L"Blocked ZirOd (2)");

    Click();
    Pump(40);
    EXPECT_TRUE(desktop->RequestWindow(page, L"http://story.example/").window) << "within 400 ms of a click";
    EXPECT_EQ(Text(IDC_FRAME1), L"Blocked ZirOd (2)");
}

TEST_F(MainWindowTest, InListModeThePopUpIsRefusedAndItsAddressListedOnce)
{
    SetOption(L"List", L"1");
    const ComPtr<Browser> page = desktop->Open(L"http://page.example/");
    Start();
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_BLOCKEDURLS)));
    EXPECT_FALSE(desktop->RequestWindow(page, L"http://ads.example/").window);
    // A browser without NewWindow3: the window opens, and closes at its first address.
    const ComPtr<Browser> older = desktop->Open(L"http://older.example/");
    older->SetClassInfo(sim::ClassInfo::kWithoutNewWindow3);
    const ComPtr<Browser> popup = desktop->RequestWindow(older, L"http://ads.example/", {0, false}).window;
    ASSERT_TRUE(popup);
    EXPECT_TRUE(popup->Quitted());
    HWND blocked = Item(IDC_BLOCKEDURLS);
    ASSERT_EQ(SendMessageW(blocked, LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(ListBoxEntries(blocked).at(0), L"http://ads.example/");
    EXPECT_EQ(Text(IDC_FRAME1), L"Blocked ZirOd (2)");
}

TEST_F(MainWindowTest, TheProtectionSwitchWorksFromTheButtonAndFromTheTrayMenuAlike)
{
    const ComPtr<Browser> page = desktop->Open(L"http://page.example/");
    Start();
    Command(IDC_ENABLE);
    EXPECT_EQ(Text(IDC_ENABLE), L"Enable");
    EXPECT_TRUE(desktop->RequestWindow(page, L"http://ads.example/").window) << "protection off blocks nothing";
    Command(IDM_ENABLE);
    EXPECT_EQ(Text(IDC_ENABLE), L"Disable");
    EXPECT_FALSE(desktop->RequestWindow(page, L"http://ads.example/").window);
}

TEST_F(MainWindowTest, HideAndTheCloseBoxOnlyHideADoubleClickOnTheTrayIconShows)
{
    Start();
    Command(IDC_HIDE);
    EXPECT_FALSE(IsWindowVisible(main));
    SendMessageW(main, kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(main));
    SendMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_TRUE(IsWindow(main)) << "the program goes on in the notification area";
    SendMessageW(main, kTrayCallbackMessage, 0, WM_LBUTTONUP);
    EXPECT_FALSE(IsWindowVisible(main)) << "a single click does nothing";
}

TEST_F(MainWindowTest, TheHotKeyReachesModule3ThroughTheProcedureChain)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/", sim::kRealWindow);
    ASSERT_TRUE(browser);
    Start();
    const HWND frame = browser->Hwnd();
    ASSERT_TRUE(IsWindowVisible(frame));
    SendMessageW(main, WM_HOTKEY, kHideHotKeyId, MAKELPARAM(MOD_WIN, 'Z'));
    EXPECT_FALSE(IsWindowVisible(frame));
    SendMessageW(main, WM_HOTKEY, kHideHotKeyId, MAKELPARAM(MOD_WIN | MOD_SHIFT, 'Z'));
    EXPECT_FALSE(IsWindowVisible(frame)) << "an extra modifier is not the hot key";
    SendMessageW(main, WM_HOTKEY, kHideHotKeyId, MAKELPARAM(MOD_WIN, 'Z'));
    EXPECT_TRUE(IsWindowVisible(frame));
}

TEST_F(MainWindowTest, TheOptionsDialogStoresTheBoxesAndSwitchesListModeAtOnce)
{
    Start();
    WhenWindowOpens(L"Options", [](HWND dialog) {
        // The notice's box, on until switched off, below the others and inside their frame.
        const HWND notice = GetDlgItem(dialog, IDC_CHKNOTICE);
        EXPECT_EQ(WindowText(notice), L"Show a notice on block");
        EXPECT_EQ(SendMessageW(notice, BM_GETCHECK, 0, 0), BST_CHECKED);
        RECT box, above, frame, both;
        GetWindowRect(notice, &box);
        GetWindowRect(GetDlgItem(dialog, IDC_CHKICON), &above);
        GetWindowRect(GetDlgItem(dialog, IDC_OPTIONSFRAME), &frame);
        EXPECT_GE(box.top, above.bottom);
        EXPECT_TRUE(UnionRect(&both, &box, &frame) && EqualRect(&both, &frame));
        SendMessageW(notice, BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(dialog, IDC_CHKLIST), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(dialog, IDC_CHKSTARTUP), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    Command(IDM_TOOLSOPTIONS);
    EXPECT_EQ(Option(L"List"), L"1");
    EXPECT_EQ(Option(L"StartUp"), L"1");
    EXPECT_EQ(Option(L"Beep"), L"0");
    EXPECT_EQ(Option(L"Notice"), L"0");
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_BLOCKEDURLS)));
    EXPECT_EQ(window->Logic().InMemoryOptions().list, 1);
    EXPECT_EQ(window->Logic().InMemoryOptions().notice, 0);

    // Cancel stores nothing.
    WhenWindowOpens(L"Options", [](HWND dialog) {
        SendMessageW(GetDlgItem(dialog, IDC_CHKBEEP), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    });
    Command(IDM_TOOLSOPTIONS);
    EXPECT_EQ(Option(L"Beep"), L"0");
}

TEST_F(MainWindowTest, ADoubleClickOnABlockedAddressAllowsItAndQuitKeepsTheList)
{
    SetOption(L"List", L"1");
    SetOption(L"StartUp", L"1");
    const ComPtr<Browser> page = desktop->Open(L"http://page.example/");
    Start();
    desktop->RequestWindow(page, L"http://wanted.example/");
    HWND blocked = Item(IDC_BLOCKEDURLS);
    SendMessageW(blocked, LB_SETCURSEL, 0, 0);
    WhenWindowOpens(L"Dialog Caption", [](HWND dialog) {
        EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_LABEL1)), L"Add http://wanted.example/ to Allow list?");
        EXPECT_EQ(WindowText(GetDlgItem(dialog, IDOK)), L"Add");
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_BLOCKEDURLS, LBN_DBLCLK), reinterpret_cast<LPARAM>(blocked));
    HWND allowed = Item(IDC_WHITELIST);
    ASSERT_EQ(SendMessageW(allowed, LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(ListBoxEntries(allowed).at(0), L"http://wanted.example/");

    Command(IDC_QUIT);
    EXPECT_FALSE(IsWindow(main));
    // Quit saved the allow list, entered the program for log-on, freed the hot key.
    std::string bytes;
    Win32Files files;
    ASSERT_EQ(files.Read(Narrow(allowFile), 1 << 20, bytes), FileStore::ReadResult::kOk);
    EXPECT_EQ(bytes, "http://wanted.example/\r\n");
    const std::optional<std::wstring> run = RunAtLogOnValue();
    ASSERT_TRUE(run);
    EXPECT_TRUE(run->ends_with(L"norvane.exe") || run->ends_with(L"norvane.exe\""));
    HWND other = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(RegisterHotKey(other, 1, MOD_WIN, 'Z')) << "another program can take the hot key";
    UnregisterHotKey(other, 1);
    DestroyWindow(other);
}

TEST_F(MainWindowTest, TheTrayIconComesBackWhenTheShellRestarts)
{
    Start();
    NOTIFYICONDATAW identity{};
    identity.cbSize = NOTIFYICONDATAW_V1_SIZE;
    identity.hWnd = main;
    // The shell forgets every icon when it restarts; then it announces a new task bar.
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &identity));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &identity)) << "gone";
    SendMessageW(main, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &identity)) << "added again";
}

// The pop-up log window's rows, newest first: opener, pop-up, what happened.
std::vector<std::array<std::wstring, 3>> LogRows(HWND list)
{
    std::vector<std::array<std::wstring, 3>> rows;
    const auto count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < count; ++row) {
        std::array<std::wstring, 3> cells;
        for (int column = 1; column <= 3; ++column) {
            wchar_t text[512] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 512;
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            cells[column - 1] = text;
        }
        rows.push_back(cells);
    }
    return rows;
}

// Addresses the shell is asked to open land in a file instead of a browser: the prefix's
// handler of http addresses is a command that writes its argument down, for the test.
class ShellOpenRecorder {
public:
    ShellOpenRecorder()
    {
        DeleteFileW(m_file.c_str());
        const std::wstring command = L"cmd.exe /c echo %1>" + m_file;
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, nullptr, REG_SZ, command.c_str(),
                        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    ~ShellOpenRecorder()
    {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, nullptr, REG_SZ, kWineDefault, sizeof kWineDefault);
        DeleteFileW(m_file.c_str());
    }
    // What the shell was given, once it has been given something.
    std::string Opened()
    {
        std::string bytes;
        PumpUntil([&] { return Win32Files().Read(Narrow(m_file), 4096, bytes) == FileStore::ReadResult::kOk; });
        return bytes;
    }

private:
    static constexpr wchar_t kKey[] = L"Software\\Classes\\http\\shell\\open\\command";
    static constexpr wchar_t kWineDefault[] = L"\"C:\\windows\\system32\\winebrowser.exe\" \"%1\"";
    std::wstring m_file = ProgramFolder() + L"\\opened.txt";
};

TEST_F(MainWindowTest, AnAllowedSiteOpensPopUpsAndTheLogAllowsAnotherInTwoClicks)
{
    Win32Files().Write(Narrow(sitesFile), "news.example\r\n");
    const ComPtr<Browser> news = desktop->Open(L"http://www.news.example/today");
    const ComPtr<Browser> other = desktop->Open(L"http://other.example/");
    Start();
    SettingsStore& settings = window->Logic().Settings();
    settings.Save(kAppName, "Pop-up log", "Width", "");
    EXPECT_TRUE(desktop->RequestWindow(news, L"http://deal.example/").window) << "no click, but an allowed site";
    EXPECT_FALSE(desktop->RequestWindow(other, L"http://ads.example/").window);

    // Tools, "Pop-up log", and in the tray menu before About.
    wchar_t text[32] = {};
    GetMenuStringW(GetMenu(main), IDM_POPUPLOG, text, 32, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Pop-up &log");
    Command(IDM_TRAYPOPUPLOG);
    const HWND log = FindWindowW(L"QuellixPopupLog", L"Pop-up log");
    ASSERT_TRUE(log && IsWindowVisible(log));
    const HWND rows = GetDlgItem(log, IDC_LOG_LIST);
    using Row = std::array<std::wstring, 3>;
    EXPECT_EQ(LogRows(rows),
              (std::vector<Row>{{L"http://other.example/", L"http://ads.example/", L"refused"},
                                {L"http://www.news.example/today", L"http://deal.example/", L"allowed site"}}));

    // Two clicks: the record, then its site's button.
    LVITEMW select{};
    select.state = select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(rows, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
    const HWND allowSite = GetDlgItem(log, IDC_LOG_ALLOWSITE);
    EXPECT_EQ(WindowText(allowSite), L"Allow &pop-ups from other.example");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(log, IDC_LOG_OPEN))) << "refused before it existed, its address known";
    SendMessageW(allowSite, BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(allowSite));
    EXPECT_EQ(GetFocus(), rows) << "the button greyed itself: the keyboard goes back to the log";
    EXPECT_EQ(ListBoxEntries(GetDlgItem(log, IDC_SITES_LIST)),
              (std::vector<std::wstring>{L"news.example", L"other.example"}));
    EXPECT_TRUE(desktop->RequestWindow(other, L"http://ads.example/").window);
    EXPECT_EQ(LogRows(rows).at(0), (Row{L"http://other.example/", L"http://ads.example/", L"allowed site"}));
    EXPECT_EQ(SendMessageW(rows, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1)
        << "the selection stays on its record as the log grows";

    // List mode: pop-ups are refused, and only a web address can be opened anyway.
    window->Logic().InMemoryOptions().list = 1;
    const ComPtr<Browser> third = desktop->Open(L"http://third.example/");
    ShellOpenRecorder shell;
    for (const wchar_t* popup : {L"javascript:alert(1)", L"http://ads.example/win?id=7"}) {
        EXPECT_FALSE(desktop->RequestWindow(third, popup).window);
        EXPECT_EQ(LogRows(rows).at(0), (Row{L"http://third.example/", popup, L"refused"}));
        SendMessageW(rows, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
        SendMessageW(GetDlgItem(log, IDC_LOG_OPEN), BM_CLICK, 0, 0);
    }
    EXPECT_EQ(shell.Opened(), "http://ads.example/win?id=7\r\n") << "the script address never reached the shell";

    // The site survives a restart, and the log window, open at the end, keeps its size.
    Command(IDC_QUIT);
    EXPECT_NE(settings.Get(kAppName, "Pop-up log", "Width", ""), "");
    std::string bytes;
    ASSERT_EQ(Win32Files().Read(Narrow(sitesFile), 4096, bytes), FileStore::ReadResult::kOk);
    EXPECT_EQ(bytes, "news.example\r\nother.example\r\n");
}

TEST_F(MainWindowTest, ARefusalShowsANoticeNamingItsSiteAndAClickOnItOpensTheLogOnThatSitesNewestRecord)
{
    const ComPtr<Browser> news = desktop->Open(L"http://news.example/today");
    const ComPtr<Browser> other = desktop->Open(L"http://other.example/");
    Start();
    // Seen in the window in front: no notice, and nothing counted into the next.
    SetForegroundWindow(main);
    ASSERT_EQ(GetForegroundWindow(), main);
    EXPECT_FALSE(desktop->RequestWindow(other, L"http://ads.example/0").window);

    // In the notification area: one notice a site, the next within 30 s only counted.
    Command(IDC_HIDE);
    for (const auto& [page, popup] : {std::pair{news, L"http://ads.example/1"},
                                      {other, L"http://ads.example/2"},
                                      {other, L"http://ads.example/3"},
                                      {news, L"http://ads.example/4"}})
        EXPECT_FALSE(desktop->RequestWindow(page, popup).window);
    const std::wstring notice = L"Quellix blocked a pop-up from other.example. Click to see it.";
    PumpUntil([&] { return Balloon().second == notice; }, 8000);
    EXPECT_EQ(Balloon().second, notice);

    // The click: the log, on the newest record of the site the notice named.
    SendMessageW(main, kTrayCallbackMessage, 0, NIN_BALLOONUSERCLICK);
    const HWND log = FindWindowW(L"QuellixPopupLog", L"Pop-up log");
    ASSERT_TRUE(log && IsWindowVisible(log));
    const HWND rows = GetDlgItem(log, IDC_LOG_LIST);
    EXPECT_EQ(SendMessageW(rows, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
    EXPECT_EQ(LogRows(rows).at(1)[1], L"http://ads.example/3");
    EXPECT_EQ(WindowText(GetDlgItem(log, IDC_LOG_ALLOWSITE)), L"Allow &pop-ups from other.example");
}

TEST_F(MainWindowTest, PoliciesForceAndGreyOptionsKeepProtectionOnAndAllowWhatTheUserCannotRemove)
{
    SetOption(L"Beep", L"1");
    PutPolicy(L"Beep", 0);
    PutPolicy(L"UseLists", 1);
    PutPolicy(L"AllowDisable", 0);
    PutPolicyEntry(L"AllowedSites", L"1", L"news.example");
    PutPolicyEntry(L"AllowedAddresses", L"1", L"http://wanted.example/");
    const ComPtr<Browser> news = desktop->Open(L"http://www.news.example/");
    const ComPtr<Browser> other = desktop->Open(L"http://other.example/");
    Start();

    EXPECT_FALSE(IsWindowEnabled(Item(IDC_ENABLE)));
    Command(IDM_ENABLE);
    EXPECT_EQ(Text(IDC_ENABLE), L"Disable") << "the tray's entry cannot switch protection off either";
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_BLOCKEDURLS))) << "UseLists";
    EXPECT_EQ(ListBoxEntries(Item(IDC_WHITELIST)),
              (std::vector<std::wstring>{L"http://wanted.example/  (set by your organisation)"}));

    WhenWindowOpens(L"Options", [](HWND dialog) {
        const HWND beep = GetDlgItem(dialog, IDC_CHKBEEP);
        EXPECT_FALSE(IsWindowEnabled(beep));
        EXPECT_EQ(SendMessageW(beep, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_CHKFLASH)));
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    Command(IDM_TOOLSOPTIONS);
    EXPECT_EQ(Option(L"Beep"), L"1") << "OK never writes a forced option";
    EXPECT_EQ(window->Logic().InMemoryOptions().beep, 0);
    WhenWindowOpens(L"Quellix", [](HWND about) {
        EXPECT_EQ(WindowText(GetDlgItem(about, IDC_MANAGED)), L"Some settings are managed by your organisation.");
        SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    });
    Command(IDM_HELPABOUT);

    // The organisation's site opens pop-ups; its address stays open in list mode.
    EXPECT_EQ(news->FireNewWindow2().cancel, VARIANT_FALSE);
    EXPECT_EQ(other->FireNewWindow2().cancel, VARIANT_FALSE);
    EXPECT_FALSE(desktop->Open(L"http://wanted.example/")->Quitted());

    // In the log window the site is shown, and cannot be removed.
    Command(IDM_POPUPLOG);
    const HWND log = FindWindowW(L"QuellixPopupLog", L"Pop-up log");
    ASSERT_TRUE(log);
    const HWND sites = GetDlgItem(log, IDC_SITES_LIST);
    SendMessageW(sites, LB_SETCURSEL, 0, 0);
    SendMessageW(log, WM_COMMAND, MAKEWPARAM(IDC_SITES_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(sites));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(log, IDC_SITES_REMOVE)));
    SendMessageW(log, WM_COMMAND, MAKEWPARAM(IDC_SITES_REMOVE, BN_CLICKED), 0);
    EXPECT_EQ(ListBoxEntries(sites), (std::vector<std::wstring>{L"news.example  (set by your organisation)"}));

    // Policies changed while the program runs take effect when Windows announces them.
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, L"AllowDisable");
    PutPolicyEntry(L"AllowedSites", L"2", L"other.example");
    SendMessageW(main, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Policy"));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_ENABLE)));
    EXPECT_EQ(ListBoxEntries(sites), (std::vector<std::wstring>{L"news.example  (set by your organisation)",
                                                                L"other.example  (set by your organisation)"}));
    other->FireNewWindow2();
    EXPECT_EQ(LogRows(GetDlgItem(log, IDC_LOG_LIST)).at(0)[2], L"allowed site");

    // None of it reaches the user's own files.
    Command(IDC_QUIT);
    for (const std::wstring& file : {allowFile, sitesFile}) {
        std::string bytes;
        Win32Files().Read(Narrow(file), 1 << 20, bytes);
        EXPECT_EQ(bytes.find("example"), std::string::npos) << Narrow(file) << ": " << bytes;
    }
}

}  // namespace
}  // namespace quellix::test
