// The main window's place for the browser monitor: creates the control tessaly.IEEvents by
// its ProgID, sites it and shows its banner in place, switches it on and off by dispatch
// identifier, and receives its NewWindow and BrowserCreated events.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include <functional>
#include <optional>
#include <string>

#include "base/com.h"

namespace quellix {

class MonitorHost {
public:
    struct Handlers {
        // Returns the value to write into Cancel, or nothing to leave it as it came.
        std::function<std::optional<bool>()> newWindow;
        std::function<void(IWebBrowser2* browser)> browserCreated;
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
    DWORD m_cookie = 0;
};

}  // namespace quellix
