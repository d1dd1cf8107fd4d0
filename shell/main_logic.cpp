#include "shell/main_logic.h"

namespace quellix {

MainLogic::MainLogic(MainServices services)
    : m_services(std::move(services)), m_settings(m_services.registry),
      m_allowFile(m_services.files, m_services.codePage, m_services.allowList),
      m_sitesFile(m_services.files, m_services.codePage, m_services.allowedSites),
      m_protection(m_state, m_options, m_services.view, m_services.tray, m_services.alerts),
      m_rules(m_state, m_options, m_services.keys, m_services.ticks, {m_blocked, m_allowed, m_sites, m_log},
              m_protection),
      m_prompt(m_blocked, m_allowed, m_services.shell)
{
}

void MainLogic::AddTrayIcon()
{
    m_services.tray.NotifyIcon(TrayCommand::kAdd,
                               MakeTrayIconData(m_services.view.WindowHandle(),
                                                m_services.view.IconHandle(m_protection.WindowIcon()),
                                                m_protection.TrayTip()));
}

bool MainLogic::Startup()
{
    MainWindowPlatform& platform = m_services.platform;
    m_protection.SetWatching(platform.SetMonitorEnabled(true));
    m_monitorTriedAt = m_services.ticks.Now();
    m_state.protectionOff = false;
    AddTrayIcon();
    platform.HookTrayWndProc();

    m_options.beep = m_settings.Option(setting::kBeep);
    m_options.flash = m_settings.Option(setting::kFlash);
    m_options.list = m_settings.Option(setting::kList);
    const bool hidden = SettingToDouble(m_settings.Get(kAppName, kOptionsSection, setting::kHideOnStart, "0")) == 1;
    if (hidden)
        platform.HideWindow();

    m_allowFile.Load(m_allowed);
    m_sitesFile.Load(m_sites.List());
    m_sites.Refresh();
    if (m_options.list == 0)
        platform.EnableLists(false);

    platform.RegisterHideHotKey();
    platform.HookHotKeyWndProc();
    return !hidden;
}

void MainLogic::Shutdown()
{
    MainWindowPlatform& platform = m_services.platform;
    platform.HideWindow();
    platform.UnregisterHideHotKey();
    platform.UnhookHotKeyWndProc();
    // Whatever ends the program (Quit, the uninstaller's request, the end of the session),
    // browsers it hid must not stay hidden for good.
    platform.RestoreHiddenBrowsers();
    m_allowFile.Save(m_allowed);
    m_sitesFile.Save(m_sites.List());
    SetRunAtStartup(m_services.registry, m_settings.Option(setting::kStartUp) != 0, m_services.programPath);
    platform.SetMonitorEnabled(false);
    m_services.tray.NotifyIcon(TrayCommand::kDelete, MakeTrayIconIdentity(m_services.view.WindowHandle()));
    platform.UnhookTrayWndProc();
}

void MainLogic::RetryMonitor()
{
    const std::uint32_t now = m_services.ticks.Now();
    if (m_protection.Watching() || now - m_monitorTriedAt < kMonitorRetryMs)
        return;
    m_monitorTriedAt = now;
    m_protection.SetWatching(m_services.platform.SetMonitorEnabled(true));
    if (m_protection.Watching())
        m_protection.UpdateTrayIcon();
}

}  // namespace quellix
