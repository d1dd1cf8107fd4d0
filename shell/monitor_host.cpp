#include "shell/monitor_host.h"

#include <olectl.h>
#include <shlwapi.h>

#include "monitor/tessaly.h"

namespace quellix {

// The container's side of the control: its client site and in-place site.
class MonitorHost::Site final : public ComObject<IOleClientSite, IOleInPlaceSite> {
public:
    Site(HWND parent, POINT position) : m_parent(parent), m_position(position) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB table[] = {
            QITABENT(Site, IOleClientSite),
            QITABENT(Site, IOleInPlaceSite),
            QITABENTMULTI(Site, IOleWindow, IOleInPlaceSite),
            {},
        };
        return QISearch(this, table, riid, object);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** container) override
    {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override
    {
        *window = m_parent;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT place,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        *frame = nullptr;
        *document = nullptr;
        // The control keeps its own size; the site gives the place.
        *place = {m_position.x, m_position.y, m_position.x + 1, m_position.y + 1};
        GetClientRect(m_parent, clip);
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = m_parent;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    RECT Place() const { return {m_position.x, m_position.y, m_position.x + 1, m_position.y + 1}; }

private:
    HWND m_parent;
    POINT m_position;
};

// The control's event set, as the main window takes it: NewWindow and BrowserCreated.
class MonitorHost::Events final : public ComObject<IDispatch> {
public:
    explicit Events(const Handlers* handlers) : m_handlers(handlers) {}
    void Disconnect() { m_handlers = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == tessaly::kDiidIEEventsEvents) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        const ComPtr<Events> self(this);
        if (!m_handlers || !params)
            return S_OK;
        // Arguments lie last-first: for NewWindow, Cancel is rgvarg[0]; for BrowserCreated,
        // Browser is the only one.
        if (id == tessaly::kNewWindow && params->cArgs == 3 && m_handlers->newWindow) {
            VARIANTARG& cancel = params->rgvarg[0];
            if (cancel.vt != (VT_BYREF | VT_BOOL) || !cancel.pboolVal)
                return DISP_E_TYPEMISMATCH;
            if (const std::optional<bool> value = m_handlers->newWindow())
                *cancel.pboolVal = *value ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (id == tessaly::kBrowserCreated && params->cArgs == 1 && m_handlers->browserCreated) {
            const VARIANTARG& browser = params->rgvarg[0];
            IDispatch* object = nullptr;
            if (browser.vt == (VT_BYREF | VT_DISPATCH) && browser.ppdispVal)
                object = *browser.ppdispVal;
            else if (browser.vt == VT_DISPATCH)
                object = browser.pdispVal;
            ComPtr<IWebBrowser2> web;
            if (object && SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&web))))
                m_handlers->browserCreated(web.Get());
        }
        return S_OK;
    }

private:
    const Handlers* m_handlers;
};

MonitorHost::MonitorHost(Handlers handlers) : m_handlers(std::move(handlers)) {}

MonitorHost::~MonitorHost()
{
    Destroy();
}

HRESULT MonitorHost::Create(HWND parent, POINT position)
{
    CLSID clsid{};
    RETURN_IF_FAILED(CLSIDFromProgID(tessaly::kProgId, &clsid));
    RETURN_IF_FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_control)));
    m_site = MakeCom<Site>(parent, position);
    m_events = MakeCom<Events>(&m_handlers);
    RETURN_IF_NULL_ALLOC(m_site && m_events);
    RETURN_IF_FAILED(m_control.As(&m_dispatch));
    // The control asks for its site first (OLEMISC_SETCLIENTSITEFIRST).
    m_control->SetClientSite(m_site.Get());
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(m_control.As(&persist)))
        persist->InitNew();

    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    RETURN_IF_FAILED(m_control.As(&container));
    RETURN_IF_FAILED(container->FindConnectionPoint(tessaly::kDiidIEEventsEvents, &point));
    RETURN_IF_FAILED(point->Advise(static_cast<IDispatch*>(m_events.Get()), &m_cookie));

    const RECT place = m_site->Place();
    m_control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site.Get(), 0, parent, &place);
    return S_OK;
}

HRESULT MonitorHost::SetEnabled(bool on)
{
    if (!m_dispatch)
        return E_UNEXPECTED;
    VARIANTARG value;
    value.vt = VT_BOOL;
    value.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return m_dispatch->Invoke(tessaly::kDispidEnabled, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                              nullptr, nullptr, nullptr);
}

void MonitorHost::Destroy()
{
    if (m_events)
        m_events->Disconnect();
    if (m_control) {
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        if (m_cookie && SUCCEEDED(m_control.As(&container)) &&
            SUCCEEDED(container->FindConnectionPoint(tessaly::kDiidIEEventsEvents, &point)))
            point->Unadvise(m_cookie);
        m_control->Close(OLECLOSE_NOSAVE);
        m_control->SetClientSite(nullptr);
    }
    m_cookie = 0;
    m_dispatch.Reset();
    m_control.Reset();
    m_events.Reset();
    m_site.Reset();
}

}  // namespace quellix
