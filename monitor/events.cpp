#include "monitor/events.h"

#include <olectl.h>
#include <shlwapi.h>

namespace tessaly {

using quellix::ComPtr;

class EventSubscription::Receiver final : public quellix::ComObject<IDispatch> {
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
        return handler->OnEvent(id, params ? params : &none);
    }

private:
    IID m_events;
    IEventHandler* m_handler;  // not counted: the handler owns the subscription
};

HRESULT EventSubscription::Connect(IUnknown* source, REFIID events, IEventHandler* handler)
{
    Disconnect();
    ComPtr<IConnectionPointContainer> container;
    RETURN_IF_FAILED(source->QueryInterface(IID_PPV_ARGS(&container)));
    ComPtr<IConnectionPoint> point;
    RETURN_IF_FAILED(container->FindConnectionPoint(events, &point));
    ComPtr<Receiver> receiver = quellix::MakeCom<Receiver>(events, handler);
    RETURN_IF_NULL_ALLOC(receiver);
    DWORD cookie = 0;
    RETURN_IF_FAILED(point->Advise(static_cast<IDispatch*>(receiver.Get()), &cookie));
    m_point = std::move(point);
    m_receiver = std::move(receiver);
    m_cookie = cookie;
    return S_OK;
}

EventSubscription::EventSubscription() = default;

EventSubscription::~EventSubscription()
{
    Disconnect();
}

void EventSubscription::Disconnect()
{
    if (m_receiver)
        m_receiver->Disconnect();
    if (m_point)
        m_point->Unadvise(m_cookie);  // a source that has gone cannot be told; nothing is lost
    m_point.Reset();
    m_receiver.Reset();
    m_cookie = 0;
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** object)
{
    static const QITAB table[] = {QITABENT(ConnectionPoint, IConnectionPoint), {}};
    return QISearch(this, table, riid, object);
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = m_container;
    m_container->AddRef();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    // An event set is a dispinterface: a sink that does not know its identifier can still
    // take the events through IDispatch.
    ComPtr<IUnknown> typed;
    if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(typed.GetAddressOf()))) &&
        (m_iid == IID_IPropertyNotifySink ||
         FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(typed.GetAddressOf())))))
        return CONNECT_E_CANNOTCONNECT;

    COM_TRY_BEGIN
    for (std::size_t i = 0; i < m_sinks.size(); ++i) {
        if (!m_sinks[i]) {
            m_sinks[i] = std::move(typed);
            *cookie = static_cast<DWORD>(i + 1);
            return S_OK;
        }
    }
    m_sinks.push_back(std::move(typed));
    *cookie = static_cast<DWORD>(m_sinks.size());
    return S_OK;
    COM_TRY_END
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie)
{
    if (cookie == 0 || cookie > m_sinks.size() || !m_sinks[cookie - 1])
        return CONNECT_E_NOCONNECTION;
    // Released after the slot is cleared: the sink's destructor may call back in.
    const ComPtr<IUnknown> sink = std::move(m_sinks[cookie - 1]);
    m_sinks[cookie - 1].Reset();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    if (!connections)
        return E_POINTER;
    *connections = nullptr;
    return E_NOTIMPL;
}

void ConnectionPoint::Fire(DISPID id, DISPPARAMS* params)
{
    ForEach<IDispatch>([&](IDispatch* sink) {
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
    });
}

void ConnectionPoint::NotifyChanged(DISPID id)
{
    ForEach<IPropertyNotifySink>([id](IPropertyNotifySink* sink) { sink->OnChanged(id); });
}

}  // namespace tessaly
