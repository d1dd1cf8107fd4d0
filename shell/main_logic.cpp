#include "shell/main_logic.h"

#include "shell/toolbar.h"

namespace quellix {

MainLogic::MainLogic(MainServices services)
    : m_services(std::move(services)), m_settings(m_services.registry),
      m_allowFile(m_services.files, m_services.codePage, m_services.allowList),
      m_sitesFile(m_services.files, m_services.codePage, m_services.allowedSites),
      m_protection(m_state, m_options, m_services.view, m_services.tray, m_services.alerts),
      m_rules(m_state, m_options, m_services.keys, m_services.ticks,
              {m_blocked, m_allowed, m_sites, m_log, &m_policyAllowed}, m_protection),
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
    // What the rules go by is in place before the monitor can raise its first event.
    m_policy = ReadPolicy(m_services.registry);
    LoadOptions();
    m_allowFile.Load(m_allowed);
    m_sitesFile.Load(m_sites.List());
    TakePolicy();

    m_protection.SetWatching(platform.SetMonitorEnabled(true));
    m_monitorTriedAt = m_services.ticks.Now();
    if (!m_protection.Watching())
        platform.ArmMonitorRetry(kMonitorRetryMs);
    m_state.protectionOff = false;
    AddTrayIcon();
    platform.HookTrayWndProc();

    const bool storedHidden = SettingToDouble(m_settings.Get(kAppName, kOptionsSection, setting::kHideOnStart, "0")) ==
                              1;
    const bool hidden = m_policy.Forced(setting::kHideOnStart).value_or(storedHidden);
    if (hidden)
        platform.HideWindow();
    if (m_options.list == 0)
        platform.EnableLists(false);
    platform.ShowPolicy(m_policy);

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
    SetRunAtStartup(m_services.registry, OptionOn(setting::kStartUp), m_services.programPath);
    platform.SetMonitorEnabled(false);
    m_services.tray.NotifyIcon(TrayCommand::kDelete, MakeTrayIconIdentity(m_services.view.WindowHandle()));
    platform.UnhookTrayWndProc();
}

void MainLogic::PolicyChanged()
{
    m_policy = ReadPolicy(m_services.registry);
    LoadOptions();
    TakePolicy();
    if (m_state.protectionOff && !m_policy.MayDisable())
        m_protection.ToggleProtection();
    m_services.platform.EnableLists(m_options.list != 0);
    m_services.platform.ShowPolicy(m_policy);
}

void MainLogic::ToggleProtection()
{
    if (!m_state.protectionOff && !m_policy.MayDisable())
        return;
    m_protection.ToggleProtection();
}

void MainLogic::LoadOptions()
{
    const auto option = [this](std::string_view key) -> std::int16_t {
        const std::optional<bool> forced = m_policy.Forced(key);
        return forced ? (*forced ? 1 : 0) : m_settings.Option(key);
    };
    m_options.beep = option(setting::kBeep);
    m_options.flash = option(setting::kFlash);
    m_options.list = option(setting::kList);
    m_options.notice = option(setting::kNotice);
}

bool MainLogic::OptionOn(std::string_view key)
{
    return m_policy.Forced(key).value_or(m_settings.Option(key) != 0);
}

void MainLogic::TakePolicy()
{
    m_policyAllowed = UrlList();
    for (const std::string& address : m_policy.allowedAddresses)
        m_policyAllowed.Append(address);
    m_sites.SetPolicySites(m_policy.allowedSites);

    // Only a difference touches the browser's key, as the options dialog does.
    if (const std::optional<bool> button = m_policy.Forced(setting::kIeIcon)) {
        const auto present = [this](Registry::Key root) {
            return !ReadRegString(m_services.registry, root, ToolbarButtonKey(), "CLSID", "").empty();
        };
        const bool shown = present(Registry::kLocalMachine) || present(Registry::kCurrentUser);
        if (*button && !shown)
            AddToolbarButton(m_services.registry, m_services.programPath.substr(0, m_services.programPath.rfind('\\')));
        else if (!*button && shown)
            RemoveToolbarButton(m_services.registry);
    }
}

void MainLogic::FollowNewShell()
{
    MainWindowPlatform& platform = m_services.platform;
    platform.SetMonitorEnabled(false);
    m_protection.SetWatching(false);
    // A new task bar has none of our icons; an icon that outlived the list takes the new tip.
    AddTrayIcon();
    m_protection.UpdateTrayIcon();
    // On again from the timer rather than from here: this may run inside a call into the
    // old list (a message let in while it waits, or the monitor's own report), whence the
    // new one cannot be reached.
    m_monitorTriedAt = m_services.ticks.Now() - kMonitorRetryMs;
    platform.ArmMonitorRetry(0);
}

void MainLogic::RetryMonitor()
{
    const std::uint32_t now = m_services.ticks.Now();
    if (m_protection.Watching())
        return;
    if (now - m_monitorTriedAt < kMonitorRetryMs) {
        // A timer may come a tick early: the rest of the time, not all of it again.
        m_services.platform.ArmMonitorRetry(kMonitorRetryMs - (now - m_monitorTriedAt));
        return;
    }
    m_monitorTriedAt = now;
    m_protection.SetWatching(m_services.platform.SetMonitorEnabled(true));
    if (m_protection.Watching())
        m_protection.UpdateTrayIcon();
    else
        m_services.platform.ArmMonitorRetry(kMonitorRetryMs);
}

}  // namespace quellix
