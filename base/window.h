// Windows of this module's own classes: one registration helper, and one way of tying a
// window to the C++ object it belongs to.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

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

// The same, for an owner that keeps its window in `handle`: taken at WM_NCCREATE, let go
// at WM_NCDESTROY, when the window is on its way out and must not be destroyed again.
template <typename T>
T* WindowOwner(HWND window, UINT message, LPARAM lParam, UniqueHwnd T::*handle)
{
    T* const owner = WindowOwner<T>(window, message, lParam);
    if (owner && message == WM_NCCREATE)
        (owner->*handle).reset(window);
    else if (owner && message == WM_NCDESTROY)
        (void)(owner->*handle).release();
    return owner;
}

}  // namespace quellix
