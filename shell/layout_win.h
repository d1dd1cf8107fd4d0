// Window layout in twips (1440 to the inch), turned into pixels at the screen's real
// resolution, and the small pieces every window of the program builds from.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "base/unique_handle.h"

namespace quellix {

// One control of a window, as a dialog template has it: class, text, style, identifier and
// place in twips. A window's controls are a table of these, in their tab order.
struct ControlLayout {
    const wchar_t* windowClass;
    const wchar_t* text;
    DWORD style;
    int id;
    int left, top, width, height;
};

// The styles the program's windows use (each control is a visible child besides).
namespace style {
inline constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
inline constexpr DWORD kDefaultButton = kButton | BS_DEFPUSHBUTTON;
inline constexpr DWORD kCheckBox = WS_TABSTOP | BS_AUTOCHECKBOX;
inline constexpr DWORD kFrame = BS_GROUPBOX;
inline constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
inline constexpr DWORD kList = WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
}  // namespace style

class Layout {
public:
    Layout();

    int Dpi() const { return m_dpi; }
    int X(int twips) const { return MulDiv(twips, m_dpi, 1440); }
    int Y(int twips) const { return MulDiv(twips, m_dpi, 1440); }
    RECT Rect(int left, int top, int width, int height) const
    {
        return {X(left), Y(top), X(left + width), Y(top + height)};
    }

    // The user's message font, at this resolution.
    HFONT Font() const { return m_font.get(); }

    // A child control at its place in twips, in the window's font.
    HWND Add(HWND parent, const ControlLayout& control) const;
    // Every control of a table, in its order; frames (group boxes) lie behind the others.
    void AddAll(HWND parent, std::span<const ControlLayout> controls) const;

    // The size of `window` whose client area is `width` by `height` twips, its style and
    // menu taken into account; and resizing it to that.
    SIZE FrameSize(HWND window, int width, int height) const;
    void SizeClientArea(HWND window, int width, int height) const;

private:
    int m_dpi;
    UniqueHfont m_font;
};

// The one layout every window of the program shares: one font, made at first use.
const Layout& ProgramLayout();

// Centres `window` on `owner`, or on the screen's work area when there is no owner.
void CentreWindow(HWND window, HWND owner);

// Gives `window` the program's icon in its title bar; the icon lasts as long as the result.
UniqueHicon SetProgramIcon(HWND window);

// A window's text as a wide string.
std::wstring WindowText(HWND window);

}  // namespace quellix
