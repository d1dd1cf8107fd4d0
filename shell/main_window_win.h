// NoZirOd, the program's main window: the two address lists, the buttons, the menus, the
// monitor control's banner, the notification-area icon and the hot key. Its logic lives
// in MainLogic; this class is the Win32 side of it.
#pragma once

#include <windows.h>

#include <memory>

#include "base/utf.h"
#include "blocker/platform_win.h"
#include "shell/dialogs_win.h"
#include "shell/hotkey.h"
#include "shell/hotkey_win.h"
#include "shell/layout_win.h"
#include "shell/list_mirror_win.h"
#include "shell/main_logic.h"
#include "shell/monitor_host_win.h"
#include "shell/popup_log_win.h"
#include "shell/registry_win.h"
#include "shell/single_instance_win.h"

namespace quellix {

class NoZirOd final : private MainWindowPlatform, private MainWindowView, private NotificationArea {
public:
    // What Create reports when the program cannot run.
    enum class StartResult { kRunning, kNoMonitor, kNoWindow };

    NoZirOd();
    ~NoZirOd();
    NoZirOd(const NoZirOd&) = delete;
    NoZirOd& operator=(const NoZirOd&) = delete;

    // Creates the window and its control, runs the start-up sequence and shows the window
    // unless it is to start hidden. Tells the user when monitoring cannot start.
    StartResult Create();

    // Runs the shut-down sequence and ends the program: the window goes and the thread's
    // message loop receives WM_QUIT.
    void QuitProgram();
    // Shows the window; one already visible is left as it is.
    void ShowMainWindow();

    HWND Window() const { return m_window; }
    MainLogic& Logic() { return *m_logic; }
    // Tab, Enter, Escape and mnemonics in the main window and the pop-up log, for the
    // program's message loop; true when the message was handled so.
    bool PreTranslate(MSG& message);

    // The one timer of the window, armed only while the monitor cannot watch.
    static constexpr UINT kTimerRetry = 1;

private:
    // MainWindowPlatform
    bool SetMonitorEnabled(bool on) override;
    void ArmMonitorRetry(std::uint32_t delayMs) override;
    void RestoreHiddenBrowsers() override;
    void HookTrayWndProc() override;
    void UnhookTrayWndProc() override;
    void HideWindow() override;
    void RegisterHideHotKey() override;
    void UnregisterHideHotKey() override;
    void HookHotKeyWndProc() override;
    void UnhookHotKeyWndProc() override;
    void EnableLists(bool enabled) override;
    void ShowPolicy(const Policy& policy) override;

    // MainWindowView
    void SetEnableCaption(std::string_view caption) override;
    void SetWindowIcon(Icon icon) override;
    void SetBlockedFrameCaption(std::string_view caption) override;
    std::uint32_t WindowHandle() const override;
    std::uint32_t IconHandle(Icon icon) const override;
    bool InFront() const override;

    // NotificationArea
    void NotifyIcon(TrayCommand command, const TrayIconData& data) override;
    void ShowNotice(std::string_view text) override;
    void ShowWaitingNotice();

    // Event handlers, named after their controls.
    void Form_Load();
    void Form_Unload();
    void cmd_Hide_Click();
    void cmd_Quit_Click();
    void cmd_Enable_Click();
    void mnuExitm_Click();
    void mnuToolsOptions_Click();
    void mnuTips_Click();
    void mnuPopupLog_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();
    void mnuShow_Click();
    void mnuEnable_Click();
    void mnuTrayPopupLog_Click();
    void mnuAbout_Click();
    void mnuExit_Click();
    void Notice_Click();
    void lstBlockedUrls_DblClick();
    void lstWhiteList_DblClick();
    void tmrRetry_Timer();
    // A mouse button went down anywhere (raw input, or the low-level hook where raw input
    // cannot be had): the time the click rule goes by.
    void Mouse_ButtonDown();
    void WatchMouse();
    static LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam);
    NewWindowVerdict IEEvents_NewWindow(IDispatch* opener);
    NewWindowVerdict IEEvents_NewWindow3(IDispatch* opener, std::uint32_t flags, std::wstring_view urlContext,
                                         std::wstring_view url);
    void IEEvents_BrowserCreated(IDispatch* browser);
    bool IEEvents_BrowserNavigating(IDispatch* browser, std::wstring_view url);
    void IEEvents_NavigateComplete(IDispatch* browser, std::wstring_view url);
    void IEEvents_BrowserEvent(IDispatch* browser);
    void IEEvents_BrowserDestroyed(IDispatch* browser);

    void BuildControls();
    void ShowTrayMenu();
    void OnCommand(int id, int code);
    void PaintRules(HDC dc);

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK HotKeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OwnWndProc(UINT message, WPARAM wParam, LPARAM lParam);

    // The platform, as the logic sees it.
    Win32KeyState m_keys;
    Win32Ticks m_ticks;
    Win32Alerts m_alerts;
    Win32ShellOpener m_shell;
    Win32Registry m_registry;
    Win32Files m_files;
    Win32CodePage m_codePage;
    Win32WindowList m_windows;
    Module3 m_module3{m_windows};
    std::unique_ptr<MainLogic> m_logic;
    std::unique_ptr<OptionsDialogLogic> m_optionsLogic;

    const Layout& m_layout = ProgramLayout();
    HWND m_window = nullptr;
    HWND lstBlockedUrls = nullptr;
    HWND lstWhiteList = nullptr;
    HWND cmd_Enable = nullptr;
    HWND Frame1 = nullptr;
    UniqueHwnd m_toolTips;
    UniqueHmenu m_trayMenu;  // mnuTrayIconZirod
    // Imabl, Imdis, Imfls: small for the tray and the title bar, large for Alt+Tab.
    UniqueHicon m_smallIcons[3];
    UniqueHicon m_largeIcons[3];
    MonitorHost m_monitor;
    std::unique_ptr<frmWB> m_frmWB;
    std::unique_ptr<frmOptions> m_frmOptions;
    std::unique_ptr<frmTips> m_frmTips;
    std::unique_ptr<frmPopupLog> m_frmPopupLog;

    WNDPROC PrevTrayWndProc = nullptr;
    WNDPROC PrevHotKeyWndProc = nullptr;
    UniqueHhook m_mouseHook;  // only where raw input cannot be had
    UINT m_taskbarCreated = 0;
    UINT m_showMessage = 0;  // a second copy was started
    UINT m_quitMessage = 0;  // the uninstaller asks
    std::wstring m_notice;   // the text of the notice about to be shown
    bool m_quitting = false;

    std::unique_ptr<ListMirror> m_blockedMirror;
    std::unique_ptr<ListMirror> m_allowedMirror;
};

}  // namespace quellix
