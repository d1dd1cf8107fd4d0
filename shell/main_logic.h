// The main window's logic without the window: the blocking engine it holds, and its
// start-up and shut-down sequences, each step in its order.
#pragma once

#include <string>

#include "blocker/allow_prompt.h"
#include "blocker/allowed_sites.h"
#include "blocker/blocking_state.h"
#include "blocker/list_file.h"
#include "blocker/options.h"
#include "blocker/popup_log.h"
#include "blocker/popup_rules.h"
#include "blocker/protection.h"
#include "blocker/url_list.h"
#include "shell/policy.h"
#include "shell/settings.h"

namespace quellix {

// What the sequences do to the window and the system around it.
class MainWindowPlatform : public OptionsTarget {
public:
    // Whether the monitor took the switch: false when it could not start following the
    // browsers.
    virtual bool SetMonitorEnabled(bool on) = 0;
    // Calls RetryMonitor once, `delayMs` from now: the only timer of an idle program, armed
    // only while the monitor cannot watch.
    virtual void ArmMonitorRetry(std::uint32_t delayMs) = 0;
    // Shows again the browsers the hot key hid, if it hid them.
    virtual void RestoreHiddenBrowsers() = 0;
    virtual void HookTrayWndProc() = 0;
    virtual void UnhookTrayWndProc() = 0;
    virtual void HideWindow() = 0;
    virtual void RegisterHideHotKey() = 0;
    virtual void UnregisterHideHotKey() = 0;
    virtual void HookHotKeyWndProc() = 0;
    virtual void UnhookHotKeyWndProc() = 0;
    // The policies in force are new: the protection switch greyed or not, the lists'
    // entries set by the organisation shown.
    virtual void ShowPolicy(const Policy& policy) = 0;

protected:
    ~MainWindowPlatform() = default;
};

// The platform services the main window's logic uses, gathered.
struct MainServices {
    MainWindowPlatform& platform;
    MainWindowView& view;
    NotificationArea& tray;
    Alerts& alerts;
    KeyStateSource& keys;
    TickSource& ticks;
    ShellOpener& shell;
    Registry& registry;
    FileStore& files;
    CodePage& codePage;
    ListLocation allowList;
    ListLocation allowedSites;
    std::string programPath;  // full path of norvane.exe
};

class MainLogic {
public:
    explicit MainLogic(MainServices services);
    MainLogic(const MainLogic&) = delete;
    MainLogic& operator=(const MainLogic&) = delete;

    // Runs once when the window is created, before it is first shown. Returns whether the
    // window is to be shown (HideOnStart not set).
    bool Startup();
    // Runs when the program quits; the caller ends the process afterwards.
    void Shutdown();
    // A monitor that could not switch on is tried again every kMonitorRetryMs (the shell's
    // window list may not be up yet at log-on), at the timer it arms while it cannot watch.
    void RetryMonitor();
    static constexpr std::uint32_t kMonitorRetryMs = 5000;

    // The icon with the window's current picture and the tip of the current state.
    void AddTrayIcon();
    // The shell restarted (it announced a new task bar), or its window list went with its
    // process (the monitor found so and switched itself off): the icon is added again, and
    // the monitor, switched off and shown as not watching, is switched on by the retry
    // timer at once, onto the new shell's list.
    void FollowNewShell();

    // Windows announced a change of policy: reads the policies again and applies them.
    void PolicyChanged();
    // The protection switch, as the button and the tray menu work it: refused when a
    // policy keeps protection on.
    void ToggleProtection();

    BlockingState& State() { return m_state; }
    Options& InMemoryOptions() { return m_options; }
    UrlList& Blocked() { return m_blocked; }
    UrlList& Allowed() { return m_allowed; }
    AllowedSites& Sites() { return m_sites; }
    PopupLog& Log() { return m_log; }
    Protection& Switch() { return m_protection; }
    PopupRules& Rules() { return m_rules; }
    AllowPrompt& Prompt() { return m_prompt; }
    SettingsStore& Settings() { return m_settings; }
    const Policy& CurrentPolicy() const { return m_policy; }
    const UrlList& PolicyAllowed() const { return m_policyAllowed; }

private:
    // The options the engine reads, each forced by a policy or as the user stored it.
    void LoadOptions();
    bool OptionOn(std::string_view key);
    // The policy's lists into the rules, and the toolbar button as a policy forces it.
    void TakePolicy();

    MainServices m_services;
    SettingsStore m_settings;
    ListFile m_allowFile;
    ListFile m_sitesFile;
    BlockingState m_state;
    Options m_options;
    UrlList m_blocked;
    UrlList m_allowed;
    Policy m_policy;
    UrlList m_policyAllowed;
    AllowedSites m_sites;
    PopupLog m_log;
    Protection m_protection;
    PopupRules m_rules;
    AllowPrompt m_prompt;
    std::uint32_t m_monitorTriedAt = 0;
};

}  // namespace quellix
