// NoZirOd, the main window: its making and its controls, start-up and shut-down, what the
// blocking engine sees of it, and its own window procedure. Its notification-area icon is in
// main_tray_win.cpp, its hot key in main_hotkey_win.cpp, its handlers in main_commands_win.cpp.
#include "shell/main_window_win.h"

#include <commctrl.h>

#include "base/utf.h"
#include "base/window.h"
#include "shell/resource.h"
#include "shell/single_instance_win.h"

namespace quellix {

namespace {

// Twips: the client area and the controls' places.
constexpr int kClientWidth = 8535;
constexpr int kClientHeight = 4335;
constexpr POINT kMonitorPlace = {480, 3600};

constexpr COLORREF kBlockedColour = RGB(255, 0, 0);
constexpr COLORREF kAllowedColour = RGB(0, 128, 0);

}  // namespace

NoZirOd::NoZirOd()
    : m_monitor({[this](IDispatch* opener) { return IEEvents_NewWindow(opener); },
                 [this](IDispatch* opener, std::uint32_t flags, std::wstring_view urlContext, std::wstring_view url) {
                     return IEEvents_NewWindow3(opener, flags, urlContext, url);
                 },
                 [this](IDispatch* browser) { IEEvents_BrowserCreated(browser); },
                 [this](IDispatch* browser, std::wstring_view url) { return IEEvents_BrowserNavigating(browser, url); },
                 [this](IDispatch* browser, std::wstring_view url) { IEEvents_NavigateComplete(browser, url); },
                 [this](IDispatch* browser) { IEEvents_BrowserEvent(browser); },
                 [this](IDispatch* browser) { IEEvents_BrowserDestroyed(browser); },
                 [this] { m_logic->FollowNewShell(); }})
{
    const std::string programPath = Narrow(ProgramFolder()) + "\\norvane.exe";
    m_logic = std::make_unique<MainLogic>(
        MainServices{*this, *this, *this, m_alerts, m_keys, m_ticks, m_shell, m_registry, m_files, m_codePage,
                     DefaultListLocation("Allow.txt"), DefaultListLocation("Sites.txt"), programPath});
    m_optionsLogic = std::make_unique<OptionsDialogLogic>(m_logic->Settings(), m_registry, m_logic->InMemoryOptions(),
                                                          static_cast<OptionsTarget&>(*this), Narrow(ProgramFolder()),
                                                          m_logic->CurrentPolicy());
    m_frmWB = std::make_unique<frmWB>(m_logic->Prompt());
    m_frmOptions = std::make_unique<frmOptions>(*m_optionsLogic);
    m_frmTips = std::make_unique<frmTips>();
    m_frmPopupLog = std::make_unique<frmPopupLog>(
        frmPopupLog::Lists{m_logic->Log(), m_logic->Allowed(), m_logic->Sites()}, m_shell, m_logic->Settings());
}

NoZirOd::~NoZirOd()
{
    m_monitor.Destroy();
    m_frmPopupLog.reset();
    m_blockedMirror.reset();
    m_allowedMirror.reset();
    if (m_window)
        DestroyWindow(m_window);
}

NoZirOd::StartResult NoZirOd::Create()
{
    RegisterWindowClass(kMainWindowClass, WindowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // A fixed border, no maximise button.
    m_window = CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, L"Quellix",
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                               100, 100, nullptr, LoadMenuW(ThisInstance(), MAKEINTRESOURCEW(IDR_MAINMENU)),
                               ThisInstance(), this);
    if (!m_window)
        return StartResult::kNoWindow;
    m_shell.SetOwner(m_window);
    m_alerts.SetOwner(m_window);
    m_layout.SizeClientArea(m_window, kClientWidth, kClientHeight);
    CentreWindow(m_window, nullptr);
    BuildControls();

    const POINT place = {m_layout.X(kMonitorPlace.x), m_layout.Y(kMonitorPlace.y)};
    if (const HRESULT hr = m_monitor.Create(m_window, place); FAILED(hr)) {
        wchar_t code[16];
        wsprintfW(code, L"0x%08lX", static_cast<unsigned long>(hr));
        const std::wstring text = L"Quellix cannot watch the browser: its monitor, tessaly.ocx, could not be "
                                  L"started (error " +
                                  std::wstring(code) + L").\n\nIt belongs in the folder " + ProgramFolder() +
                                  L", beside norvane.exe. Reinstall Quellix.";
        MessageBoxW(nullptr, text.c_str(), L"Quellix", MB_OK | MB_ICONERROR);
        return StartResult::kNoMonitor;
    }

    WatchMouse();
    Form_Load();
    return StartResult::kRunning;
}

void NoZirOd::BuildControls()
{
    // In tab order; the monitor's banner takes its place below them (kMonitorPlace).
    static constexpr ControlLayout kControls[] = {
        {L"LISTBOX", L"", style::kList, IDC_BLOCKEDURLS, 120, 360, 7935, 1230},
        {L"LISTBOX", L"", style::kList, IDC_WHITELIST, 180, 2160, 7935, 1230},
        {L"BUTTON", L"Hide", style::kButton, IDC_HIDE, 5640, 3720, 1095, 375},
        {L"BUTTON", L"Quit", style::kButton, IDC_QUIT, 6960, 3720, 1095, 375},
        {L"BUTTON", L"Disable", style::kButton, IDC_ENABLE, 4380, 3720, 1035, 375},
        {L"BUTTON", L"Blocked ZirOd ( )", style::kFrame, IDC_FRAME1, 20, 120, 8175, 1695},
        {L"BUTTON", L"Allow this URLs", style::kFrame, IDC_FRAME2, 20, 1920, 8175, 1575},
    };
    m_layout.AddAll(m_window, kControls);
    lstBlockedUrls = GetDlgItem(m_window, IDC_BLOCKEDURLS);
    lstWhiteList = GetDlgItem(m_window, IDC_WHITELIST);
    cmd_Enable = GetDlgItem(m_window, IDC_ENABLE);
    Frame1 = GetDlgItem(m_window, IDC_FRAME1);

    m_blockedMirror = std::make_unique<ListMirror>(m_logic->Blocked(), lstBlockedUrls);
    m_allowedMirror = std::make_unique<ListMirror>(m_logic->Allowed(), lstWhiteList);

    m_toolTips.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_window, nullptr, ThisInstance(),
                                     nullptr));
    const std::pair<HWND, const wchar_t*> tips[] = {{lstBlockedUrls, L"Double-click to Add to Allow list"},
                                                    {lstWhiteList, L"Double click to Remove from Allow list"}};
    for (const auto& [control, text] : tips) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V1_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = m_window;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = const_cast<wchar_t*>(text);
        SendMessageW(m_toolTips.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    // Imabl, Imdis, Imfls.
    const int ids[] = {IDI_IMABL, IDI_IMDIS, IDI_IMFLS};
    for (int i = 0; i < 3; ++i) {
        m_smallIcons[i].reset(static_cast<HICON>(LoadImageW(ThisInstance(), MAKEINTRESOURCEW(ids[i]), IMAGE_ICON,
                                                            GetSystemMetrics(SM_CXSMICON),
                                                            GetSystemMetrics(SM_CYSMICON), 0)));
        m_largeIcons[i].reset(static_cast<HICON>(LoadImageW(ThisInstance(), MAKEINTRESOURCEW(ids[i]), IMAGE_ICON,
                                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                                            0)));
    }
    SetWindowIcon(Icon::kOn);

    // mnuTrayIconZirod: never on the menu bar; "Open" is its default entry.
    m_trayMenu.reset(LoadMenuW(ThisInstance(), MAKEINTRESOURCEW(IDR_TRAYMENU)));
    SetMenuDefaultItem(GetSubMenu(m_trayMenu.get(), 0), IDM_SHOW, FALSE);
    m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    m_showMessage = RegisterWindowMessageW(kShowMainWindowMessage);
    m_quitMessage = RegisterWindowMessageW(kQuitMessage);
}

// --- Start-up and shut-down -----------------------------------------------------------------

void NoZirOd::Form_Load()
{
    if (m_logic->Startup())
        ShowWindow(m_window, SW_SHOW);
}

void NoZirOd::Form_Unload()
{
    m_logic->Shutdown();
}

void NoZirOd::QuitProgram()
{
    if (m_quitting)
        return;
    m_quitting = true;
    // Closed as its close box does, so that it keeps its size: destroying it with this
    // window would hide it first.
    if (const HWND log = m_frmPopupLog->Window(); log && IsWindowVisible(log))
        SendMessageW(log, WM_CLOSE, 0, 0);
    Form_Unload();
    KillTimer(m_window, kTimerRetry);
    KillTimer(m_window, Win32Alerts::kFlashTimer);
    m_mouseHook.reset();
    m_monitor.Destroy();
    DestroyWindow(m_window);  // and with it every window it owns
}

bool NoZirOd::PreTranslate(MSG& message)
{
    if (m_frmPopupLog->PreTranslate(message))
        return true;
    return m_window && IsDialogMessageW(m_window, &message);
}

void NoZirOd::ShowMainWindow()
{
    if (!IsWindowVisible(m_window)) {
        ShowWindow(m_window, SW_SHOW);
        SetForegroundWindow(m_window);
    } else if (IsIconic(m_window)) {
        ShowWindow(m_window, SW_RESTORE);
    }
}

// --- MainWindowPlatform -----------------------------------------------------------------------

bool NoZirOd::SetMonitorEnabled(bool on)
{
    return SUCCEEDED(LOG_IF_FAILED(m_monitor.SetEnabled(on)));
}

void NoZirOd::ArmMonitorRetry(std::uint32_t delayMs)
{
    SetTimer(m_window, kTimerRetry, delayMs, nullptr);
}

namespace {
NoZirOd* g_mouseWatcher = nullptr;  // the one main window, for the low-level hook
}  // namespace

void NoZirOd::WatchMouse()
{
    // Every button press, wherever it goes, without a timer: raw input from the mouse, even
    // while the window is in the background.
    const RAWINPUTDEVICE mouse = {0x01, 0x02, RIDEV_INPUTSINK, m_window};  // generic desktop, mouse
    if (LOG_LAST_ERROR_IF_FALSE(RegisterRawInputDevices(&mouse, 1, sizeof mouse)))
        return;
    g_mouseWatcher = this;
    m_mouseHook.reset(SetWindowsHookExW(WH_MOUSE_LL, MouseHook, ThisInstance(), 0));
    LOG_LAST_ERROR_IF_FALSE(m_mouseHook.get() != nullptr);
}

LRESULT CALLBACK NoZirOd::MouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && g_mouseWatcher &&
        (wParam == WM_LBUTTONDOWN || wParam == WM_RBUTTONDOWN || wParam == WM_MBUTTONDOWN))
        g_mouseWatcher->Mouse_ButtonDown();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void NoZirOd::HideWindow()
{
    ShowWindow(m_window, SW_HIDE);
}

void NoZirOd::EnableLists(bool enabled)
{
    // Allowed addresses count in both modes: only the blocked list belongs to list mode.
    EnableWindow(lstBlockedUrls, enabled);
}

void NoZirOd::ShowPolicy(const Policy& policy)
{
    // SetEnableCaption rewrites the tray's entry, enabled: the policy comes after it.
    const bool mayDisable = policy.MayDisable();
    EnableWindow(cmd_Enable, mayDisable);
    EnableMenuItem(GetSubMenu(m_trayMenu.get(), 0), IDM_ENABLE, MF_BYCOMMAND | (mayDisable ? MF_ENABLED : MF_GRAYED));
    m_allowedMirror->ShowFixed(policy.allowedAddresses);
    m_frmPopupLog->PolicyChanged();
}

// --- MainWindowView and NotificationArea --------------------------------------------------------

void NoZirOd::SetEnableCaption(std::string_view caption)
{
    const std::wstring text = Widen(caption);
    SetWindowTextW(cmd_Enable, text.c_str());
    ModifyMenuW(GetSubMenu(m_trayMenu.get(), 0), IDM_ENABLE, MF_BYCOMMAND | MF_STRING, IDM_ENABLE, text.c_str());
}

void NoZirOd::SetWindowIcon(Icon icon)
{
    const auto index = static_cast<int>(icon);
    SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcons[index].get()));
    SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_largeIcons[index].get()));
}

void NoZirOd::SetBlockedFrameCaption(std::string_view caption)
{
    SetWindowTextW(Frame1, Widen(caption).c_str());
}

std::uint32_t NoZirOd::WindowHandle() const
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(m_window));
}

std::uint32_t NoZirOd::IconHandle(Icon icon) const
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(m_smallIcons[static_cast<int>(icon)].get()));
}

void NoZirOd::PaintRules(HDC dc)
{
    // A grey and a white rule under the menu bar.
    const struct {
        int y;
        COLORREF colour;
    } rules[] = {{10, RGB(128, 128, 128)}, {30, RGB(255, 255, 255)}};
    for (const auto& rule : rules) {
        SetDCBrushColor(dc, rule.colour);
        const int y = m_layout.Y(rule.y);
        const RECT line = {m_layout.X(15), y, m_layout.X(8520), y + 1};
        FillRect(dc, &line, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
}

// --- Window procedures --------------------------------------------------------------------------

LRESULT CALLBACK NoZirOd::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    NoZirOd* const self = WindowOwner<NoZirOd>(window, message, lParam);
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCCREATE)
        self->m_window = window;
    return self->OwnWndProc(message, wParam, lParam);
}

LRESULT NoZirOd::OwnWndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kTimerRetry) {
            KillTimer(m_window, kTimerRetry);
            tmrRetry_Timer();
        } else if (wParam == Win32Alerts::kFlashTimer) {
            KillTimer(m_window, Win32Alerts::kFlashTimer);
            m_logic->Switch().EndFlash();
        }
        return 0;
    case WM_INPUT: {
        RAWINPUT input;
        UINT size = sizeof input;
        if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, &input, &size, sizeof(RAWINPUTHEADER)) !=
                static_cast<UINT>(-1) &&
            input.header.dwType == RIM_TYPEMOUSE &&
            (input.data.mouse.usButtonFlags &
             (RI_MOUSE_LEFT_BUTTON_DOWN | RI_MOUSE_RIGHT_BUTTON_DOWN | RI_MOUSE_MIDDLE_BUTTON_DOWN)))
            Mouse_ButtonDown();
        break;  // DefWindowProc lets the system free the input
    }
    case WM_CTLCOLORLISTBOX: {
        const auto box = reinterpret_cast<HWND>(lParam);
        if (box == lstBlockedUrls || box == lstWhiteList) {
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, IsWindowEnabled(box) ? (box == lstBlockedUrls ? kBlockedColour : kAllowedColour)
                                                  : GetSysColor(COLOR_GRAYTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (HDC dc = BeginPaint(m_window, &paint)) {
            PaintRules(dc);
            EndPaint(m_window, &paint);
        }
        return 0;
    }
    case WM_CLOSE:
        // The title bar's close box hides the window, as "Hide" does: the program goes on in
        // the notification area. Quit, File Exit and the tray's Exit end it.
        if (!m_quitting)
            cmd_Hide_Click();
        return 0;
    case WM_SETTINGCHANGE:
        // Group Policy announces new policies so, to every top-level window, hidden or not.
        if (lParam && lstrcmpiW(reinterpret_cast<const wchar_t*>(lParam), L"Policy") == 0)
            m_logic->PolicyChanged();
        break;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // Windows is ending: keep what must survive, as Quit does.
        if (wParam)
            QuitProgram();
        return 0;
    case WM_DESTROY:
        m_window = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        if (message == m_showMessage && message != 0) {
            ShowMainWindow();
            SetForegroundWindow(m_window);
            return 0;
        }
        if (message == m_quitMessage && message != 0) {
            QuitProgram();
            return 0;
        }
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

}  // namespace quellix
