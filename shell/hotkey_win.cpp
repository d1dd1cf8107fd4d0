#include "shell/hotkey_win.h"

#include <windows.h>

#include <bit>
#include <exception>

namespace quellix {

namespace {

static_assert(sizeof(WINDOWPLACEMENT) == sizeof(WindowPlacement));

HWND ToHwnd(WindowList::Handle window)
{
    return reinterpret_cast<HWND>(window);
}

struct Enumeration {
    const std::function<bool(WindowList::Handle)>& visit;
    std::exception_ptr failure;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM parameter)
{
    auto& enumeration = *reinterpret_cast<Enumeration*>(parameter);
    // An exception must not unwind through the system's frames (they have no unwind tables
    // for ours); it stops the listing and is thrown again once EnumWindows has returned.
    try {
        return enumeration.visit(reinterpret_cast<WindowList::Handle>(window));
    } catch (...) {
        enumeration.failure = std::current_exception();
        return FALSE;
    }
}

}  // namespace

void Win32WindowList::EnumerateTopLevel(const std::function<bool(Handle)>& visit)
{
    Enumeration enumeration{visit, nullptr};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&enumeration));
    if (enumeration.failure)
        std::rethrow_exception(enumeration.failure);
}

std::string Win32WindowList::ClassName(Handle window)
{
    char name[255];
    const int length = GetClassNameA(ToHwnd(window), name, sizeof name);
    return std::string(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool Win32WindowList::IsVisible(Handle window)
{
    return IsWindowVisible(ToHwnd(window)) != FALSE;
}

bool Win32WindowList::GetPlacement(Handle window, WindowPlacement* placement)
{
    WINDOWPLACEMENT native{};
    native.length = sizeof native;
    if (!GetWindowPlacement(ToHwnd(window), &native))
        return false;
    *placement = std::bit_cast<WindowPlacement>(native);
    return true;
}

bool Win32WindowList::SetPlacement(Handle window, const WindowPlacement& placement)
{
    const auto native = std::bit_cast<WINDOWPLACEMENT>(placement);
    const HWND hwnd = ToHwnd(window);
    if (SetWindowPlacement(hwnd, &native))
        return true;
    // Wine refuses SetWindowPlacement for the windows of another process (Windows does
    // not); the same placement then comes from calls that do reach across: the normal
    // position for a window shown normally, then the show state.
    if (!IsWindow(hwnd))
        return false;
    if (native.showCmd == SW_SHOWNORMAL || native.showCmd == SW_SHOW || native.showCmd == SW_RESTORE) {
        const RECT& normal = native.rcNormalPosition;
        SetWindowPos(hwnd, nullptr, normal.left, normal.top, normal.right - normal.left, normal.bottom - normal.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(hwnd, static_cast<int>(native.showCmd));
    return true;
}

}  // namespace quellix
