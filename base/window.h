// Windows of this module's own classes: one registration helper, and one way of tying a
// window to the C++ object it belongs to.
#pragma once

#include <windows.h>

namespace quellix {

// The module this code is linked into (the program, or the control library).
HINSTANCE ThisInstance();

// Registers a window class of this module; a second registration of the same name is
// harmless. The arrow cursor, and `background` (none: the window paints all of it).
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background = nullptr);

// The object a window belongs to: given to CreateWindowEx as its last argument, and kept
// with the window from WM_NCCREATE on. Null before that, for the first few messages.
template <typename T>
T* WindowOwner(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* owner = static_cast<T*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
        return owner;
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace quellix
