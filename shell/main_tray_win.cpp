// NoZirOd in the notification area: its icon, the notice of a block over it, the window
// procedure in front of the window's own that takes the icon's mouse reports, and the icon's
// menu (mnuTrayIconZirod).
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "base/utf.h"
#include "base/window.h"
#include "shell/main_window_win.h"

namespace quellix {

namespace {

// Posted to the window: the notice is shown once the browser has the verdict it waits for
// in its call, not inside that call.
constexpr UINT kShowNoticeMessage = WM_APP + 1;

}  // namespace

void NoZirOd::HookTrayWndProc()
{
    PrevTrayWndProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TrayWndProc)));
}

void NoZirOd::UnhookTrayWndProc()
{
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PrevTrayWndProc));
}

void NoZirOd::NotifyIcon(TrayCommand command, const TrayIconData& data)
{
    // The record is NOTIFYICONDATAA as Windows 95 had it, which every shell still takes.
#ifdef _WIN64
    // The 64-bit build, made only to be tested where no 32-bit program runs, has wider
    // handles: the same record, field by field. Window and icon handles keep to 32
    // significant bits on 64-bit Windows, sign-extended.
    const auto handle = [](std::uint32_t value) { return static_cast<LONG_PTR>(static_cast<LONG>(value)); };
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = reinterpret_cast<HWND>(handle(data.hWnd));
    record.uID = data.uID;
    record.uFlags = data.uFlags;
    record.uCallbackMessage = data.uCallbackMessage;
    record.hIcon = reinterpret_cast<HICON>(handle(data.hIcon));
    static_assert(sizeof record.szTip >= sizeof data.szTip);
    std::memcpy(record.szTip, data.szTip, sizeof data.szTip);
    Shell_NotifyIconA(static_cast<DWORD>(command), &record);
#else
    Shell_NotifyIconA(static_cast<DWORD>(command),
                      reinterpret_cast<PNOTIFYICONDATAA>(const_cast<TrayIconData*>(&data)));
#endif
}

void NoZirOd::ShowNotice(std::string_view text)
{
    m_notice = Widen(text);
    PostMessageW(m_window, kShowNoticeMessage, 0, 0);
}

void NoZirOd::ShowWaitingNotice()
{
    // The full record, for its balloon fields, over the icon the 88-byte one added: the same
    // window and identifier 0. No title: the text says all, and a title would say it twice.
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof record;
    record.hWnd = m_window;
    record.uFlags = NIF_INFO;
    lstrcpynW(record.szInfo, m_notice.c_str(), ARRAYSIZE(record.szInfo));
    record.dwInfoFlags = NIIF_NONE | NIIF_NOSOUND;  // "Beep on block" is the option for a sound
    Shell_NotifyIconW(NIM_MODIFY, &record);
}

bool NoZirOd::InFront() const
{
    const HWND front = GetForegroundWindow();
    return front && GetAncestor(front, GA_ROOTOWNER) == m_window;
}

void NoZirOd::Notice_Click()
{
    m_frmPopupLog->Show(m_window, m_logic->Switch().Notices().NoticedRecord());
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

LRESULT CALLBACK NoZirOd::TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    NoZirOd* const self = WindowOwner<NoZirOd>(window, message, lParam);
    if (message == kTrayCallbackMessage && lParam == WM_RBUTTONUP)
        self->ShowTrayMenu();
    else if (message == kTrayCallbackMessage && lParam == WM_LBUTTONDBLCLK)
        self->ShowMainWindow();
    else if (message == kTrayCallbackMessage && lParam == NIN_BALLOONUSERCLICK)
        self->Notice_Click();
    else if (message == kShowNoticeMessage)
        self->ShowWaitingNotice();
    else if (message == self->m_taskbarCreated && message != 0)
        self->m_logic->FollowNewShell();
    return CallWindowProcW(self->PrevTrayWndProc, window, message, wParam, lParam);
}

}  // namespace quellix
