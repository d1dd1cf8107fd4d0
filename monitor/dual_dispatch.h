// IDispatch through the type library: names and calls are resolved by oleaut32 from the
// interface's type information, so late-bound hosts see exactly what the library describes.
#pragma once

#include "monitor/module.h"

namespace tessaly {

template <typename Dual>
class DualDispatch : public Dual {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        if (index != 0)
            return DISP_E_BADINDEX;
        return TypeInfoOf(__uuidof(Dual), info);
    }

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        quellix::ComPtr<ITypeInfo> info;
        RETURN_IF_FAILED(TypeInfoOf(__uuidof(Dual), &info));
        return DispGetIDsOfNames(info.Get(), names, count, ids);
    }

    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override
    {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        quellix::ComPtr<ITypeInfo> info;
        RETURN_IF_FAILED(TypeInfoOf(__uuidof(Dual), &info));
        return info->Invoke(static_cast<Dual*>(this), id, flags, params, result, exception, argError);
    }
};

}  // namespace tessaly
