#include "base/event_subscription.h"

#include <utility>

namespace quellix {

class EventSubscription::Receiver final : public ComObject<IDispatch> {
public:
    Receiver(REFIID events, IEventHandler* handler) : m_events(events), m_handler(handler) {}

    void Disconnect() { m_handler = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_events) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        // The handler may drop this subscription, or its own last reference, while it
        // handles the event; both must outlive the call.
        const ComPtr<Receiver> self(this);
        const ComPtr<IEventHandler> handler(m_handler);
        if (!handler)
            return S_OK;
        DISPPARAMS none{};
        COM_TRY_BEGIN
        return handler->OnEvent(id, params ? params : &none);
        COM_TRY_END
    }

private:
    IID m_events;
    IEventHandler* m_handler;  // not counted: the handler owns the subscription
};

EventSubscription::EventSubscription() = default;

EventSubscription::~EventSubscription()
{
    Disconnect();
}

HRESULT EventSubscription::Connect(IUnknown* source, REFIID events, IEventHandler* handler)
{
    Disconnect();
    const unsigned generation = ++m_generation;
    RETURN_HR_IF(E_POINTER, !source || !handler);
    ComPtr<IConnectionPointContainer> container;
    RETURN_IF_FAILED(source->QueryInterface(IID_PPV_ARGS(&container)));
    ComPtr<IConnectionPoint> point;
    RETURN_IF_FAILED(container->FindConnectionPoint(events, &point));
    const ComPtr<Receiver> receiver = MakeCom<Receiver>(events, handler);
    RETURN_IF_NULL_ALLOC(receiver);
    DWORD cookie = 0;
    const HRESULT hr = point->Advise(static_cast<IDispatch*>(receiver.Get()), &cookie);
    if (FAILED(hr) || generation != m_generation) {
        receiver->Disconnect();
        if (SUCCEEDED(hr))
            point->Unadvise(cookie);
        return FAILED(hr) ? hr : S_FALSE;
    }
    m_point = point;
    m_receiver = receiver;
    m_cookie = cookie;
    return S_OK;
}

void EventSubscription::Disconnect()
{
    ++m_generation;
    // Taken out first: Unadvise is a call out, during which this object must already read
    // as disconnected.
    const ComPtr<Receiver> receiver = std::exchange(m_receiver, nullptr);
    const ComPtr<IConnectionPoint> point = std::exchange(m_point, nullptr);
    const DWORD cookie = std::exchange(m_cookie, 0);
    if (receiver)
        receiver->Disconnect();
    if (point)
        point->Unadvise(cookie);  // a source that has gone cannot be told; nothing is lost
}

}  // namespace quellix
