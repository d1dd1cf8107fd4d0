#include "shell/hotkey.h"

namespace quellix {

bool Module3::IsHideHotKey(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    const auto bits = static_cast<std::uint32_t>(lParam);
    return message == kWmHotKey && wParam == kHideHotKeyId && (bits >> 16) == kHotKeyVirtualKey &&
           (bits & 0xFFFF) == kModWin;
}

bool Module3::IsBrowserClass(const std::string& className)
{
    return className == "IEFrame" || className == "CabinetWClass";
}

void Module3::Toggle()
{
    if (m_browsersHidden)
        RestoreAllBrowsers();
    else
        HideAllBrowsers();
}

void Module3::HideAllBrowsers()
{
    m_hiddenWindows.assign(1, HiddenWindow{});
    m_browsersHidden = true;
    m_windows.EnumerateTopLevel([this](WindowList::Handle window) {
        if (!IsBrowserClass(m_windows.ClassName(window)))
            return true;
        WindowPlacement placement;
        placement.length = sizeof placement;
        m_windows.GetPlacement(window, &placement);
        // The placement of a window that is not visible still says "shown normally";
        // restoring that would bring up a browser that nobody was meant to see (one that
        // another program drives out of sight).
        if (!m_windows.IsVisible(window))
            placement.showCmd = kSwHide;
        m_hiddenWindows.back() = {window, placement};
        m_hiddenWindows.emplace_back();
        placement.showCmd = kSwHide;
        m_windows.SetPlacement(window, placement);
        return true;
    });
}

void Module3::RestoreAllBrowsers()
{
    m_browsersHidden = false;
    for (auto record = m_hiddenWindows.rbegin(); record != m_hiddenWindows.rend(); ++record) {
        // A browser closed while hidden leaves its handle free for the system to give to any
        // new window; moving and showing that one would be wrong.
        if (record->handle > 0 && IsBrowserClass(m_windows.ClassName(record->handle)))
            m_windows.SetPlacement(record->handle, record->placement);
    }
}

}  // namespace quellix
