// One outgoing dispatch interface of a stand-in object: Advise, Unadvise and firing.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <vector>

#include "base/com.h"
#include "tests/sim/call_watch.h"

namespace quellix::sim {

// Lives inside its container and lends it its reference count, so that a connection point
// handed out by FindConnectionPoint keeps the whole object alive.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer& container, const IID& events);
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // Calls Invoke on every subscriber advised when the call starts. A subscriber may
    // Unadvise and Advise again from inside its handler: the new connection waits for the
    // next event, and a connection ended during the round is not called any more.
    // Returns S_OK, or the failure of the last Invoke that failed.
    HRESULT Fire(DISPID id, DISPPARAMS& params);
    long Subscribers() const;
    // The object's process is gone: its subscribers are let go, and from now on Advise and
    // Unadvise answer `answer`, as a proxy to such an object does.
    void Disconnect(HRESULT answer = RPC_E_DISCONNECTED);
    // Where Advise and Unadvise are counted.
    void Watch(CallWatch* watch) { m_watch = watch; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_container.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_container.Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    IConnectionPointContainer& m_container;
    const IID m_events;
    // The cookie is the slot + 1. Slots are never reused, so a cookie that a subscriber
    // holds after Unadvise can never name somebody else's connection.
    std::vector<ComPtr<IDispatch>> m_sinks;
    HRESULT m_gone = S_OK;
    CallWatch* m_watch = nullptr;
};

}  // namespace quellix::sim
