// IEEvents' persistence (IPersist, IPersistStreamInit, IPersistPropertyBag): only "Enabled"
// is written, and nothing is read back: a control always starts off.
#include "monitor/control.h"

namespace tessaly {

STDMETHODIMP IEEvents::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = kClsidIEEvents;
    return S_OK;
}

STDMETHODIMP IEEvents::Load(LPSTREAM stream)
{
    // A saved control always starts off, whatever it was when saved; what Save wrote is
    // read all the same, so that a container that keeps several objects in one stream finds
    // the next one where it begins.
    if (!stream)
        return E_POINTER;
    VARIANT_BOOL saved = VARIANT_FALSE;
    ULONG read = 0;
    RETURN_IF_FAILED(stream->Read(&saved, sizeof saved, &read));
    return read == sizeof saved ? S_OK : STG_E_READFAULT;
}

STDMETHODIMP IEEvents::Save(LPSTREAM stream, BOOL)
{
    if (!stream)
        return E_POINTER;
    const VARIANT_BOOL enabled = oBrowserEvents ? VARIANT_TRUE : VARIANT_FALSE;
    return stream->Write(&enabled, sizeof enabled, nullptr);
}

STDMETHODIMP IEEvents::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = sizeof(VARIANT_BOOL);
    return S_OK;
}

STDMETHODIMP IEEvents::Load(IPropertyBag* bag, IErrorLog*)
{
    return bag ? S_OK : E_POINTER;
}

STDMETHODIMP IEEvents::Save(IPropertyBag* bag, BOOL, BOOL)
{
    if (!bag)
        return E_POINTER;
    VARIANT enabled;
    enabled.vt = VT_BOOL;
    enabled.boolVal = oBrowserEvents ? VARIANT_TRUE : VARIANT_FALSE;
    return bag->Write(L"Enabled", &enabled);
}

}  // namespace tessaly
