#include "shell/modal_window_win.h"

#include "base/window.h"
#include "shell/resource.h"

namespace quellix {

namespace {

constexpr wchar_t kClassName[] = L"QuellixModalWindow";

}  // namespace

ModalWindow::ModalWindow(std::wstring caption, int widthTwips, int heightTwips)
    : m_caption(std::move(caption)), m_width(widthTwips), m_height(heightTwips)
{
}

void ModalWindow::ShowModal(HWND owner)
{
    if (!m_window) {
        RegisterWindowClass(kClassName, WindowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        // Owned, so no task bar entry; a dialog frame without minimise or maximise. The window
        // is this object's from its first message on (m_window is set at WM_NCCREATE).
        if (!CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClassName, m_caption.c_str(),
                             WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner, nullptr,
                             ThisInstance(), this))
            return;
        m_layout.SizeClientArea(m_window.get(), m_width, m_height);
        Form_Load();
    }
    Form_Activate();
    CentreWindow(m_window.get(), owner);

    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled)
        EnableWindow(owner, FALSE);
    m_open = true;
    ShowWindow(m_window.get(), SW_SHOW);
    SetForegroundWindow(m_window.get());

    MSG message;
    while (m_open && IsWindow(m_window.get())) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: leave, and let the outer loop see the quit too.
            PostQuitMessage(got == 0 ? static_cast<int>(message.wParam) : 1);
            break;
        }
        if (!IsDialogMessageW(m_window.get(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    m_open = false;
    // The owner comes back before this window goes, or Windows activates another program.
    if (ownerWasEnabled && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (IsWindow(m_window.get()))
        ShowWindow(m_window.get(), SW_HIDE);
}

void ModalWindow::Hide()
{
    m_open = false;
    PostMessageW(m_window.get(), WM_NULL, 0, 0);  // wakes the loop
}

void ModalWindow::SetProgramIcon()
{
    m_icon = quellix::SetProgramIcon(m_window.get());
}

LRESULT ModalWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(m_window.get(), message, wParam, lParam);
}

LRESULT CALLBACK ModalWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ModalWindow* const self = WindowOwner(window, message, lParam, &ModalWindow::m_window);
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND:
        self->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_CLOSE:
        // The frame's close box: like Cancel, the window is hidden, not destroyed.
        self->OnCommand(IDCANCEL, BN_CLICKED, nullptr);
        return 0;
    case WM_NCDESTROY:
        self->m_open = false;
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        break;
    }
    return self->OnMessage(message, wParam, lParam);
}

}  // namespace quellix
