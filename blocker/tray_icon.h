// The notification-area icon record: the first, 88-byte NOTIFYICONDATA layout with an
// 8-bit tip, as Shell_NotifyIconA takes it. It is built here, byte for byte, so that the
// layout is checked without Windows; on 32-bit Windows it is passed to the shell as is.
#pragma once

#include <cstdint>
#include <string_view>

namespace quellix {

constexpr std::uint32_t kTrayCallbackMessage = 1400;

enum class TrayCommand : std::uint32_t { kAdd = 0, kModify = 1, kDelete = 2 };  // NIM_*

struct TrayIconData {
    static constexpr std::uint32_t kFlags = 1 | 2 | 4;  // NIF_MESSAGE | NIF_ICON | NIF_TIP

    std::uint32_t cbSize = sizeof(TrayIconData);
    std::uint32_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uint32_t hIcon = 0;
    char szTip[64] = {};
};
static_assert(sizeof(TrayIconData) == 88);

// A full record: the icon's identity (window, 0), flags 7, the callback message, the icon,
// and the tip followed by one NUL and blanks to the end of the field.
TrayIconData MakeTrayIconData(std::uint32_t window, std::uint32_t icon, std::string_view tip);

// What NIM_DELETE needs: the size and the identity, every other field zero.
TrayIconData MakeTrayIconIdentity(std::uint32_t window);

// Shell_NotifyIconA; its result is not looked at.
class NotificationArea {
public:
    virtual void NotifyIcon(TrayCommand command, const TrayIconData& data) = 0;
    // A balloon over the same icon, with this text (UTF-8): Shell_NotifyIconW and the full
    // record, which the 88-byte one has no room for. A click on it opens the pop-up log.
    virtual void ShowNotice(std::string_view text) = 0;

protected:
    ~NotificationArea() = default;
};

}  // namespace quellix
