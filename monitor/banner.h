// The control's face: a dark-to-light gradient framed in yellow, an icon, the title
// "IE Event Control" and the version, laid out in twips and drawn at the device's real
// resolution.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_handle.h"

namespace tessaly {

class Banner {
public:
    // The gradient's style: larger is darker.
    static constexpr int kStyle = 3;
    static constexpr COLORREF kYellow = RGB(255, 255, 0);

    explicit Banner(std::wstring version) : m_version(std::move(version)) {}

    // Draws the whole banner into `bounds` of `dc`, whose resolution is `dpi`.
    void Paint(HDC dc, const RECT& bounds, int dpi) const;

private:
    void PaintGradient(HDC dc, const RECT& bounds) const;
    void PaintLabel(HDC dc, const RECT& bounds, int dpi, RECT twips, const std::wstring& text, UINT align) const;

    std::wstring m_version;
};

}  // namespace tessaly
