// A stand-in for the shell's list of open browser windows (CLSID_ShellWindows).
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include <vector>

#include "base/com.h"
#include "tests/sim/connection_point.h"
#include "tests/sim/typelib_dispatch.h"

namespace quellix::sim {

class Browser;

// One list per running shell; every CoCreateInstance gets this same object, as every caller
// of the real one reaches the one list in the shell's process.
class ShellWindows final
    : public ComObject<TypeLibDispatched<IShellWindows, IID_IShellWindows>, IConnectionPointContainer> {
public:
    ShellWindows();
    ~ShellWindows() override;

    // Registers `browser` (once) and fires WindowRegistered to every subscriber.
    void Add(Browser& browser);
    // Revokes `browser` and fires WindowRevoked; nothing happens for one not registered.
    void Remove(Browser& browser);
    // Forgets every window without telling anyone: the desktop is going away.
    void Clear();
    // The shell's process ends: the windows are forgotten, the subscribers let go, and from
    // now on every call into the list, its enumerators and its connection point answers
    // `answer`, as a proxy to the dead list does.
    void End(HRESULT answer = RPC_E_DISCONNECTED);
    // S_OK, or since End what every call answers.
    HRESULT Alive() const { return m_gone; }
    long Subscribers() const { return m_events.Subscribers(); }
    // The calls made into the shell's process: into the list, its enumerators, its browsers.
    CallWatch& Calls() { return m_calls; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

    // IShellWindows
    STDMETHODIMP get_Count(LONG* count) override;
    STDMETHODIMP Item(VARIANT index, IDispatch** folder) override;
    STDMETHODIMP _NewEnum(IUnknown** enumerator) override;
    STDMETHODIMP Register(IDispatch*, LONG, int, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP RegisterPending(LONG, VARIANT*, VARIANT*, int, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Revoke(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP OnNavigate(LONG, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP OnActivated(LONG, VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP FindWindowSW(VARIANT*, VARIANT*, int, LONG*, int, IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP OnCreated(LONG, IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessAttachDetach(VARIANT_BOOL) override { return E_NOTIMPL; }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

private:
    struct Window {
        long cookie;
        ComPtr<Browser> browser;
    };

    std::vector<Window>::iterator Find(const Browser& browser);
    HRESULT Fire(DISPID id, long cookie);

    CallWatch m_calls;
    std::vector<Window> m_windows;  // in the order of registration
    long m_nextCookie;
    HRESULT m_gone = S_OK;
    ConnectionPoint m_events{*this, DIID_DShellWindowsEvents};
};

}  // namespace quellix::sim
