// The main window's place for the browser monitor: creates the control tessaly.IEEvents by
// its ProgID, sites it and shows its banner in place, switches it on and off by dispatch
// identifier, and receives the events the pop-up rules need: NewWindow, NewWindow3 (the
// control's second event set), BrowserCreated and BrowserDestroyed, the navigations of new
// browsers, that any other event came, and that the control switched itself off.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <cstdint>
#include <functional>
#include <string_view>

#include "base/com.h"
#include "base/event_subscription.h"
#include "blocker/popup_rules.h"

namespace quellix {

class MonitorHost {
public:
    // Browsers come as their IDispatch (each is an IWebBrowser2): a browser of another
    // process answers it through a proxy that COM has already, where a proxy of
    // IWebBrowser2 would have to be made. Texts come as the browser gave them.
    struct Handlers {
        // Given the browser that opens the window; what to do with Cancel.
        std::function<NewWindowVerdict(IDispatch* opener)> newWindow;
        std::function<NewWindowVerdict(IDispatch* opener, std::uint32_t flags, std::wstring_view urlContext,
                                       std::wstring_view url)>
            newWindow3;
        std::function<void(IDispatch* browser)> browserCreated;
        // A navigation of `browser` starts (true: cancel it), or has committed.
        std::function<bool(IDispatch* browser, std::wstring_view url)> browserNavigating;
        std::function<void(IDispatch* browser, std::wstring_view url)> navigateComplete;
        // Any other event of `browser` but NewWindow and BrowserCreated, before its own handler.
        std::function<void(IDispatch* browser)> browserEvent;
        std::function<void(IDispatch* browser)> browserDestroyed;
        // The control switched itself off: the shell's window list went with its process.
        std::function<void()> switchedOff;
    };

    explicit MonitorHost(Handlers handlers);
    ~MonitorHost();
    MonitorHost(const MonitorHost&) = delete;
    MonitorHost& operator=(const MonitorHost&) = delete;

    // Creates the control on `parent` at (left, top) in pixels. The program's manifest
    // names tessaly.ocx beside it, so no registration is needed (nor written).
    HRESULT Create(HWND parent, POINT position);

    // The control's Enabled, set through its dispatch identifier.
    HRESULT SetEnabled(bool on);

    // Takes the control down: deactivated, disconnected, released.
    void Destroy();

private:
    class Site;
    class Events;
    class PropertyNotices;

    Handlers m_handlers;
    ComPtr<Site> m_site;
    ComPtr<Events> m_events;
    ComPtr<Events> m_newWindow3Events;
    ComPtr<IOleObject> m_control;
    ComPtr<IDispatch> m_dispatch;
    EventSubscription m_subscription;
    EventSubscription m_newWindow3Subscription;
    ComPtr<PropertyNotices> m_notices;
    ComPtr<IConnectionPoint> m_noticePoint;
    DWORD m_noticeCookie = 0;
    bool m_settingEnabled = false;
};

}  // namespace quellix
