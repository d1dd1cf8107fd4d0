// NoZirOd's hide-all-browsers hot key (Windows logo key + Z): its registration, and the
// window procedure in front of the tray's that hands it to Module3.
#include <windows.h>

#include "base/window.h"
#include "shell/main_window_win.h"

namespace quellix {

void NoZirOd::RegisterHideHotKey()
{
    RegisterHotKey(m_window, kHideHotKeyId, MOD_WIN, kHotKeyVirtualKey);
}

void NoZirOd::UnregisterHideHotKey()
{
    UnregisterHotKey(m_window, kHideHotKeyId);
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

void NoZirOd::RestoreHiddenBrowsers()
{
    if (m_module3.BrowsersHidden())
        m_module3.RestoreAllBrowsers();
}

LRESULT CALLBACK NoZirOd::HotKeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    NoZirOd* const self = WindowOwner<NoZirOd>(window, message, lParam);
    if (Module3::IsHideHotKey(message, wParam, lParam))
        self->m_module3.Toggle();
    return CallWindowProcW(self->PrevHotKeyWndProc, window, message, wParam, lParam);
}

}  // namespace quellix
