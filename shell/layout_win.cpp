#include "shell/layout_win.h"

#include "base/window.h"
#include "shell/resource.h"

namespace quellix {

Layout::Layout()
{
    const ScopedGetDC screen(nullptr);
    m_dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;

    // The message font, scaled to this resolution from its size at 96 dots per inch when
    // the system reports it unscaled.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        m_font.reset(CreateFontIndirectW(&metrics.lfMessageFont));
    } else {
        m_font.reset(CreateFontW(-MulDiv(8, m_dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                 L"MS Shell Dlg"));
    }
}

HWND Layout::Add(HWND parent, const ControlLayout& control) const
{
    const RECT place = Rect(control.left, control.top, control.width, control.height);
    const HWND window = CreateWindowExW(0, control.windowClass, control.text, WS_CHILD | WS_VISIBLE | control.style,
                                        place.left, place.top, place.right - place.left, place.bottom - place.top,
                                        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                        ThisInstance(), nullptr);
    if (window)
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
    return window;
}

void Layout::AddAll(HWND parent, std::span<const ControlLayout> controls) const
{
    for (const ControlLayout& control : controls) {
        const HWND added = Add(parent, control);
        if ((control.style & BS_TYPEMASK) == BS_GROUPBOX && _wcsicmp(control.windowClass, L"BUTTON") == 0)
            SetWindowPos(added, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

SIZE Layout::FrameSize(HWND window, int width, int height) const
{
    RECT frame = {0, 0, X(width), Y(height)};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    AdjustWindowRectEx(&frame, style, GetMenu(window) != nullptr, exStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void Layout::SizeClientArea(HWND window, int width, int height) const
{
    const SIZE frame = FrameSize(window, width, height);
    SetWindowPos(window, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreWindow(HWND window, HWND owner)
{
    RECT area{};
    if (owner && IsWindowVisible(owner))
        GetWindowRect(owner, &area);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT own{};
    GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

const Layout& ProgramLayout()
{
    static const Layout layout;
    return layout;
}

UniqueHicon SetProgramIcon(HWND window)
{
    UniqueHicon icon(static_cast<HICON>(LoadImageW(ThisInstance(), MAKEINTRESOURCEW(IDI_QUELLIX), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon.get()));
    return icon;
}

}  // namespace quellix
