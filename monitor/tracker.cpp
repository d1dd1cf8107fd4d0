#include "monitor/tracker.h"

#include <exdispid.h>
#include <shlwapi.h>

#include <algorithm>

#include "base/unique_handle.h"

namespace tessaly {

using quellix::ComPtr;

namespace {

VARIANTARG ByRef(IDispatch** value)
{
    VARIANTARG arg;
    arg.vt = VT_BYREF | VT_DISPATCH;
    arg.ppdispVal = value;
    return arg;
}

VARIANTARG ByRef(VARIANT* value)
{
    VARIANTARG arg;
    arg.vt = VT_BYREF | VT_VARIANT;
    arg.pvarVal = value;
    return arg;
}

VARIANTARG ByRef(VARIANT_BOOL* value)
{
    VARIANTARG arg;
    arg.vt = VT_BYREF | VT_BOOL;
    arg.pboolVal = value;
    return arg;
}

VARIANTARG ByVal(IDispatch* value)
{
    VARIANTARG arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = value;
    return arg;
}

VARIANTARG ByVal(VARIANT_BOOL value)
{
    VARIANTARG arg;
    arg.vt = VT_BOOL;
    arg.boolVal = value;
    return arg;
}

VARIANTARG ByVal(LONG value)
{
    VARIANTARG arg;
    arg.vt = VT_I4;
    arg.lVal = value;
    return arg;
}

VARIANTARG ByVal(BSTR value)
{
    VARIANTARG arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = value;
    return arg;
}

HRESULT WindowHandle(IWebBrowser2* browser, LONG_PTR* hwnd)
{
    SHANDLE_PTR value = 0;
    RETURN_IF_FAILED(browser->get_HWND(&value));
    *hwnd = static_cast<LONG_PTR>(value);
    return S_OK;
}

// Walks the shell's window list, each item taken as a browser.
class WindowWalk {
public:
    HRESULT Start(IShellWindows* shell)
    {
        ComPtr<IUnknown> enumerator;
        RETURN_IF_FAILED(shell->_NewEnum(&enumerator));
        return enumerator.As(&m_items);
    }

    // S_FALSE at the end of the list.
    HRESULT Next(ComPtr<IWebBrowser2>* browser)
    {
        quellix::UniqueVariant item;
        ULONG fetched = 0;
        const HRESULT hr = m_items->Next(1, &item, &fetched);
        RETURN_IF_FAILED(hr);
        if (hr != S_OK || fetched == 0)
            return S_FALSE;
        if ((item.vt != VT_DISPATCH && item.vt != VT_UNKNOWN) || !item.punkVal)
            return E_NOINTERFACE;
        return item.punkVal->QueryInterface(IID_PPV_ARGS(browser->ReleaseAndGetAddressOf()));
    }

private:
    ComPtr<IEnumVARIANT> m_items;
};

}  // namespace

HRESULT cBrowserEvents::Create(TrackerEvents* owner, ComPtr<cBrowserEvents>* result)
{
    ComPtr<cBrowserEvents> tracker = quellix::MakeCom<cBrowserEvents>(owner);
    RETURN_IF_NULL_ALLOC(tracker);
    const HRESULT hr = tracker->RebuildBrowsers();
    if (FAILED(hr)) {
        tracker->Detach();
        return hr;
    }
    *result = std::move(tracker);
    return S_OK;
}

STDMETHODIMP cBrowserEvents::QueryInterface(REFIID riid, void** object)
{
    return quellix::QueryUnknownOnly(static_cast<IBrowser*>(this), riid, object);
}

void cBrowserEvents::DropSinks()
{
    // Moved out first: a sink's release may let an event in, which must find the list empty.
    std::vector<Sink> sinks = std::move(m_colSinks);
    m_colSinks.clear();
    m_keys.clear();
}

void cBrowserEvents::Detach()
{
    m_detached = true;
    m_owner = nullptr;
    m_shellEvents.Disconnect();
    m_oShell.Reset();
    DropSinks();
    m_oBrowsers.Reset();
}

HRESULT cBrowserEvents::RebuildBrowsers()
{
    // Rebuilds may be started from inside the shell list's own event handler and run
    // nested; the tracker stays alive until the outermost one returns.
    const ComPtr<cBrowserEvents> self(this);
    if (m_detached)
        return S_OK;
    const unsigned generation = ++m_generation;
    auto replaced = [&] { return generation != m_generation || m_detached; };

    m_shellEvents.Disconnect();
    m_oShell.Reset();
    DropSinks();

    COM_TRY_BEGIN
    ComPtr<IShellWindows> shell;
    RETURN_IF_FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&shell)));
    m_oShell = shell;
    RETURN_IF_FAILED(m_shellEvents.Connect(shell.Get(), DIID_DShellWindowsEvents, this));
    if (m_oBrowsers)
        m_oBrowsers->Clear();

    WindowWalk walk;
    RETURN_IF_FAILED(walk.Start(shell.Get()));
    ComPtr<IWebBrowser2> browser;
    for (HRESULT more; (more = walk.Next(&browser)) != S_FALSE;) {
        RETURN_IF_FAILED(more);
        ComPtr<cBrowser> sink = cBrowser::Create();
        RETURN_IF_NULL_ALLOC(sink);
        sink->SetInterFace(this);
        RETURN_IF_FAILED(sink->SetBrowser(browser.Get()));
        LONG_PTR hwnd = 0;
        RETURN_IF_FAILED(WindowHandle(browser.Get(), &hwnd));
        if (replaced())
            return S_OK;

        const std::string stem = "_" + std::to_string(hwnd) + "_";
        std::string key = stem;
        for (int suffix = 1; KeyExists(key); ++suffix) {
            RETURN_HR_IF(DISP_E_OVERFLOW, suffix < 0);
            key = stem + std::to_string(suffix);
        }
        m_keys.insert(std::move(key));
        m_colSinks.push_back({hwnd, std::move(sink)});
        if (m_oBrowsers)
            m_oBrowsers->Add(browser.Get());
    }
    return S_OK;
    COM_TRY_END
}

HRESULT cBrowserEvents::FindNewBrowser(ComPtr<IWebBrowser2>* result)
{
    result->Reset();
    if (!m_oShell)
        return S_OK;
    COM_TRY_BEGIN
    std::unordered_set<LONG_PTR> tracked;
    for (const Sink& sink : m_colSinks)
        tracked.insert(sink.hwnd);

    // Walks its own reference: the list may be replaced by a nested rebuild meanwhile.
    const ComPtr<IShellWindows> shell = m_oShell;
    WindowWalk walk;
    RETURN_IF_FAILED(walk.Start(shell.Get()));
    ComPtr<IWebBrowser2> browser;
    for (HRESULT more; (more = walk.Next(&browser)) != S_FALSE;) {
        RETURN_IF_FAILED(more);
        LONG_PTR hwnd = 0;
        RETURN_IF_FAILED(WindowHandle(browser.Get(), &hwnd));
        if (!tracked.count(hwnd)) {
            *result = std::move(browser);
            return S_OK;
        }
    }
    return S_OK;
    COM_TRY_END
}

HRESULT cBrowserEvents::OnEvent(DISPID id, DISPPARAMS*)
{
    switch (id) {
    case DISPID_WINDOWREGISTERED:
        return WindowRegistered();
    case DISPID_WINDOWREVOKED:
        return WindowRevoked();
    default:
        return S_OK;
    }
}

HRESULT cBrowserEvents::WindowRegistered()
{
    const ComPtr<cBrowserEvents> self(this);
    ComPtr<IWebBrowser2> fresh;
    RETURN_IF_FAILED(FindNewBrowser(&fresh));
    if (!fresh)
        return S_OK;
    RETURN_IF_FAILED(RebuildBrowsers());
    // A copy: what the host assigns to it stays in its handler.
    ComPtr<IDispatch> browser = fresh;
    VARIANTARG args[] = {ByRef(browser.GetAddressOf())};
    if (!m_owner)
        return S_OK;
    DISPPARAMS params{args, nullptr, 1, 0};
    m_owner->RaiseEvent(kBrowserCreated, &params);
    return S_OK;
}

HRESULT cBrowserEvents::WindowRevoked()
{
    const ComPtr<cBrowserEvents> self(this);
    RETURN_IF_FAILED(RebuildBrowsers());
    if (!m_owner)
        return S_OK;
    DISPPARAMS params{};
    m_owner->RaiseEvent(kBrowserDestroyed, &params);
    return S_OK;
}

HRESULT cBrowserEvents::Raise(EventId id, VARIANTARG* args, UINT count)
{
    const ComPtr<cBrowserEvents> self(this);
    if (!m_owner)
        return S_OK;
    // Browser goes first, so last in the array; it is this tracker's own field, which a
    // nested event replaces.
    VARIANTARG all[8];
    std::copy(args, args + count, all);
    all[count] = ByRef(m_oCurBrowser.GetAddressOf());
    DISPPARAMS params{all, nullptr, count + 1, 0};
    m_owner->RaiseEvent(id, &params);
    return S_OK;
}

HRESULT cBrowserEvents::SetBrowserInst(IWebBrowser2** Browser)
{
    if (!Browser)
        return E_POINTER;
    m_oCurBrowser = *Browser;
    return S_OK;
}

HRESULT cBrowserEvents::BeforeNavigate2(IDispatch* pDisp, VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                        VARIANT* PostData, VARIANT* Headers, VARIANT_BOOL* Cancel)
{
    VARIANTARG args[] = {ByRef(Cancel),   ByRef(Headers), ByRef(PostData), ByRef(TargetFrameName),
                         ByRef(Flags),    ByRef(URL),     ByVal(pDisp)};
    return Raise(kBrowserNavigating, args, 7);
}

HRESULT cBrowserEvents::DocumentComplete(IDispatch* pDisp, VARIANT* URL)
{
    ComPtr<IDispatch> frame(pDisp);  // a copy: an assignment stays in the handler
    VARIANTARG args[] = {ByRef(URL), ByRef(frame.GetAddressOf())};
    return Raise(kDocumentComplete, args, 2);
}

HRESULT cBrowserEvents::DownLoadBegin()
{
    return Raise(kDownLoadBegin, nullptr, 0);
}

HRESULT cBrowserEvents::DownLoadComplete()
{
    return Raise(kDownLoadComplete, nullptr, 0);
}

HRESULT cBrowserEvents::FileDownload(VARIANT_BOOL* Cancel)
{
    VARIANTARG args[] = {ByRef(Cancel)};
    return Raise(kFileDownload, args, 1);
}

HRESULT cBrowserEvents::NavigateComplete2(IDispatch* pDisp, VARIANT* URL)
{
    VARIANTARG args[] = {ByRef(URL), ByVal(pDisp)};
    return Raise(kNavigateComplete, args, 2);
}

HRESULT cBrowserEvents::NavigateError(IDispatch* pDisp, VARIANT* URL, VARIANT* Frame, VARIANT* StatusCode,
                                      VARIANT_BOOL* Cancel)
{
    VARIANTARG args[] = {ByRef(Cancel), ByRef(StatusCode), ByRef(Frame), ByRef(URL), ByVal(pDisp)};
    return Raise(kNavigateError, args, 5);
}

HRESULT cBrowserEvents::NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* Cancel)
{
    VARIANTARG args[] = {ByRef(Cancel), ByRef(ppDisp)};
    return Raise(kNewWindow, args, 2);
}

HRESULT cBrowserEvents::OnFullScreen(VARIANT_BOOL FullScreen)
{
    VARIANTARG args[] = {ByVal(FullScreen)};
    return Raise(kOnFullScreen, args, 1);
}

HRESULT cBrowserEvents::ProgressChange(LONG Progress, LONG ProgressMax)
{
    VARIANTARG args[] = {ByVal(ProgressMax), ByVal(Progress)};
    return Raise(kProgressChange, args, 2);
}

HRESULT cBrowserEvents::TitleChange(BSTR Text)
{
    VARIANTARG args[] = {ByVal(Text)};
    return Raise(kTitleChange, args, 1);
}

HRESULT cBrowserEvents::WindowClosing(VARIANT_BOOL IsChildWindow, VARIANT_BOOL* Cancel)
{
    VARIANTARG args[] = {ByRef(Cancel), ByVal(IsChildWindow)};
    return Raise(kWindowClosing, args, 2);
}

}  // namespace tessaly
