// A window shown modal to its owner: the owner takes no input while it is open, but the
// thread goes on handling everything else (timers, the monitor's events, the hot key).
// Built once on its first opening, laid out in twips; each derived class is one window.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_handle.h"
#include "shell/layout_win.h"

namespace quellix {

class ModalWindow {
public:
    ModalWindow(const ModalWindow&) = delete;
    ModalWindow& operator=(const ModalWindow&) = delete;
    virtual ~ModalWindow() = default;

    // Shows the window and returns when it is hidden (or destroyed).
    void ShowModal(HWND owner);
    HWND Window() const { return m_window.get(); }

protected:
    ModalWindow(std::wstring caption, int widthTwips, int heightTwips);

    // Builds the controls, once.
    virtual void Form_Load() = 0;
    // Every opening, before the window shows.
    virtual void Form_Activate() {}
    virtual void OnCommand(int id, int code, HWND control) = 0;
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Hides the window; ShowModal returns.
    void Hide();

    const Layout& Lay() const { return m_layout; }
    HWND Control(int id) const { return GetDlgItem(m_window.get(), id); }
    // The program's icon on the window's title bar.
    void SetProgramIcon();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::wstring m_caption;
    int m_width;
    int m_height;
    const Layout& m_layout = ProgramLayout();
    UniqueHwnd m_window;
    UniqueHicon m_icon;
    bool m_open = false;
};

}  // namespace quellix
