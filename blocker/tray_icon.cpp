#include "blocker/tray_icon.h"

#include <algorithm>
#include <cstring>

namespace quellix {

TrayIconData MakeTrayIconData(std::uint32_t window, std::uint32_t icon, std::string_view tip)
{
    TrayIconData data = MakeTrayIconIdentity(window);
    data.uFlags = TrayIconData::kFlags;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon;

    const std::size_t length = std::min(tip.size(), sizeof data.szTip - 1);
    std::memset(data.szTip, ' ', sizeof data.szTip);
    std::memcpy(data.szTip, tip.data(), length);
    data.szTip[length] = '\0';
    return data;
}

TrayIconData MakeTrayIconIdentity(std::uint32_t window)
{
    TrayIconData data;
    data.hWnd = window;
    return data;
}

}  // namespace quellix
