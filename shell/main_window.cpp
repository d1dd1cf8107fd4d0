#include "shell/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include "base/dispatch.h"
#include "base/utf.h"
#include "shell/resource.h"

static_assert(sizeof(void*) == 4, "the notification-area record carries 32-bit handles");

namespace quellix {

namespace {

constexpr wchar_t kClassName[] = L"NoZirOd";

// Twips: the client area and the controls' places.
constexpr int kClientWidth = 8535;
constexpr int kClientHeight = 4335;
constexpr POINT kMonitorPlace = {480, 3600};

constexpr COLORREF kBlockedColour = RGB(255, 0, 0);
constexpr COLORREF kAllowedColour = RGB(0, 128, 0);

// IWebBrowser2's LocationURL and Quit, called through IDispatch.
constexpr DISPID kDispidLocationUrl = 211;
constexpr DISPID kDispidQuit = 300;

// A new browser, for the rules: its address and its Quit.
class BrowserAdapter final : public NewBrowser {
public:
    explicit BrowserAdapter(IDispatch* browser) : m_browser(browser) {}

    std::optional<std::string> LocationUrl() override
    {
        UniqueVariant url;
        if (FAILED(GetProperty(m_browser, kDispidLocationUrl, &url)) ||
            FAILED(VariantChangeType(&url, &url, 0, VT_BSTR)))
            return std::nullopt;
        return Narrow(url.bstrVal ? std::wstring_view(url.bstrVal, SysStringLen(url.bstrVal)) : std::wstring_view());
    }

    void Quit() override { CallMethod(m_browser, kDispidQuit); }

private:
    IDispatch* m_browser;
};

}  // namespace

// Keeps a list box showing what its list holds.
class NoZirOd::ListMirror final : public UrlListObserver {
public:
    ListMirror(UrlList& list, HWND box) : m_list(list), m_box(box) { m_list.SetObserver(this); }
    ~ListMirror() { m_list.SetObserver(nullptr); }

    bool EntryAppended(const std::string& text) override
    {
        const LRESULT added = SendMessageW(m_box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
        return added != LB_ERR && added != LB_ERRSPACE;
    }
    void EntryRemoved(std::size_t index) override { SendMessageW(m_box, LB_DELETESTRING, index, 0); }

    // The list box's selection, as the list's.
    void TakeSelection()
    {
        const LRESULT selected = SendMessageW(m_box, LB_GETCURSEL, 0, 0);
        m_list.Select(selected == LB_ERR ? std::nullopt : std::optional<std::size_t>(selected));
    }

private:
    UrlList& m_list;
    HWND m_box;
};

NoZirOd::NoZirOd()
    : m_monitor({[this](IDispatch* opener) { return IEEvents_NewWindow(opener); },
                 [this](IDispatch* browser) { IEEvents_BrowserCreated(browser); }})
{
    const std::string programPath = Narrow(ProgramFolder()) + "\\norvane.exe";
    m_logic = std::make_unique<MainLogic>(MainServices{*this, *this, *this, m_alerts, m_keys, m_ticks, m_shell,
                                                       m_registry, m_files, m_codePage,
                                                       DefaultListLocation("Allow.txt"), programPath});
    m_optionsLogic = std::make_unique<OptionsDialogLogic>(m_logic->Settings(), m_registry, m_logic->InMemoryOptions(),
                                                          static_cast<OptionsTarget&>(*this), Narrow(ProgramFolder()));
    m_frmWB = std::make_unique<frmWB>(m_logic->Prompt());
    m_frmOptions = std::make_unique<frmOptions>(*m_optionsLogic);
    m_frmTips = std::make_unique<frmTips>();
}

NoZirOd::~NoZirOd()
{
    m_monitor.Destroy();
    m_blockedMirror.reset();
    m_allowedMirror.reset();
    if (m_window)
        DestroyWindow(m_window);
}

NoZirOd::StartResult NoZirOd::Create()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);

    // A fixed border, no maximise button.
    m_window = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Quellix",
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                               100, 100, nullptr, LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINMENU)),
                               GetModuleHandleW(nullptr), this);
    if (!m_window)
        return StartResult::kNoWindow;
    m_shell.SetOwner(m_window);
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

    SetTimer(m_window, kTimerCheck, kClickWatchMs, nullptr);
    Form_Load();
    return StartResult::kRunning;
}

void NoZirOd::BuildControls()
{
    const Layout& lay = m_layout;
    constexpr DWORD kList = WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
    lstBlockedUrls = lay.Add(m_window, L"LISTBOX", L"", kList, IDC_BLOCKEDURLS, 120, 360, 7935, 1230);
    lstWhiteList = lay.Add(m_window, L"LISTBOX", L"", kList, IDC_WHITELIST, 180, 2160, 7935, 1230);
    lay.Add(m_window, L"BUTTON", L"Hide", kButton, IDC_HIDE, 5640, 3720, 1095, 375);
    lay.Add(m_window, L"BUTTON", L"Quit", kButton, IDC_QUIT, 6960, 3720, 1095, 375);
    cmd_Enable = lay.Add(m_window, L"BUTTON", L"Disable", kButton, IDC_ENABLE, 4380, 3720, 1035, 375);
    Frame1 = lay.Add(m_window, L"BUTTON", L"Blocked ZirOd ( )", BS_GROUPBOX, IDC_FRAME1, 20, 120, 8175, 1695);
    HWND frame2 = lay.Add(m_window, L"BUTTON", L"Allow this URLs", BS_GROUPBOX, IDC_FRAME2, 20, 1920, 8175, 1575);
    // The frames lie behind the lists they surround.
    for (HWND frame : {Frame1, frame2})
        SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    m_blockedMirror = std::make_unique<ListMirror>(m_logic->Blocked(), lstBlockedUrls);
    m_allowedMirror = std::make_unique<ListMirror>(m_logic->Allowed(), lstWhiteList);

    m_toolTips.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_window, nullptr,
                                     GetModuleHandleW(nullptr), nullptr));
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
        m_smallIcons[i].reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ids[i]),
                                                            IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                            GetSystemMetrics(SM_CYSMICON), 0)));
        m_largeIcons[i].reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ids[i]),
                                                            IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                            GetSystemMetrics(SM_CYICON), 0)));
    }
    SetWindowIcon(Icon::kOn);

    // mnuTrayIconZirod: never on the menu bar; "Open" is its default entry.
    m_trayMenu.reset(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAYMENU)));
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
    Form_Unload();
    KillTimer(m_window, kTimerCheck);
    m_monitor.Destroy();
    DestroyWindow(m_window);  // and with it every window it owns
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

void NoZirOd::SetMonitorEnabled(bool on)
{
    m_monitor.SetEnabled(on);
}

void NoZirOd::HookTrayWndProc()
{
    PrevTrayWndProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TrayWndProc)));
}

void NoZirOd::UnhookTrayWndProc()
{
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PrevTrayWndProc));
}

void NoZirOd::HookHotKeyWndProc()
{
    PrevHotKeyWndProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HotKeyWndProc)));
}

void NoZirOd::UnhookHotKeyWndProc()
{
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PrevHotKeyWndProc));
}

void NoZirOd::HideWindow()
{
    ShowWindow(m_window, SW_HIDE);
}

void NoZirOd::RegisterHideHotKey()
{
    RegisterHotKey(m_window, kHideHotKeyId, MOD_WIN, kHotKeyVirtualKey);
}

void NoZirOd::UnregisterHideHotKey()
{
    UnregisterHotKey(m_window, kHideHotKeyId);
}

void NoZirOd::EnableLists(bool enabled)
{
    EnableWindow(lstBlockedUrls, enabled);
    EnableWindow(lstWhiteList, enabled);
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

void NoZirOd::NotifyIcon(TrayCommand command, const TrayIconData& data)
{
    // The record is NOTIFYICONDATAA as Windows 95 had it, which every shell still takes.
    Shell_NotifyIconA(static_cast<DWORD>(command),
                      reinterpret_cast<PNOTIFYICONDATAA>(const_cast<TrayIconData*>(&data)));
}

// --- Commands -----------------------------------------------------------------------------------

void NoZirOd::cmd_Hide_Click()
{
    ShowWindow(m_window, SW_HIDE);
}

void NoZirOd::cmd_Quit_Click()
{
    QuitProgram();
}

void NoZirOd::cmd_Enable_Click()
{
    m_logic->Switch().ToggleProtection();
}

void NoZirOd::mnuExitm_Click()
{
    cmd_Quit_Click();
}

void NoZirOd::mnuToolsOptions_Click()
{
    m_frmOptions->ShowModal(m_window);
}

void NoZirOd::mnuTips_Click()
{
    m_frmTips->ShowModal(m_window);
}

void NoZirOd::mnuHelpContents_Click()
{
    // The help page comes with the program, so Help works without a connection.
    const std::wstring page = ProgramFolder() + L"\\quellix.html";
    ShellExecuteW(m_window, L"open", page.c_str(), nullptr, nullptr, SW_SHOW);
}

void NoZirOd::mnuHelpAbout_Click()
{
    // Built afresh at each opening.
    frmAbout about;
    about.ShowModal(m_window);
}

void NoZirOd::mnuShow_Click()
{
    ShowMainWindow();
}

void NoZirOd::mnuEnable_Click()
{
    m_logic->Switch().ToggleProtection();
}

void NoZirOd::mnuAbout_Click()
{
    mnuHelpAbout_Click();
}

void NoZirOd::mnuExit_Click()
{
    QuitProgram();
}

void NoZirOd::lstBlockedUrls_DblClick()
{
    m_blockedMirror->TakeSelection();
    m_frmWB->Open(m_window, "Block");
}

void NoZirOd::lstWhiteList_DblClick()
{
    m_allowedMirror->TakeSelection();
    m_frmWB->Open(m_window, "Allow");
}

void NoZirOd::tmrCheck_Timer()
{
    m_logic->Rules().ClickWatch();
}

std::optional<bool> NoZirOd::IEEvents_NewWindow(IDispatch*)
{
    return m_logic->Rules().NewWindow();
}

void NoZirOd::IEEvents_BrowserCreated(IDispatch* browser)
{
    BrowserAdapter adapter(browser);
    m_logic->Rules().BrowserCreated(adapter);
}

void NoZirOd::OnCommand(int id, int code)
{
    switch (id) {
    case IDC_HIDE:
        cmd_Hide_Click();
        break;
    case IDC_QUIT:
        cmd_Quit_Click();
        break;
    case IDC_ENABLE:
        cmd_Enable_Click();
        break;
    case IDM_EXITM:
        mnuExitm_Click();
        break;
    case IDM_TOOLSOPTIONS:
        mnuToolsOptions_Click();
        break;
    case IDM_TIPS:
        mnuTips_Click();
        break;
    case IDM_HELPCONTENTS:
        mnuHelpContents_Click();
        break;
    case IDM_HELPABOUT:
        mnuHelpAbout_Click();
        break;
    case IDM_SHOW:
        mnuShow_Click();
        break;
    case IDM_ENABLE:
        mnuEnable_Click();
        break;
    case IDM_ABOUT:
        mnuAbout_Click();
        break;
    case IDM_EXIT:
        mnuExit_Click();
        break;
    case IDC_BLOCKEDURLS:
        if (code == LBN_DBLCLK)
            lstBlockedUrls_DblClick();
        else if (code == LBN_SELCHANGE)
            m_blockedMirror->TakeSelection();
        break;
    case IDC_WHITELIST:
        if (code == LBN_DBLCLK)
            lstWhiteList_DblClick();
        else if (code == LBN_SELCHANGE)
            m_allowedMirror->TakeSelection();
        break;
    default:
        break;
    }
}

void NoZirOd::ShowTrayMenu()
{
    // The window must be in the foreground, or the menu would stay open when the user
    // clicks elsewhere; WM_NULL afterwards makes the menu go on the first click away.
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(m_window);
    TrackPopupMenu(GetSubMenu(m_trayMenu.get(), 0), TPM_RIGHTBUTTON | TPM_RIGHTALIGN | TPM_BOTTOMALIGN, cursor.x,
                   cursor.y, 0, m_window, nullptr);
    PostMessageW(m_window, WM_NULL, 0, 0);
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
    if (message == WM_NCCREATE) {
        auto* self = static_cast<NoZirOd*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<NoZirOd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->OwnWndProc(message, wParam, lParam);
}

LRESULT NoZirOd::OwnWndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kTimerCheck)
            tmrCheck_Timer();
        return 0;
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

LRESULT CALLBACK NoZirOd::TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<NoZirOd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == kTrayCallbackMessage && lParam == WM_RBUTTONUP)
        self->ShowTrayMenu();
    else if (message == kTrayCallbackMessage && lParam == WM_LBUTTONDBLCLK)
        self->ShowMainWindow();
    else if (message == self->m_taskbarCreated && message != 0)
        self->m_logic->AddTrayIcon();  // the shell restarted and forgot every icon
    return CallWindowProcW(self->PrevTrayWndProc, window, message, wParam, lParam);
}

LRESULT CALLBACK NoZirOd::HotKeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<NoZirOd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (Module3::IsHideHotKey(message, wParam, lParam))
        self->m_module3.Toggle();
    return CallWindowProcW(self->PrevHotKeyWndProc, window, message, wParam, lParam);
}

}  // namespace quellix
