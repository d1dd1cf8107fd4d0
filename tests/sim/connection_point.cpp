#include "tests/sim/connection_point.h"

#include <olectl.h>

#include <algorithm>
#include <utility>

namespace quellix::sim {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer& container, const IID& events)
    : m_container(container), m_events(events)
{
}

HRESULT ConnectionPoint::Fire(DISPID id, DISPPARAMS& params)
{
    HRESULT result = S_OK;
    COM_TRY_BEGIN
    // The last subscriber may release the object from inside its handler.
    const ComPtr<IConnectionPointContainer> keepAlive(&m_container);
    std::vector<std::pair<size_t, ComPtr<IDispatch>>> round;
    for (size_t slot = 0; slot < m_sinks.size(); ++slot) {
        if (m_sinks[slot])
            round.emplace_back(slot, m_sinks[slot]);
    }
    for (const auto& [slot, sink] : round) {
        if (slot >= m_sinks.size() || !m_sinks[slot])
            continue;
        const HRESULT hr = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                                        nullptr);
        if (FAILED(hr))
            result = hr;
    }
    COM_TRY_END
    return result;
}

void ConnectionPoint::Disconnect(HRESULT answer)
{
    m_gone = answer;
    // Moved out first: releasing a sink may call back into this point.
    const std::vector<ComPtr<IDispatch>> sinks = std::exchange(m_sinks, {});
}

long ConnectionPoint::Subscribers() const
{
    const auto advised = [](const ComPtr<IDispatch>& sink) { return sink.Get() != nullptr; };
    return static_cast<long>(std::count_if(m_sinks.begin(), m_sinks.end(), advised));
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** object)
{
    RETURN_HR_IF(E_POINTER, !object);
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid)
{
    RETURN_HR_IF(E_POINTER, !iid);
    *iid = m_events;
    return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    return CopyTo(ComPtr<IConnectionPointContainer>(&m_container), container);
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (m_watch)
        m_watch->Note(Call::kAdvise);
    RETURN_HR_IF(E_POINTER, !sink || !cookie);
    *cookie = 0;
    RETURN_IF_FAILED(m_gone);
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(m_events, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
        FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch))))
        return CONNECT_E_CANNOTCONNECT;
    COM_TRY_BEGIN
    m_sinks.push_back(std::move(dispatch));
    COM_TRY_END
    *cookie = static_cast<DWORD>(m_sinks.size());
    return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie)
{
    if (m_watch)
        m_watch->Note(Call::kUnadvise);
    RETURN_IF_FAILED(m_gone);
    RETURN_HR_IF(CONNECT_E_NOCONNECTION, cookie == 0 || cookie > m_sinks.size() || !m_sinks[cookie - 1]);
    // Moved out first: releasing the sink may call back into this point.
    const ComPtr<IDispatch> sink = std::move(m_sinks[cookie - 1]);
    return S_OK;
}

}  // namespace quellix::sim
