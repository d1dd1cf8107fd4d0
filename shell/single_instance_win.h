// One running copy of the program per user and session: a second start brings the first
// copy's window to the front and ends, touching nothing.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

namespace quellix {

// Messages a running copy takes from outside: registered by name, so that they mean the same
// to every program that asks (a second copy, the uninstaller).
inline constexpr wchar_t kShowMainWindowMessage[] = L"Quellix.ShowMainWindow";
inline constexpr wchar_t kQuitMessage[] = L"Quellix.Quit";
// The class of the main window, which takes them.
inline constexpr wchar_t kMainWindowClass[] = L"NoZirOd";

class SingleInstance {
public:
    SingleInstance();

    // Whether this is the only copy of the user's session.
    bool First() const { return m_first; }
    // Asks the copy that runs to show its main window, as its tray menu's "Open" does.
    static void ShowRunningCopy();

private:
    UniqueKernelHandle m_mutex;
    bool m_first = true;
};

}  // namespace quellix
