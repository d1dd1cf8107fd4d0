#include "monitor/control.h"

#include <shlwapi.h>

#include "base/utf.h"
#include "monitor/banner_math.h"
#include "monitor/version.h"

namespace tessaly {

using quellix::ComPtr;

namespace {

// The connection points the control offers, for EnumConnectionPoints.
class PointEnumerator final : public quellix::ComObject<IEnumConnectionPoints> {
public:
    PointEnumerator(ComPtr<IUnknown> owner, IConnectionPoint* first, IConnectionPoint* second, ULONG next = 0)
        : m_owner(std::move(owner)), m_points{first, second}, m_next(next)
    {
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB table[] = {QITABENT(PointEnumerator, IEnumConnectionPoints), {}};
        return QISearch(this, table, riid, object);
    }
    STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override
    {
        if (!points || (count > 1 && !fetched))
            return E_POINTER;
        ULONG done = 0;
        for (; done < count && m_next < 2; ++done, ++m_next) {
            points[done] = m_points[m_next];
            points[done]->AddRef();
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        const ULONG left = 2 - m_next;
        m_next += std::min(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_next = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumConnectionPoints** result) override
    {
        if (!result)
            return E_POINTER;
        *result = quellix::MakeCom<PointEnumerator>(m_owner, m_points[0], m_points[1], m_next).Detach();
        return *result ? S_OK : E_OUTOFMEMORY;
    }

private:
    ComPtr<IUnknown> m_owner;  // keeps the points' container alive
    IConnectionPoint* m_points[2];
    ULONG m_next;
};

// HIMETRIC (1/100 mm) from twips.
SIZEL ExtentInHimetric()
{
    return {MulDiv(kWidthTwips, 2540, 1440), MulDiv(kHeightTwips, 2540, 1440)};
}

constexpr wchar_t kWindowClass[] = L"TessalyBanner";

}  // namespace

IEEvents::IEEvents()
    : m_events(this, kDiidIEEventsEvents), m_propertyNotify(this, IID_IPropertyNotifySink),
      m_banner(quellix::Widen(VersionCaption(kVersionMajor, kVersionMinor, kVersionRevision)))
{
}

IEEvents::~IEEvents()
{
    ReleaseTracker();
    m_window.reset();
}

HRESULT IEEvents::Create(REFIID riid, void** object)
{
    ComPtr<IEEvents> control = quellix::MakeCom<IEEvents>();
    RETURN_IF_NULL_ALLOC(control);
    RETURN_IF_FAILED(control->Initialize());
    return control->QueryInterface(riid, object);
}

HRESULT IEEvents::Initialize()
{
    // The banner's gradient, version text and frame are painted from m_banner whenever the
    // control is shown; what is left to set up is the browser list. A new control is off.
    m_oBrowsers = cBrowsers::Create();
    RETURN_IF_NULL_ALLOC(m_oBrowsers);
    return S_OK;
}

STDMETHODIMP IEEvents::QueryInterface(REFIID riid, void** object)
{
    static const QITAB table[] = {
        QITABENT(IEEvents, _IEEvents),
        QITABENTMULTI(IEEvents, IDispatch, _IEEvents),
        QITABENT(IEEvents, IProvideClassInfo2),
        QITABENTMULTI(IEEvents, IProvideClassInfo, IProvideClassInfo2),
        QITABENT(IEEvents, IConnectionPointContainer),
        QITABENT(IEEvents, IOleObject),
        QITABENT(IEEvents, IOleInPlaceObject),
        QITABENTMULTI(IEEvents, IOleWindow, IOleInPlaceObject),
        QITABENT(IEEvents, IOleControl),
        QITABENT(IEEvents, IViewObject2),
        QITABENTMULTI(IEEvents, IViewObject, IViewObject2),
        QITABENT(IEEvents, IPersistStreamInit),
        QITABENTMULTI(IEEvents, IPersist, IPersistStreamInit),
        QITABENT(IEEvents, IPersistPropertyBag),
        {},
    };
    return QISearch(this, table, riid, object);
}

// --- Monitoring -------------------------------------------------------------------------

HRESULT IEEvents::StartTracker()
{
    RETURN_IF_FAILED(cBrowserEvents::Create(this, &oBrowserEvents));
    oBrowserEvents->SetBrowsers(m_oBrowsers.Get());
    return oBrowserEvents->RebuildBrowsers();
}

void IEEvents::ReleaseTracker()
{
    if (const ComPtr<cBrowserEvents> tracker = std::move(oBrowserEvents))
        tracker->Detach();
}

void IEEvents::RaiseEvent(EventId id, DISPPARAMS* params)
{
    // A host may release its last reference to the control from inside its handler.
    const ComPtr<IEEvents> self(this);
    m_events.Fire(id, params);
}

STDMETHODIMP IEEvents::get_Enabled(VARIANT_BOOL* result)
{
    if (!result)
        return E_POINTER;
    *result = oBrowserEvents ? VARIANT_TRUE : VARIANT_FALSE;
    m_propertyNotify.NotifyChanged(kDispidEnabled);
    return S_OK;
}

STDMETHODIMP IEEvents::put_Enabled(VARIANT_BOOL value)
{
    HRESULT hr = S_OK;
    if (value && !oBrowserEvents)
        hr = StartTracker();
    else if (!value)
        ReleaseTracker();
    m_propertyNotify.NotifyChanged(kDispidEnabled);
    return hr;
}

STDMETHODIMP IEEvents::Refresh()
{
    ReleaseTracker();
    return StartTracker();
}

STDMETHODIMP IEEvents::get_Browsers(_cBrowsers** result)
{
    return quellix::CopyTo(m_oBrowsers, result);
}

// --- Class information and connection points --------------------------------------------

STDMETHODIMP IEEvents::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(TypeLibrary(&library));
    return library->GetTypeInfoOfGuid(kClsidIEEvents, info);
}

STDMETHODIMP IEEvents::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = kDiidIEEventsEvents;
    return S_OK;
}

STDMETHODIMP IEEvents::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    if (!points)
        return E_POINTER;
    *points = quellix::MakeCom<PointEnumerator>(ComPtr<IUnknown>(static_cast<_IEEvents*>(this)), &m_events,
                                                &m_propertyNotify)
                  .Detach();
    return *points ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP IEEvents::FindConnectionPoint(REFIID riid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (riid == m_events.Iid())
        *point = &m_events;
    else if (riid == m_propertyNotify.Iid())
        *point = &m_propertyNotify;
    else
        return CONNECT_E_NOCONNECTION;
    (*point)->AddRef();
    return S_OK;
}

// --- Persistence: only "Enabled" is written, and nothing is read back --------------------

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

// --- The OLE control contract --------------------------------------------------------------

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
    const SIZEL fixed = ExtentInHimetric();
    return size->cx == fixed.cx && size->cy == fixed.cy ? S_OK : E_FAIL;
}

STDMETHODIMP IEEvents::GetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = ExtentInHimetric();
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

SIZE IEEvents::PixelSize() const
{
    int dpi = 96;
    if (HDC screen = GetDC(nullptr)) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return {TwipsToPixels(kWidthTwips, dpi), TwipsToPixels(kHeightTwips, dpi)};
}

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
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT place{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    HRESULT hr = inPlace->GetWindow(&parent);
    if (SUCCEEDED(hr))
        hr = inPlace->GetWindowContext(&frame, &document, &place, &clip, &frameInfo);
    if (SUCCEEDED(hr) && position)
        place = *position;

    if (SUCCEEDED(hr)) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = ThisModule();
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass);  // fails harmlessly when already registered

        const SIZE size = PixelSize();
        m_window.reset(CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS, place.left, place.top, size.cx,
                                       size.cy, parent, nullptr, ThisModule(), this));
        hr = m_window ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    }
    if (FAILED(hr)) {
        inPlace->OnInPlaceDeactivate();
        return hr;
    }
    m_inPlaceSite = std::move(inPlace);
    ShowWindow(m_window.get(), SW_SHOWNA);
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

STDMETHODIMP IEEvents::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                            BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!dc || !bounds)
        return E_INVALIDARG;
    const RECT area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    m_banner.Paint(dc, area, GetDeviceCaps(dc, LOGPIXELSY));
    return S_OK;
}

STDMETHODIMP IEEvents::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    m_viewAdvise = sink;
    m_viewAdviseAspects = aspects;
    m_viewAdviseFlags = flags;
    return S_OK;
}

STDMETHODIMP IEEvents::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = m_viewAdviseAspects;
    if (flags)
        *flags = m_viewAdviseFlags;
    return sink ? quellix::CopyTo(m_viewAdvise, sink) : S_OK;
}

STDMETHODIMP IEEvents::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

LRESULT CALLBACK IEEvents::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (HDC dc = BeginPaint(window, &paint)) {
            RECT client;
            GetClientRect(window, &client);
            // Drawn off screen and copied, like a persistent picture: no flicker.
            const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
            auto* control = reinterpret_cast<IEEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (control) {
                quellix::UniqueHbitmap picture = control->m_banner.Render(dc, client.right, client.bottom, dpi);
                quellix::UniqueHdc memory(CreateCompatibleDC(dc));
                if (picture && memory) {
                    const HGDIOBJ previous = SelectObject(memory.get(), picture.get());
                    BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
                    SelectObject(memory.get(), previous);
                }
            }
            EndPaint(window, &paint);
        }
        return 0;
    }
    case WM_NCCREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        break;
    }
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tessaly
