#include "tests/monitor/host.h"

#include <shlwapi.h>

namespace tessaly::test {

using quellix::ComPtr;

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** object)
{
    static const QITAB table[] = {QITABENT(EventSink, IDispatch), {}};
    return QISearch(this, table, riid, object);
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*)
{
    std::vector<VARIANTARG*> args;
    for (UINT i = params->cArgs; i > 0; --i)
        args.push_back(&params->rgvarg[i - 1]);
    Event event{id, {}, nullptr};
    for (VARIANTARG* arg : args)
        event.types.push_back(arg->vt);
    if (!args.empty() && args[0]->vt == (VT_BYREF | VT_DISPATCH))
        event.browser = *args[0]->ppdispVal;
    events.push_back(event);
    if (handler)
        handler(id, args);
    return S_OK;
}

STDMETHODIMP PropertySink::QueryInterface(REFIID riid, void** object)
{
    static const QITAB table[] = {QITABENT(PropertySink, IPropertyNotifySink), {}};
    return QISearch(this, table, riid, object);
}

DWORD Connect(IUnknown* source, REFIID events, IUnknown* sink)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (SUCCEEDED(source->QueryInterface(IID_PPV_ARGS(&container))) &&
        SUCCEEDED(container->FindConnectionPoint(events, &point)))
        point->Advise(sink, &cookie);
    return cookie;
}

HRESULT Disconnect(IUnknown* source, REFIID events, DWORD cookie)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    RETURN_IF_FAILED(source->QueryInterface(IID_PPV_ARGS(&container)));
    RETURN_IF_FAILED(container->FindConnectionPoint(events, &point));
    return point->Unadvise(cookie);
}

HRESULT InvokeById(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result)
{
    // Arguments are given first to last; DISPPARAMS wants them last to first.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

}  // namespace tessaly::test
