#include "monitor/events.h"

#include <olectl.h>
#include <shlwapi.h>

namespace tessaly {

using quellix::ComPtr;

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
