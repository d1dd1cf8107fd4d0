// IEEvents as an OLE control in a container:
//  - IOleObject: the client site, verbs, the fixed extent, advise sinks, status flags
//  - IOleInPlaceObject: activation in place in the container's window, and its end
//  - IOleControl
#include "monitor/control.h"

namespace tessaly {

using quellix::ComPtr;

STDMETHODIMP IEEvents::SetClientSite(IOleClientSite* site)
{
    m_site = site;
    return S_OK;
}

STDMETHODIMP IEEvents::GetClientSite(IOleClientSite** site)
{
    return quellix::CopyTo(m_site, site);
}

STDMETHODIMP IEEvents::Close(DWORD)
{
    InPlaceDeactivate();
    if (m_adviseHolder)
        m_adviseHolder->SendOnClose();
    return S_OK;
}

STDMETHODIMP IEEvents::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT position)
{
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(site ? site : m_site.Get(), position);
    case OLEIVERB_HIDE:
        if (m_window)
            ShowWindow(m_window.get(), SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
}

STDMETHODIMP IEEvents::EnumVerbs(IEnumOLEVERB** verbs)
{
    return OleRegEnumVerbs(kClsidIEEvents, verbs);
}

STDMETHODIMP IEEvents::GetUserClassID(CLSID* clsid)
{
    return GetClassID(clsid);
}

STDMETHODIMP IEEvents::GetUserType(DWORD form, LPOLESTR* type)
{
    return OleRegGetUserType(kClsidIEEvents, form, type);
}

STDMETHODIMP IEEvents::SetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    // The control keeps its size, whatever it is asked for; E_FAIL is how an OLE object
    // says that its size is fixed.
    const SIZEL fixed = ControlExtentHimetric();
    return size->cx == fixed.cx && size->cy == fixed.cy ? S_OK : E_FAIL;
}

STDMETHODIMP IEEvents::GetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = ControlExtentHimetric();
    return S_OK;
}

STDMETHODIMP IEEvents::Advise(IAdviseSink* sink, DWORD* cookie)
{
    if (!m_adviseHolder)
        RETURN_IF_FAILED(CreateOleAdviseHolder(&m_adviseHolder));
    return m_adviseHolder->Advise(sink, cookie);
}

STDMETHODIMP IEEvents::Unadvise(DWORD cookie)
{
    return m_adviseHolder ? m_adviseHolder->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP IEEvents::EnumAdvise(IEnumSTATDATA** advises)
{
    if (!advises)
        return E_POINTER;
    *advises = nullptr;
    return m_adviseHolder ? m_adviseHolder->EnumAdvise(advises) : S_OK;
}

STDMETHODIMP IEEvents::GetMiscStatus(DWORD aspect, DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
    return S_OK;
}

// In-place activation, in its three steps: the site agrees, says where the control goes,
// and the control's window is made there.
HRESULT IEEvents::InPlaceActivate(IOleClientSite* site, LPCRECT position)
{
    if (m_window) {
        ShowWindow(m_window.get(), SW_SHOWNA);
        return S_OK;
    }
    RETURN_HR_IF(E_UNEXPECTED, !site);
    ComPtr<IOleInPlaceSite> inPlace;
    RETURN_IF_FAILED(site->QueryInterface(IID_PPV_ARGS(&inPlace)));
    RETURN_HR_IF(E_FAIL, inPlace->CanInPlaceActivate() != S_OK);
    RETURN_IF_FAILED(inPlace->OnInPlaceActivate());

    HWND parent = nullptr;
    RECT place{};
    HRESULT hr = WindowPlace(inPlace.Get(), position, &parent, &place);
    if (SUCCEEDED(hr))
        hr = CreateBannerWindow(parent, place);
    if (FAILED(hr)) {
        inPlace->OnInPlaceDeactivate();
        return hr;
    }
    m_inPlaceSite = std::move(inPlace);
    ShowWindow(m_window.get(), SW_SHOWNA);
    return S_OK;
}

HRESULT IEEvents::WindowPlace(IOleInPlaceSite* site, LPCRECT position, HWND* parent, RECT* place)
{
    RETURN_IF_FAILED(site->GetWindow(parent));
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    RETURN_IF_FAILED(site->GetWindowContext(&frame, &document, place, &clip, &frameInfo));
    if (position)
        *place = *position;
    return S_OK;
}

STDMETHODIMP IEEvents::InPlaceDeactivate()
{
    if (!m_inPlaceSite)
        return S_OK;
    m_window.reset();
    const ComPtr<IOleInPlaceSite> site = std::move(m_inPlaceSite);
    site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP IEEvents::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_window.get();
    return m_window ? S_OK : E_FAIL;
}

STDMETHODIMP IEEvents::SetObjectRects(LPCRECT position, LPCRECT)
{
    if (!position)
        return E_POINTER;
    if (m_window) {
        // Moved where the container wants it; its size stays its own.
        const SIZE size = PixelSize();
        SetWindowPos(m_window.get(), nullptr, position->left, position->top, size.cx, size.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
}

STDMETHODIMP IEEvents::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    info->cb = sizeof *info;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

}  // namespace tessaly
