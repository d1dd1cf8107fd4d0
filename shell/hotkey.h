// Module3: the hide-all-browsers hot key's bookkeeping. The Windows logo key with Z hides
// every browser and shell folder window at once; pressed again it brings them all back
// with their placements. The window system is behind WindowList.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quellix {

// WINDOWPLACEMENT, 44 bytes.
struct WindowPlacement {
    std::uint32_t length = sizeof(WindowPlacement);
    std::uint32_t flags = 0;
    std::uint32_t showCmd = 0;
    std::int32_t ptMinPosition[2] = {};
    std::int32_t ptMaxPosition[2] = {};
    std::int32_t rcNormalPosition[4] = {};
    bool operator==(const WindowPlacement&) const = default;
};
static_assert(sizeof(WindowPlacement) == 44);

// The top-level windows of the desktop.
class WindowList {
public:
    using Handle = std::intptr_t;

    // EnumWindows: every top-level window, in the system's order, until `visit` says stop.
    virtual void EnumerateTopLevel(const std::function<bool(Handle)>& visit) = 0;
    // GetClassName into a 255-character buffer; empty for a window that is gone.
    virtual std::string ClassName(Handle window) = 0;
    // IsWindowVisible: the placement does not tell, it says "shown" for a hidden window too.
    virtual bool IsVisible(Handle window) = 0;
    virtual bool GetPlacement(Handle window, WindowPlacement* placement) = 0;
    // Applying showCmd SW_HIDE (0) hides the window.
    virtual bool SetPlacement(Handle window, const WindowPlacement& placement) = 0;

protected:
    ~WindowList() = default;
};

inline constexpr int kHideHotKeyId = 95;
inline constexpr std::uint32_t kModWin = 8;               // MOD_WIN
inline constexpr std::uint32_t kHotKeyVirtualKey = 0x5A;  // 'Z'
inline constexpr std::uint32_t kWmHotKey = 0x312;         // WM_HOTKEY
inline constexpr std::uint32_t kSwHide = 0;

struct HiddenWindow {
    WindowList::Handle handle = 0;  // 0 in the empty record
    WindowPlacement placement;
};

class Module3 {
public:
    explicit Module3(WindowList& windows) : m_windows(windows) {}

    // WM_HOTKEY for identifier 95 with exactly MOD_WIN and 'Z'.
    static bool IsHideHotKey(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    // The hot key: restores when hidden, hides otherwise.
    void Toggle();
    void HideAllBrowsers();
    void RestoreAllBrowsers();

    bool BrowsersHidden() const { return m_browsersHidden; }
    // After a hide: one record per hidden window, in the system's order, then an empty one.
    const std::vector<HiddenWindow>& HiddenWindows() const { return m_hiddenWindows; }

    // "IEFrame" (browser frames) and "CabinetWClass" (shell folders), exactly.
    static bool IsBrowserClass(const std::string& className);

private:
    WindowList& m_windows;
    std::vector<HiddenWindow> m_hiddenWindows{1};
    bool m_browsersHidden = false;
};

}  // namespace quellix
