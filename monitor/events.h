// The control's outgoing events: its event set and its property-change notifications, each a
// connection point whose reference count is its container's. (The incoming side, events the
// control receives, is base/event_subscription.h.)
#pragma once

#include <ocidl.h>

#include <vector>

#include "base/com.h"

namespace tessaly {

class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer* container, REFIID iid) : m_container(container), m_iid(iid) {}

    // IUnknown, counted by the container.
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_container->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_container->Release(); }

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    REFIID Iid() const { return m_iid; }

    // Calls `call` with every connected sink, as the interface it was advised with. Sinks may
    // connect or disconnect from inside a call: a sink gone is skipped, one added waits for
    // the next round.
    template <typename Interface, typename Call>
    void ForEach(Call&& call)
    {
        const std::size_t count = m_sinks.size();
        for (std::size_t i = 0; i < count && i < m_sinks.size(); ++i) {
            const quellix::ComPtr<IUnknown> sink = m_sinks[i];
            if (sink)
                call(static_cast<Interface*>(sink.Get()));
        }
    }

    // Raises a dispatch event on every sink; what the sinks return is not looked at.
    void Fire(DISPID id, DISPPARAMS* params);
    // Tells every sink that a property changed.
    void NotifyChanged(DISPID id);

private:
    IConnectionPointContainer* m_container;
    IID m_iid;
    std::vector<quellix::ComPtr<IUnknown>> m_sinks;  // slot = cookie - 1; empty slots are reused
};

}  // namespace tessaly
