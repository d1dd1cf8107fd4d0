// The main window's place for the browser monitor: creates the control tessaly.IEEvents by
// its ProgID, sites it and shows its banner in place, switches it on and off by dispatch
// identifier, and receives its NewWindow and BrowserCreated events.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <functional>
#include <optional>

#include "base/com.h"
#include "base/event_subscription.h"

namespace quellix {

class MonitorHost {
public:
    struct Handlers {
        // Given the browser that opens the window; returns the value to write into Cancel,
        // or nothing to leave it as it came. Browsers come as their IDispatch (each is an
        // IWebBrowser2): a browser of another process answers it through a proxy that COM
        // has already, where a proxy of IWebBrowser2 would have to be made.
        std::function<std::optional<bool>(IDispatch* opener)> newWindow;
        std::function<void(IDispatch* browser)> browserCreated;
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

    Handlers m_handlers;
    ComPtr<Site> m_site;
    ComPtr<Events> m_events;
    ComPtr<IOleObject> m_control;
    ComPtr<IDispatch> m_dispatch;
    EventSubscription m_subscription;
};

}  // namespace quellix
