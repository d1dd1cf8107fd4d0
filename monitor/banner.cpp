#include "monitor/banner.h"

#include "base/window.h"
#include "monitor/banner_math.h"
#include "monitor/module.h"
#include "monitor/resource.h"
#include "monitor/tessaly.h"

namespace tessaly {

namespace {

constexpr RECT kIconTwips = {120, 120, 600, 600};
constexpr RECT kTitleTwips = {0, 120, 3135, 375};
constexpr RECT kVersionTwips = {960, 480, 3015, 735};

// A rectangle in twips, placed in `bounds` and scaled to it.
RECT Place(const RECT& bounds, const RECT& twips)
{
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    return {bounds.left + MulDiv(twips.left, width, kWidthTwips), bounds.top + MulDiv(twips.top, height, kHeightTwips),
            bounds.left + MulDiv(twips.right, width, kWidthTwips),
            bounds.top + MulDiv(twips.bottom, height, kHeightTwips)};
}

}  // namespace

void Banner::PaintGradient(HDC dc, const RECT& bounds) const
{
    // One line per twip from top to bottom, each drawn over the rows it covers, so that at
    // 15 twips to the pixel the last line that falls on a row gives it its colour.
    const int height = bounds.bottom - bounds.top;
    const std::vector<Rgb> lines = GradientLines(kHeightTwips, kStyle);
    for (int y = 0; y < static_cast<int>(lines.size()); ++y) {
        const int row = y * height / kHeightTwips;
        if (row >= height)
            break;
        const Rgb& colour = lines[y];
        SetDCBrushColor(dc, RGB(colour.red, colour.green, colour.blue));
        const RECT line = {bounds.left, bounds.top + row, bounds.right, bounds.top + row + 1};
        FillRect(dc, &line, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
}

void Banner::PaintLabel(HDC dc, const RECT& bounds, int dpi, RECT twips, const std::wstring& text, UINT align) const
{
    // Verdana 8.25 pt bold.
    quellix::UniqueHfont font(CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                          DEFAULT_PITCH | FF_SWISS, L"Verdana"));
    const quellix::ScopedSelectObject selected(dc, font.get());
    SetTextColor(dc, kYellow);
    SetBkMode(dc, TRANSPARENT);
    RECT place = Place(bounds, twips);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place, align | DT_TOP | DT_NOPREFIX | DT_WORDBREAK);
}

void Banner::Paint(HDC dc, const RECT& bounds, int dpi) const
{
    const int saved = SaveDC(dc);
    PaintGradient(dc, bounds);

    quellix::UniqueHbrush yellow(CreateSolidBrush(kYellow));
    FrameRect(dc, &bounds, yellow.get());

    const RECT icon = Place(bounds, kIconTwips);
    quellix::UniqueHicon image(static_cast<HICON>(LoadImageW(quellix::ThisInstance(), MAKEINTRESOURCEW(IDI_BANNER),
                                                             IMAGE_ICON, icon.right - icon.left, icon.bottom - icon.top,
                                                             0)));
    if (image)
        DrawIconEx(dc, icon.left, icon.top, image.get(), icon.right - icon.left, icon.bottom - icon.top, 0, nullptr,
                   DI_NORMAL);

    PaintLabel(dc, bounds, dpi, kTitleTwips, L"IE Event Control", DT_CENTER);
    PaintLabel(dc, bounds, dpi, kVersionTwips, m_version, DT_RIGHT);
    RestoreDC(dc, saved);
}

}  // namespace tessaly
