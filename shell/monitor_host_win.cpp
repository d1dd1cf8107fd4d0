#include "shell/monitor_host_win.h"

#include <olectl.h>
#include <shlwapi.h>

#include <iterator>
#include <string>
#include <utility>

#include "base/dispatch.h"
#include "base/trace.h"
#include "base/unique_handle.h"
#include "base/utf.h"
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

// A text argument, by value or by reference; a null string, or anything else, reads empty.
std::wstring_view TextArgument(const VARIANTARG& arg)
{
    const VARIANT* value = arg.vt == (VT_BYREF | VT_VARIANT) ? arg.pvarVal : &arg;
    if (!value)
        return {};
    const BSTR text = value->vt == VT_BSTR                ? value->bstrVal
                      : value->vt == (VT_BYREF | VT_BSTR) ? *value->pbstrVal
                                                          : nullptr;
    return text ? std::wstring_view(text, SysStringLen(text)) : std::wstring_view();
}

VARIANT_BOOL* CancelArgument(const VARIANTARG& arg)
{
    return arg.vt == (VT_BYREF | VT_BOOL) ? arg.pboolVal : nullptr;
}

// Each event the control relays, with its browser (as the rules know it: its COM identity)
// and the addresses among its arguments.
void TraceEvent(bool newWindow3Set, DISPID id, const DISPPARAMS& params)
{
    static constexpr const char* kNames[] = {
        "?",
        "BrowserNavigating",
        "DocumentComplete",
        "DownLoadBegin",
        "DownLoadComplete",
        "FileDownload",
        "NavigateComplete",
        "NavigateError",
        "NewWindow",
        "OnFullScreen",
        "ProgressChange",
        "TitleChange",
        "WindowClosing",
        "BrowserCreated",
        "BrowserDestroyed",
    };
    const char* name = newWindow3Set ? "NewWindow3" : id > 0 && id < DISPID(std::size(kNames)) ? kNames[id] : "?";
    ComPtr<IUnknown> identity;
    if (IDispatch* browser = params.cArgs ? BrowserArgument(params.rgvarg[params.cArgs - 1]) : nullptr)
        browser->QueryInterface(IID_PPV_ARGS(&identity));
    std::string texts;
    for (UINT i = params.cArgs; i-- > 0;) {
        if (const std::wstring_view text = TextArgument(params.rgvarg[i]); !text.empty())
            texts += " " + Narrow(text);
    }
    trace::Write("event ", name, " of browser ", reinterpret_cast<std::uintptr_t>(identity.Get()), texts);
}

void Apply(NewWindowVerdict verdict, VARIANT_BOOL* cancel)
{
    if (verdict != NewWindowVerdict::kLeave)
        *cancel = verdict == NewWindowVerdict::kRefuse ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

// The control's events, as the main window takes them: one receiver for each of its two
// event sets, whose dispatch identifiers overlap.
class MonitorHost::Events final : public ComObject<IEventHandler> {
public:
    Events(const Handlers& handlers, bool newWindow3Set) : m_handlers(handlers), m_newWindow3Set(newWindow3Set) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        return QueryUnknownOnly(static_cast<IEventHandler*>(this), riid, object);
    }

    // Arguments lie last-first: the event's Browser is rgvarg[cArgs - 1]. Each handler
    // takes its own reference to the browser: its calls may let in an event that changes
    // the argument.
    HRESULT OnEvent(DISPID id, DISPPARAMS* params) override
    {
        VARIANTARG* args = params->rgvarg;
        const UINT count = params->cArgs;
        QUELLIX_TRACE_CALL(TraceEvent(m_newWindow3Set, id, *params));
        const auto browser = [&] { return ComPtr<IDispatch>(count ? BrowserArgument(args[count - 1]) : nullptr); };
        if (m_newWindow3Set) {
            // Browser, ppDisp, Cancel, Flags, UrlContext, Url.
            if (id != tessaly::kDispidNewWindow3 || count != 6 || !m_handlers.newWindow3)
                return S_OK;
            VARIANT_BOOL* cancel = CancelArgument(args[3]);
            UniqueVariant flags;
            if (!cancel || FAILED(VariantChangeType(&flags, &args[2], 0, VT_UI4)))
                return DISP_E_TYPEMISMATCH;
            Apply(m_handlers.newWindow3(browser().Get(), flags.ulVal, TextArgument(args[1]), TextArgument(args[0])),
                  cancel);
            return S_OK;
        }
        if (id != tessaly::kNewWindow && id != tessaly::kBrowserCreated && m_handlers.browserEvent) {
            if (const ComPtr<IDispatch> from = browser())
                m_handlers.browserEvent(from.Get());
        }
        switch (id) {
        case tessaly::kNewWindow:  // Browser, ppDisp, Cancel
            if (count == 3 && m_handlers.newWindow) {
                VARIANT_BOOL* cancel = CancelArgument(args[0]);
                if (!cancel)
                    return DISP_E_TYPEMISMATCH;
                Apply(m_handlers.newWindow(browser().Get()), cancel);
            }
            break;
        case tessaly::kBrowserCreated:  // Browser
            if (count == 1 && m_handlers.browserCreated) {
                if (const ComPtr<IDispatch> created = browser())
                    m_handlers.browserCreated(created.Get());
            }
            break;
        case tessaly::kBrowserDestroyed:  // Browser
            if (count == 1 && m_handlers.browserDestroyed) {
                if (const ComPtr<IDispatch> gone = browser())
                    m_handlers.browserDestroyed(gone.Get());
            }
            break;
        case tessaly::kBrowserNavigating:  // Browser, pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel
            if (count == 8 && m_handlers.browserNavigating) {
                VARIANT_BOOL* cancel = CancelArgument(args[0]);
                const ComPtr<IDispatch> navigating = browser();
                if (cancel && navigating && m_handlers.browserNavigating(navigating.Get(), TextArgument(args[5])))
                    *cancel = VARIANT_TRUE;
            }
            break;
        case tessaly::kNavigateComplete:  // Browser, pDisp, URL
            if (count == 3 && m_handlers.navigateComplete) {
                if (const ComPtr<IDispatch> navigated = browser())
                    m_handlers.navigateComplete(navigated.Get(), TextArgument(args[0]));
            }
            break;
        default:
            break;
        }
        return S_OK;
    }

private:
    const Handlers& m_handlers;
    const bool m_newWindow3Set;
};

// The control's notices of changed properties. One of Enabled that comes while the host is
// not setting it means the control switched itself off.
class MonitorHost::PropertyNotices final : public ComObject<IPropertyNotifySink> {
public:
    explicit PropertyNotices(const MonitorHost& host) : m_host(host) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB table[] = {QITABENT(PropertyNotices, IPropertyNotifySink), {}};
        return QISearch(this, table, riid, object);
    }

    STDMETHODIMP OnChanged(DISPID id) override
    {
        if (id == tessaly::kDispidEnabled && !m_host.m_settingEnabled && m_host.m_handlers.switchedOff)
            m_host.m_handlers.switchedOff();
        return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }

private:
    const MonitorHost& m_host;
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
    m_events = MakeCom<Events>(m_handlers, false);
    m_newWindow3Events = MakeCom<Events>(m_handlers, true);
    RETURN_IF_NULL_ALLOC(m_site && m_events && m_newWindow3Events);
    RETURN_IF_FAILED(m_control.As(&m_dispatch));
    // The control asks for its site first (OLEMISC_SETCLIENTSITEFIRST).
    m_control->SetClientSite(m_site.Get());
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(m_control.As(&persist)))
        persist->InitNew();

    RETURN_IF_FAILED(m_subscription.Connect(m_control.Get(), tessaly::kDiidIEEventsEvents, m_events.Get()));
    // A control of an earlier build has no second event set: its pop-ups are then judged by
    // their windows' addresses.
    m_newWindow3Subscription.Connect(m_control.Get(), tessaly::kDiidNewWindow3Events, m_newWindow3Events.Get());
    // The control switching itself off, as the shell's window list went with the shell's
    // process, is told as a change of Enabled.
    m_notices = MakeCom<PropertyNotices>(*this);
    RETURN_IF_NULL_ALLOC(m_notices);
    ComPtr<IConnectionPointContainer> points;
    if (SUCCEEDED(m_control.As(&points)) &&
        SUCCEEDED(points->FindConnectionPoint(IID_IPropertyNotifySink, &m_noticePoint)) &&
        FAILED(m_noticePoint->Advise(m_notices.Get(), &m_noticeCookie)))
        m_noticePoint.Reset();

    const RECT place = m_site->Place();
    m_control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site.Get(), 0, parent, &place);
    return S_OK;
}

HRESULT MonitorHost::SetEnabled(bool on)
{
    if (!m_dispatch)
        return E_UNEXPECTED;
    // The control tells of this change too: no news to the main window.
    const bool outer = std::exchange(m_settingEnabled, true);
    const HRESULT hr = PutProperty(m_dispatch.Get(), tessaly::kDispidEnabled,
                                   ByVal<VARIANT_BOOL>(on ? VARIANT_TRUE : VARIANT_FALSE));
    m_settingEnabled = outer;
    return hr;
}

void MonitorHost::Destroy()
{
    m_subscription.Disconnect();
    m_newWindow3Subscription.Disconnect();
    if (const ComPtr<IConnectionPoint> point = std::move(m_noticePoint))
        point->Unadvise(m_noticeCookie);
    if (m_control) {
        m_control->Close(OLECLOSE_NOSAVE);
        m_control->SetClientSite(nullptr);
    }
    m_dispatch.Reset();
    m_control.Reset();
    m_events.Reset();
    m_newWindow3Events.Reset();
    m_notices.Reset();
    m_site.Reset();
}

}  // namespace quellix
