#include "shell/hotkey_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "base/unique_handle.h"

namespace quellix {
namespace {

// A class whose name differs from another only in letter case is refused for the module
// that registered the other, so "ieframe" belongs to another module of the process.
HINSTANCE ModuleFor(const wchar_t* className)
{
    return GetModuleHandleW(wcscmp(className, L"ieframe") == 0 ? L"advapi32.dll" : nullptr);
}

UniqueHwnd Create(const wchar_t* className, int showCmd, int left, HWND parent = nullptr)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = ModuleFor(className);
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);  // or already registered
    UniqueHwnd window(CreateWindowExW(0, className, L"test", parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, left, 60, 320,
                                      240, parent, nullptr, ModuleFor(className), nullptr));
    EXPECT_TRUE(window) << GetLastError();
    if (showCmd != SW_HIDE)
        ShowWindow(window.get(), showCmd);
    return window;
}

WINDOWPLACEMENT PlacementOf(HWND window)
{
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    return placement;
}

WindowList::Handle HandleOf(const UniqueHwnd& window)
{
    return reinterpret_cast<WindowList::Handle>(window.get());
}

TEST(Win32Module3Test, HidesTopLevelBrowsersOnlyAndPutsThemBackAsTheyWere)
{
    Win32WindowList windows;
    Module3 module(windows);
    UniqueHwnd maximised = Create(L"IEFrame", SW_SHOWMAXIMIZED, 40);
    UniqueHwnd minimised = Create(L"CabinetWClass", SW_SHOWMINIMIZED, 80);
    UniqueHwnd invisible = Create(L"IEFrame", SW_HIDE, 120);
    UniqueHwnd closed = Create(L"IEFrame", SW_SHOWNORMAL, 160);
    UniqueHwnd lowerCase = Create(L"ieframe", SW_SHOWNORMAL, 200);
    UniqueHwnd host = Create(L"QuellixTestHost", SW_SHOWNORMAL, 240);
    UniqueHwnd child = Create(L"IEFrame", SW_SHOWNORMAL, 10, host.get());
    if (windows.ClassName(HandleOf(lowerCase)) != "ieframe")
        GTEST_SKIP() << "this system reports class names in the letter case of their first registration";

    const HWND kept[] = {maximised.get(), minimised.get(), invisible.get()};
    WINDOWPLACEMENT before[3];
    std::transform(std::begin(kept), std::end(kept), before, PlacementOf);
    EXPECT_EQ(before[0].showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
    EXPECT_EQ(before[1].showCmd, static_cast<UINT>(SW_SHOWMINIMIZED));
    // Why the hide asks about visibility: this says "normal" for a window never shown.
    EXPECT_EQ(before[2].showCmd, static_cast<UINT>(SW_SHOWNORMAL));

    module.HideAllBrowsers();
    std::vector<WindowList::Handle> recorded;
    for (const HiddenWindow& record : module.HiddenWindows())
        recorded.push_back(record.handle);
    EXPECT_EQ(recorded.back(), 0);
    for (const UniqueHwnd* window : {&maximised, &minimised, &invisible, &closed, &lowerCase, &child}) {
        const bool browser = window != &lowerCase && window != &child;
        EXPECT_EQ(IsWindowVisible(window->get()) != FALSE, !browser);
        EXPECT_EQ(std::count(recorded.begin(), recorded.end(), HandleOf(*window)), browser ? 1 : 0);
    }

    closed.reset();
    EXPECT_EQ(windows.ClassName(HandleOf(closed)), "");
    // Moved while hidden: the restore must put it back where it was recorded.
    SetWindowPos(invisible.get(), nullptr, 400, 300, 100, 100, SWP_NOZORDER | SWP_NOACTIVATE);

    module.RestoreAllBrowsers();
    for (int i = 0; i < 3; ++i) {
        const WINDOWPLACEMENT after = PlacementOf(kept[i]);
        EXPECT_EQ(after.showCmd, before[i].showCmd) << i;
        EXPECT_TRUE(EqualRect(&after.rcNormalPosition, &before[i].rcNormalPosition)) << i;
        EXPECT_EQ(IsWindowVisible(kept[i]) != FALSE, i != 2) << i;
    }
}

}  // namespace
}  // namespace quellix
