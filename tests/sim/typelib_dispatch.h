// IDispatch of the stand-ins, answered from the browser's own type library (SHDocVw 1.1),
// as the real objects answer it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "base/com.h"

namespace quellix::sim {

// One interface's type information, loaded at first use. Without the library every
// method but GetTypeInfoCount answers E_NOTIMPL.
class TypeLibDispatch {
public:
    explicit TypeLibDispatch(const IID& iid) : m_iid(iid) {}

    HRESULT GetTypeInfoCount(UINT* count);
    HRESULT GetTypeInfo(UINT index, ITypeInfo** info);
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids);
    // `object` is the interface that the type information describes.
    HRESULT Invoke(void* object, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argument);

private:
    HRESULT Load();

    const IID m_iid;
    ComPtr<ITypeInfo> m_info;
};

// IDispatch of a stand-in's dual interface, answered from that interface's type information.
template <typename Dual, const IID& kIid>
class TypeLibDispatched : public Dual {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return m_dispatch.GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        return m_dispatch.GetTypeInfo(index, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return m_dispatch.GetIDsOfNames(riid, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argument) override
    {
        return m_dispatch.Invoke(static_cast<Dual*>(this), id, riid, flags, params, result, exception, argument);
    }

private:
    TypeLibDispatch m_dispatch{kIid};
};

}  // namespace quellix::sim
