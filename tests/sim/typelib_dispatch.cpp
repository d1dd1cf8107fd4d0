#include "tests/sim/typelib_dispatch.h"

#include <exdisp.h>

namespace quellix::sim {

HRESULT TypeLibDispatch::Load()
{
    if (m_info)
        return S_OK;
    ComPtr<ITypeLib> library;
    if (FAILED(LoadRegTypeLib(LIBID_SHDocVw, 1, 1, LOCALE_NEUTRAL, &library)) ||
        FAILED(library->GetTypeInfoOfGuid(m_iid, &m_info)))
        return E_NOTIMPL;
    return S_OK;
}

HRESULT TypeLibDispatch::GetTypeInfoCount(UINT* count)
{
    RETURN_HR_IF(E_POINTER, !count);
    *count = SUCCEEDED(Load()) ? 1 : 0;
    return S_OK;
}

HRESULT TypeLibDispatch::GetTypeInfo(UINT index, ITypeInfo** info)
{
    RETURN_HR_IF(E_POINTER, !info);
    *info = nullptr;
    RETURN_HR_IF(DISP_E_BADINDEX, index != 0);
    RETURN_IF_FAILED(Load());
    return CopyTo(m_info, info);
}

HRESULT TypeLibDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids)
{
    RETURN_HR_IF(DISP_E_UNKNOWNINTERFACE, riid != IID_NULL);
    RETURN_IF_FAILED(Load());
    return DispGetIDsOfNames(m_info.Get(), names, count, ids);
}

HRESULT TypeLibDispatch::Invoke(void* object, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* exception, UINT* argument)
{
    RETURN_HR_IF(DISP_E_UNKNOWNINTERFACE, riid != IID_NULL);
    RETURN_IF_FAILED(Load());
    return DispInvoke(object, m_info.Get(), id, flags, params, result, exception, argument);
}

}  // namespace quellix::sim
