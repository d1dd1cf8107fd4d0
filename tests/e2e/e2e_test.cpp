// Scenarios of the whole program, as a user lives them: norvane.exe as built, in its own
// process, against stand-in browsers in this one.
#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <memory>

#include "shell/resource.h"
#include "tests/e2e/environment_test.h"

namespace quellix::e2e {
namespace {

using sim::Browser;

class E2ETest : public EnvironmentTest {
protected:
    void SetUp() override
    {
        ForgetEverything();
        desktop = std::make_unique<sim::Desktop>();
        page = desktop->Open(L"http://page.example/", sim::kRealWindow);
        ASSERT_TRUE(page);
    }

    void TearDown() override
    {
        program.reset();
        page.Reset();
        desktop.reset();
        ForgetEverything();
    }

    void Start()
    {
        program = std::make_unique<Program>(*desktop);
        ASSERT_TRUE(program->Start());
    }

    // The tray menu's last entry, "Exit", chosen with the keyboard as a user may.
    void ExitFromTheTray()
    {
        program->TrayRightClick();
        HWND menu = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); }));
        PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    }

    std::unique_ptr<sim::Desktop> desktop;
    ComPtr<Browser> page;
    std::unique_ptr<Program> program;
};

TEST_F(E2ETest, APopUpIsRefusedBeforeItsWindowExistsAndWhatTheUserAskedForOpens)
{
    Start();
    EXPECT_TRUE(program->TrayIconPresent());
    const sim::WindowRequestResult refused = desktop->RequestWindow(page, L"http://ads.example/");
    EXPECT_FALSE(refused.window) << "no window is ever made";
    EXPECT_EQ(refused.newWindow2.cancel, VARIANT_FALSE) << "NewWindow2 defers to the address";
    EXPECT_EQ(program->Text(IDC_FRAME1), L"Blocked ZirOd (1)");

    // A click, then the page's window within 400 ms: the user's.
    input::Click();
    Pump(40);
    EXPECT_TRUE(desktop->RequestWindow(page, L"http://story.example/").window);
    // A link followed with the keyboard: no click, but the browser says the user did it.
    Pump(500);
    EXPECT_TRUE(desktop->RequestWindow(page, L"http://key.example/", {NWMF_USERINITED | NWMF_FIRST}).window);

    // Ctrl held, however long after the last click. (A person holds it a moment before the
    // page reacts; Wine also keeps each program's view of the keys for up to 50 ms.) A Shift
    // pressed and released long before lets nothing through.
    input::Press(VK_CONTROL);
    Pump(100);
    EXPECT_TRUE(desktop->RequestWindow(page, L"http://ctrl.example/").window);
    input::Release(VK_CONTROL);
    input::Press(VK_SHIFT);
    input::Release(VK_SHIFT);
    Pump(500);
    EXPECT_FALSE(desktop->RequestWindow(page, L"http://ads.example/").window);

    // The page opens a window as the user's click leaves it: an exit pop-up.
    input::Click();
    Pump(40);
    EXPECT_FALSE(desktop->RequestWindow(page, L"http://exit.example/", {NWMF_UNLOADING | NWMF_USERINITED}).window);
    EXPECT_EQ(program->Text(IDC_FRAME1), L"Blocked ZirOd (3)");
}

TEST_F(E2ETest, WithTheTraceOnEveryEventAndDecisionCanBeReadBackWithItsReasons)
{
    SetOption(L"Trace", L"1");
    Start();
    EXPECT_FALSE(desktop->RequestWindow(page, L"http://ads.example/", {}).window);
    EXPECT_TRUE(desktop->RequestWindow(page, L"http://story.example/", {NWMF_USERINITED | NWMF_FIRST}).window);
    program->Command(IDM_EXITM);
    EXPECT_EQ(program->WaitForExit(), 0u);

    const std::string trace = TraceFile();
    for (const char* line : {"event NewWindow of browser ", "event NewWindow3 of browser ",
                             " http://page.example/ http://ads.example/", "decision: refused | request of browser ",
                             "from http://page.example/ for http://ads.example/ | lists off, protection on, browser ",
                             ", no key held, last click ", "decision: let through: the user's click or key",
                             "flags 0x6", "Quellix ends with code 0"})
        EXPECT_NE(trace.find(line), std::string::npos) << line << "\n" << trace;
}

TEST_F(E2ETest, InListModeARefusedAddressIsListedOnceAndAnAllowedOneOpens)
{
    SetOption(L"List", L"1");
    WriteAllowFile("http://news.example/\r\n");
    Start();
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(desktop->RequestWindow(page, L"http://ads.example/").window);
    EXPECT_EQ(program->ListEntries(IDC_BLOCKEDURLS), (std::vector<std::wstring>{L"http://ads.example/"}));
    EXPECT_EQ(program->Text(IDC_FRAME1), L"Blocked ZirOd (2)");

    const ComPtr<Browser> allowed = desktop->RequestWindow(page, L"http://news.example/", {0, true, true}).window;
    ASSERT_TRUE(allowed);
    EXPECT_FALSE(allowed->Quitted());
    EXPECT_TRUE(IsWindowVisible(allowed->Hwnd()));
}

TEST_F(E2ETest, ABrowserWithoutNewWindow3HasEachPopUpClosedAtItsFirstRealAddress)
{
    for (const wchar_t* list : {L"0", L"1"}) {
        SetOption(L"List", list);
        Start();
        // One at a time: registered with the list before its first navigation, as browsers do.
        const ComPtr<Browser> popup = desktop->RequestWindow(page, L"http://old.example/", {0, false, true}).window;
        ASSERT_TRUE(popup);
        EXPECT_TRUE(popup->Quitted()) << list;
        EXPECT_NE(popup->Url(), L"http://old.example/") << "its navigation was cancelled";
        EXPECT_FALSE(IsWindow(popup->Hwnd()));

        // Known now to raise no NewWindow3, it has two at once refused before they exist with
        // lists off, and judged at their addresses in list mode; then the user's own window,
        // which nobody waits for.
        const VARIANT_BOOL refused = *list == L'0' ? VARIANT_TRUE : VARIANT_FALSE;
        EXPECT_EQ(page->FireNewWindow2().cancel, refused);
        EXPECT_EQ(page->FireNewWindow2().cancel, refused);
        if (!refused) {
            const ComPtr<Browser> first = desktop->Create(L""), second = desktop->Create(L"");
            desktop->Register(*first.Get());
            desktop->Register(*second.Get());
            second->Load(L"http://two.example/");
            first->Load(L"http://one.example/");
            EXPECT_TRUE(first->Quitted() && second->Quitted()) << list;
        }
        const ComPtr<Browser> mine = desktop->Create(L"");
        desktop->Register(*mine.Get());
        EXPECT_TRUE(mine->Load(L"http://mine.example/"));
        EXPECT_FALSE(mine->Quitted());
        EXPECT_EQ(program->Text(IDC_FRAME1), L"Blocked ZirOd (3)");
        program->Command(IDM_EXITM);
        EXPECT_EQ(program->WaitForExit(), 0u);
    }
    EXPECT_EQ(AllowFile(), "");
}

TEST_F(E2ETest, AmongFiftyOpenWindowsPopUpsAreRefusedAndTheUsersOwnOpen)
{
    SetOption(L"List", L"1");
    std::vector<ComPtr<Browser>> crowd;
    for (int i = 0; i < 50; ++i)
        crowd.push_back(desktop->Open(L"http://site" + std::to_wstring(i) + L".example/"));
    Start();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(desktop->RequestWindow(page, L"http://ads.example/" + std::to_wstring(i)).window) << i;
        // The user's own window, opened with Ctrl held.
        input::Press(VK_CONTROL);
        Pump(100);
        const ComPtr<Browser> mine = desktop->RequestWindow(page, L"http://mine.example/" + std::to_wstring(i)).window;
        input::Release(VK_CONTROL);
        ASSERT_TRUE(mine);
        EXPECT_FALSE(mine->Quitted()) << i;
        crowd.push_back(mine);
    }
    EXPECT_EQ(program->ListEntries(IDC_BLOCKEDURLS).size(), 3u);
    for (const ComPtr<Browser>& browser : crowd)
        EXPECT_FALSE(browser->Quitted());
}

TEST_F(E2ETest, AnAddressMovedToTheAllowListSurvivesAQuitAndARestart)
{
    SetOption(L"List", L"1");
    Start();
    desktop->RequestWindow(page, L"http://wanted.example/");
    ASSERT_EQ(program->ListEntries(IDC_BLOCKEDURLS).size(), 1u);

    program->DoubleClickEntry(IDC_BLOCKEDURLS, 0);
    const HWND dialog = program->WaitForWindow(L"Dialog Caption");
    ASSERT_TRUE(dialog);
    wchar_t question[256] = {};
    GetWindowTextW(GetDlgItem(dialog, IDC_LABEL1), question, 256);
    EXPECT_STREQ(question, L"Add http://wanted.example/ to Allow list?");
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return program->ListEntries(IDC_WHITELIST).size() == 1; }));

    program->Command(IDC_QUIT);
    EXPECT_EQ(program->WaitForExit(), 0u);
    EXPECT_EQ(AllowFile(), "http://wanted.example/\r\n");

    Start();
    EXPECT_EQ(program->ListEntries(IDC_WHITELIST), (std::vector<std::wstring>{L"http://wanted.example/"}));
    const ComPtr<Browser> again = desktop->RequestWindow(page, L"http://wanted.example/").window;
    ASSERT_TRUE(again) << "allowed now";
    EXPECT_FALSE(again->Quitted());
}

TEST_F(E2ETest, WindowsZHidesEveryBrowserAndBringsThemBackWithTheirPlacements)
{
    const ComPtr<Browser> maximised = desktop->Open(L"http://big.example/", sim::kRealWindow);
    ShowWindow(maximised->Hwnd(), SW_MAXIMIZE);
    Start();
    WINDOWPLACEMENT before{};
    before.length = sizeof before;
    GetWindowPlacement(maximised->Hwnd(), &before);

    input::Chord({VK_LWIN, 'Z'});
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(page->Hwnd()) && !IsWindowVisible(maximised->Hwnd()); }));
    EXPECT_TRUE(IsWindow(page->Hwnd())) << "hidden, not closed";

    input::Chord({VK_LWIN, 'Z'});
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(page->Hwnd()) && IsWindowVisible(maximised->Hwnd()); }));
    WINDOWPLACEMENT after{};
    after.length = sizeof after;
    GetWindowPlacement(maximised->Hwnd(), &after);
    EXPECT_EQ(after.showCmd, before.showCmd);
    EXPECT_TRUE(EqualRect(&after.rcNormalPosition, &before.rcNormalPosition));
}

TEST_F(E2ETest, WithProtectionOffNothingIsBlockedAndTheOptionsChangeTheModeAtOnce)
{
    Start();
    PostMessageW(program->Item(IDC_ENABLE), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return program->Text(IDC_ENABLE) == L"Enable"; }));
    EXPECT_TRUE(desktop->RequestWindow(page, L"http://ads.example/").window);
    program->Command(IDM_ENABLE);  // the tray menu's entry
    ASSERT_TRUE(PumpUntil([&] { return program->Text(IDC_ENABLE) == L"Disable"; }));

    program->Command(IDM_TOOLSOPTIONS);
    const HWND options = program->WaitForWindow(L"Options");
    ASSERT_TRUE(options);
    PostMessageW(GetDlgItem(options, IDC_CHKLIST), BM_CLICK, 0, 0);
    PostMessageW(GetDlgItem(options, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return Option(L"List") == L"1"; }));
    EXPECT_FALSE(desktop->RequestWindow(page, L"http://ads.example/").window);
    EXPECT_EQ(program->ListEntries(IDC_BLOCKEDURLS), (std::vector<std::wstring>{L"http://ads.example/"}))
        << "list mode now";
}

// The shell ends while the program asks its list about a window that joined; later a new
// shell announces its task bar.
TEST_F(E2ETest, AfterTheShellRestartsTheBrowsersOfTheNewShellAreWatched)
{
    Start();
    const std::wstring watching = program->Text(IDC_FRAME1);
    const std::wstring blind = watching + L" - not watching the browsers";
    desktop->Calls().During(sim::Call::kCount, [&] { desktop->EndShell(); });
    desktop->Open(L"http://joined.example/");
    EXPECT_TRUE(PumpUntil([&] { return program->Text(IDC_FRAME1) == blind; }));
    Pump(300);
    EXPECT_EQ(program->Text(IDC_FRAME1), blind) << "no list to follow yet";

    desktop->RestartShell();
    BroadcastTaskbarCreated();
    EXPECT_TRUE(PumpUntil([&] { return program->Text(IDC_FRAME1) == watching; }, 2000)) << "at once, not at the retry";
    EXPECT_TRUE(program->TrayIconPresent());
    const ComPtr<Browser> later = desktop->Open(L"http://later.example/", sim::kRealWindow);
    ASSERT_TRUE(later);
    EXPECT_FALSE(desktop->RequestWindow(later, L"http://ads.example/").window);
    EXPECT_EQ(program->Text(IDC_FRAME1), L"Blocked ZirOd (1)");
}

TEST_F(E2ETest, HiddenOnStartTheTrayIconOpensTheWindow)
{
    SetOption(L"HideOnStart", L"1");
    Start();
    EXPECT_FALSE(program->Visible());
    EXPECT_TRUE(program->TrayIconPresent());
    program->TrayDoubleClick();
    EXPECT_TRUE(PumpUntil([&] { return program->Visible(); }));
}

TEST_F(E2ETest, ExitFromTheTrayFreesTheHotKeyRemovesTheIconAndWritesTheLogOnEntry)
{
    SetOption(L"StartUp", L"1");
    Start();
    const HWND main = program->Main();
    ExitFromTheTray();
    EXPECT_EQ(program->WaitForExit(), 0u);
    EXPECT_FALSE(IsWindow(main));

    NOTIFYICONDATAW identity{};
    identity.cbSize = NOTIFYICONDATAW_V1_SIZE;
    identity.hWnd = main;
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &identity)) << "the tray icon is gone";
    const HWND other = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(RegisterHotKey(other, 1, MOD_WIN, 'Z')) << "another program can take Windows+Z";
    UnregisterHotKey(other, 1);
    DestroyWindow(other);
    const std::optional<std::wstring> run = RunAtLogOnValue();
    ASSERT_TRUE(run);
    EXPECT_NE(run->find(L"norvane.exe"), std::wstring::npos);

    // With Run at StartUp cleared, the next quit removes the entry.
    SetOption(L"StartUp", L"0");
    Start();
    program->Command(IDM_EXITM);
    EXPECT_EQ(program->WaitForExit(), 0u);
    EXPECT_FALSE(RunAtLogOnValue());
}

}  // namespace
}  // namespace quellix::e2e
