#include "blocker/protection.h"

namespace quellix {

Protection::Protection(BlockingState& state, const Options& options, MainWindowView& view, NotificationArea& tray,
                       Alerts& alerts)
    : m_state(state), m_options(options), m_view(view), m_tray(tray), m_alerts(alerts)
{
}

void Protection::ToggleProtection()
{
    m_state.protectionOff = !m_state.protectionOff;
    m_windowIcon = m_state.protectionOff ? Icon::kOff : Icon::kOn;
    m_view.SetEnableCaption(m_state.protectionOff ? "Enable" : "Disable");
    m_view.SetWindowIcon(m_windowIcon);
    UpdateTrayIcon();
}

void Protection::SetWatching(bool watching)
{
    if (watching == m_watching)
        return;
    m_watching = watching;
    m_view.SetBlockedFrameCaption(FrameCaption());
}

void Protection::UpdateTrayIcon()
{
    UpdateTrayIcon(m_windowIcon);
}

void Protection::UpdateTrayIcon(Icon picture)
{
    m_tray.NotifyIcon(TrayCommand::kModify,
                      MakeTrayIconData(m_view.WindowHandle(), m_view.IconHandle(picture), TrayTip()));
}

std::string_view Protection::TrayTip() const
{
    if (m_state.protectionOff)
        return "Disabled";
    return m_watching ? "Enabled" : "Enabled, but not watching the browsers";
}

void Protection::NotifyBlocked(std::string_view opener, std::uint64_t record, std::uint32_t now)
{
    // Not while the user looks at the window, which shows the count itself: that would also
    // keep the site's next notice back for nothing.
    if (m_options.NoticeOn() && !m_state.protectionOff && !m_view.InFront()) {
        if (const std::optional<std::string> text = m_notices.Refused(opener, record, now))
            m_tray.ShowNotice(*text);
    }
    if (m_options.BeepOn())
        m_alerts.Beep(kBeepHz, kBeepMs);
    if (m_options.FlashOn()) {
        if (!m_flashing)
            UpdateTrayIcon(Icon::kFlash);
        m_flashing = true;
        m_alerts.TimeFlash(kFlashMs);
    }
    ++m_blockedCount;
    m_view.SetBlockedFrameCaption(FrameCaption());
}

void Protection::EndFlash()
{
    if (!m_flashing)
        return;
    m_flashing = false;
    // The icon of the state the switch is in now: it may have been turned during the flash.
    UpdateTrayIcon();
}

std::string Protection::FrameCaption() const
{
    std::string caption = m_blockedCount ? BlockedFrameCaption(m_blockedCount) : "Blocked ZirOd ( )";
    return m_watching ? caption : caption + " - not watching the browsers";
}

std::string Protection::BlockedFrameCaption(std::uint32_t count)
{
    return "Blocked ZirOd (" + std::to_string(count) + ")";
}

}  // namespace quellix
