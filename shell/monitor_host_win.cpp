#include "shell/monitor_host_win.h"

#include <olectl.h>
#include <shlwapi.h>

#include "base/dispatch.h"
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
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT place, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override
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

namespace {

// A browser as the control passes it: by reference, or (from a host that copied it) by value.
IDispatch* BrowserArgument(const VARIANTARG& arg)
{
    if (arg.vt == (VT_BYREF | VT_DISPATCH) && arg.ppdispVal)
        return *arg.ppdispVal;
    return arg.vt == VT_DISPATCH ? arg.pdispVal : nullptr;
}

}  // namespace

// The control's event set, as the main window takes it: NewWindow and BrowserCreated.
class MonitorHost::Events final : public ComObject<IEventHandler> {
public:
    explicit Events(const Handlers& handlers) : m_handlers(handlers) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        return QueryUnknownOnly(static_cast<IEventHandler*>(this), riid, object);
    }

    HRESULT OnEvent(DISPID id, DISPPARAMS* params) override
    {
        // Arguments lie last-first: for NewWindow, Cancel is rgvarg[0] and Browser rgvarg[2];
        // for BrowserCreated, Browser is the only one.
        if (id == tessaly::kNewWindow && params->cArgs == 3 && m_handlers.newWindow) {
            VARIANTARG& cancel = params->rgvarg[0];
            if (cancel.vt != (VT_BYREF | VT_BOOL) || !cancel.pboolVal)
                return DISP_E_TYPEMISMATCH;
            // Its own reference: the handler's calls may let in an event that changes the argument.
            const ComPtr<IDispatch> opener = BrowserArgument(params->rgvarg[2]);
            if (const std::optional<bool> value = m_handlers.newWindow(opener.Get()))
                *cancel.pboolVal = *value ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (id == tessaly::kBrowserCreated && params->cArgs == 1 && m_handlers.browserCreated) {
            if (const ComPtr<IDispatch> browser = BrowserArgument(params->rgvarg[0]))
                m_handlers.browserCreated(browser.Get());
        }
        return S_OK;
    }

private:
    const Handlers& m_handlers;
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
    m_events = MakeCom<Events>(m_handlers);
    RETURN_IF_NULL_ALLOC(m_site && m_events);
    RETURN_IF_FAILED(m_control.As(&m_dispatch));
    // The control asks for its site first (OLEMISC_SETCLIENTSITEFIRST).
    m_control->SetClientSite(m_site.Get());
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(m_control.As(&persist)))
        persist->InitNew();

    RETURN_IF_FAILED(m_subscription.Connect(m_control.Get(), tessaly::kDiidIEEventsEvents, m_events.Get()));

    const RECT place = m_site->Place();
    m_control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site.Get(), 0, parent, &place);
    return S_OK;
}

HRESULT MonitorHost::SetEnabled(bool on)
{
    if (!m_dispatch)
        return E_UNEXPECTED;
    return PutProperty(m_dispatch.Get(), tessaly::kDispidEnabled,
                       ByVal<VARIANT_BOOL>(on ? VARIANT_TRUE : VARIANT_FALSE));
}

void MonitorHost::Destroy()
{
    m_subscription.Disconnect();
    if (m_control) {
        m_control->Close(OLECLOSE_NOSAVE);
        m_control->SetClientSite(nullptr);
    }
    m_dispatch.Reset();
    m_control.Reset();
    m_events.Reset();
    m_site.Reset();
}

}  // namespace quellix
