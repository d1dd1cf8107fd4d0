#include "monitor/tracker.h"

#include <exdispid.h>
#include <olectl.h>

#include <algorithm>
#include <array>
#include <unordered_map>

#include "base/dispatch.h"
#include "base/unique_handle.h"

namespace tessaly {

using quellix::ByRef;
using quellix::ByVal;
using quellix::ComPtr;

namespace {

// The shell's list as it stands, in its order. Taken in large batches: the list lives in
// another process, and each batch is one call there, however many windows are open.
HRESULT ReadWindowList(IShellWindows* shell, std::vector<ComPtr<IDispatch>>* items)
{
    ComPtr<IUnknown> unknown;
    RETURN_IF_FAILED(shell->_NewEnum(&unknown));
    ComPtr<IEnumVARIANT> walk;
    RETURN_IF_FAILED(unknown.As(&walk));
    std::array<quellix::UniqueVariant, 256> batch;
    for (;;) {
        ULONG fetched = 0;
        const HRESULT hr = walk->Next(static_cast<ULONG>(batch.size()), batch.data(), &fetched);
        RETURN_IF_FAILED(hr);
        for (ULONG i = 0; i < fetched && i < batch.size(); ++i) {
            VARIANT& item = batch[i];
            ComPtr<IDispatch> window;
            if ((item.vt == VT_DISPATCH || item.vt == VT_UNKNOWN) && item.punkVal)
                item.punkVal->QueryInterface(IID_PPV_ARGS(&window));
            // Every window is taken; something that is no object at all has no events to watch.
            if (window)
                items->push_back(std::move(window));
            VariantClear(&item);
        }
        if (hr != S_OK || fetched < batch.size())
            return S_OK;
    }
}

// What a call into the shell's list answers once the shell's process has ended (the shell
// restarts with a new list of its own).
bool ServerGone(HRESULT hr)
{
    return hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
}

}  // namespace

HRESULT cBrowserEvents::Subscribe()
{
    return Do(Work::kSubscribe);
}

STDMETHODIMP cBrowserEvents::QueryInterface(REFIID riid, void** object)
{
    return quellix::QueryUnknownOnly(static_cast<IBrowser*>(this), riid, object);
}

HRESULT cBrowserEvents::RebuildBrowsers()
{
    return Do(Work::kWalk);
}

void cBrowserEvents::DropSinks()
{
    // Moved out first: releasing a sink ends its subscription, a call out during which an
    // event may come in, which must find the tracker as it will be.
    const std::vector<Sink> sinks = std::exchange(m_colSinks, {});
    m_keys.clear();
}

void cBrowserEvents::Detach()
{
    m_detached = true;
    m_owner = nullptr;
    m_queue.clear();
    m_shellEvents.Disconnect();
    m_oShell.Reset();
    DropSinks();
    m_oBrowsers.Reset();
}

HRESULT cBrowserEvents::OnEvent(DISPID id, DISPPARAMS*)
{
    switch (id) {
    case DISPID_WINDOWREGISTERED:
        return Do(Work::kRegistered);
    case DISPID_WINDOWREVOKED:
        return Do(Work::kRevoked);
    default:
        return S_OK;
    }
}

HRESULT cBrowserEvents::Do(Work work)
{
    // The owner may let go of this tracker in a handler of an event raised here.
    const ComPtr<cBrowserEvents> self(this);
    if (m_detached)
        return S_OK;
    m_queue.push_back(work);
    if (m_busy)
        return S_OK;  // done right after the work under way

    m_busy = true;
    HRESULT result = S_OK;
    for (bool first = true; !m_queue.empty() && !m_detached; first = false) {
        const Work next = m_queue.front();
        m_queue.pop_front();
        HRESULT hr = E_UNEXPECTED;
        try {
            hr = Run(next);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        } catch (...) {
        }
        if (first)
            result = hr;
        // A failed subscription is its caller's to report; a list that dies later has no
        // other way to be noticed, as it sends nothing more.
        if (next != Work::kSubscribe && ServerGone(hr) && m_owner)
            m_owner->ListGone();
    }
    m_busy = false;
    return result;
}

HRESULT cBrowserEvents::Run(Work work)
{
    if (work == Work::kSubscribe) {
        ComPtr<IShellWindows> shell;
        RETURN_IF_FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&shell)));
        // Creating the list in the shell's process may let a message in that switched the
        // control off: this tracker must then not subscribe.
        if (m_detached)
            return S_OK;
        m_oShell = shell;
        RETURN_IF_FAILED(m_shellEvents.Connect(shell.Get(), DIID_DShellWindowsEvents, this));
        return Walk(nullptr);
    }

    std::vector<ComPtr<IDispatch>> joined;
    bool done = false;
    HRESULT hr = work == Work::kRegistered ? AttachLast(&joined, &done) : S_OK;
    if (!done && !m_detached)
        hr = Walk(&joined);
    for (const ComPtr<IDispatch>& browser : joined) {
        if (!m_owner)
            break;
        // A copy: what the host assigns to it stays in its handler.
        ComPtr<IDispatch> copy = browser;
        VARIANTARG args[] = {ByRef(copy.GetAddressOf())};
        DISPPARAMS params{args, nullptr, 1, 0};
        m_owner->RaiseEvent(kBrowserCreated, &params);
    }
    if (work == Work::kRevoked && m_owner) {
        DISPPARAMS params{};
        m_owner->RaiseEvent(kBrowserDestroyed, &params);
    }
    return hr;
}

HRESULT cBrowserEvents::Attach(IDispatch* item, Sink* result)
{
    result->sink = cBrowser::Create();
    RETURN_IF_NULL_ALLOC(result->sink);
    result->sink->SetInterFace(this);
    RETURN_IF_FAILED(result->sink->SetBrowser(item));
    // IWebBrowserApp's HWND.
    quellix::UniqueVariant hwnd;
    RETURN_IF_FAILED(quellix::GetProperty(item, DISPID_HWND, &hwnd));
    RETURN_IF_FAILED(VariantChangeType(&hwnd, &hwnd, 0, VT_I4));
    const std::string stem = "_" + std::to_string(hwnd.lVal) + "_";
    result->key = stem;
    for (int suffix = 1; m_keys.count(result->key); ++suffix) {
        RETURN_HR_IF(DISP_E_OVERFLOW, suffix < 0);
        result->key = stem + std::to_string(suffix);
    }
    return S_OK;
}

HRESULT cBrowserEvents::Walk(std::vector<ComPtr<IDispatch>>* joined)
{
    if (!m_oShell)
        return S_OK;
    // Its own references: the tracker may be detached during any call out.
    const ComPtr<IShellWindows> shell = m_oShell;
    std::vector<ComPtr<IDispatch>> items;
    RETURN_IF_FAILED(ReadWindowList(shell.Get(), &items));
    if (m_detached)
        return S_OK;

    // What is tracked already, by identity (for a window of another process, its proxy,
    // which answers IUnknown without a call there).
    std::unordered_map<IUnknown*, std::size_t> tracked;
    for (std::size_t i = 0; i < m_colSinks.size(); ++i)
        tracked.emplace(m_colSinks[i].identity.Get(), i);
    std::vector<bool> kept(m_colSinks.size());

    std::vector<Sink> next;
    for (const ComPtr<IDispatch>& item : items) {
        ComPtr<IUnknown> identity;
        item.As(&identity);
        if (const auto found = tracked.find(identity.Get()); found != tracked.end()) {
            if (!kept[found->second]) {
                kept[found->second] = true;
                next.push_back(m_colSinks[found->second]);
            }
            continue;
        }
        Sink sink{identity, nullptr, {}};
        const HRESULT hr = Attach(item.Get(), &sink);
        if (m_detached)
            return S_OK;
        // A browser that closed while the walk reached it is passed over, whichever walk it
        // is: one closing window must not keep the monitor off.
        if (FAILED(hr))
            continue;
        m_keys.insert(sink.key);
        tracked.emplace(identity.Get(), kept.size());  // a second listing of it is passed over
        kept.push_back(true);
        if (joined)
            joined->emplace_back(sink.sink->Browser());
        next.push_back(std::move(sink));
    }

    for (std::size_t i = 0; i < m_colSinks.size(); ++i) {
        if (!kept[i])
            m_keys.erase(m_colSinks[i].key);
    }
    // Those that left are released last, after the tracker stands as it now is.
    const std::vector<Sink> gone = std::exchange(m_colSinks, std::move(next));
    Refill();
    return S_OK;
}

HRESULT cBrowserEvents::AttachLast(std::vector<ComPtr<IDispatch>>* joined, bool* done)
{
    *done = false;
    if (!m_oShell)
        return S_OK;
    // Two calls, and one window taken over from the shell's process, however many are open.
    const ComPtr<IShellWindows> shell = m_oShell;
    LONG count = 0;
    RETURN_IF_FAILED(shell->get_Count(&count));
    if (m_detached || count != static_cast<LONG>(m_colSinks.size()) + 1)
        return S_OK;
    VARIANT last;
    last.vt = VT_I4;
    last.lVal = count - 1;
    ComPtr<IDispatch> item;
    RETURN_IF_FAILED(shell->Item(last, &item));
    if (m_detached || !item)
        return S_OK;
    ComPtr<IUnknown> identity;
    item.As(&identity);
    for (const Sink& sink : m_colSinks) {
        if (sink.identity == identity)
            return S_OK;
    }
    Sink sink{identity, nullptr, {}};
    const HRESULT hr = Attach(item.Get(), &sink);
    if (m_detached || FAILED(hr))
        return S_OK;  // the walk that follows tries it again, or passes it over
    m_keys.insert(sink.key);
    joined->emplace_back(sink.sink->Browser());
    m_colSinks.push_back(std::move(sink));
    Refill();
    *done = true;
    return S_OK;
}

void cBrowserEvents::Refill()
{
    if (!m_oBrowsers)
        return;
    cBrowsers::Items items;
    items.reserve(m_colSinks.size());
    for (const Sink& sink : m_colSinks)
        items.emplace_back(sink.sink->Browser());
    m_oBrowsers->Replace(std::move(items));
}

HRESULT cBrowserEvents::Raise(bool newWindow3, DISPID id, VARIANTARG* args, UINT count)
{
    const ComPtr<cBrowserEvents> self(this);
    if (!m_owner)
        return S_OK;
    if (count > kMaxArguments)
        return E_INVALIDARG;
    // Browser goes first, so last in the array. A copy of its own for each event: one that
    // arrives while a handler runs names its own browser, not the outer handler's.
    ComPtr<IDispatch> browser = m_oCurBrowser;
    std::array<VARIANTARG, kMaxArguments + 1> all;
    std::copy(args, args + count, all.begin());
    all[count] = ByRef(browser.GetAddressOf());
    DISPPARAMS params{all.data(), nullptr, count + 1, 0};
    if (newWindow3)
        m_owner->RaiseNewWindow3(&params);
    else
        m_owner->RaiseEvent(static_cast<EventId>(id), &params);
    return S_OK;
}

HRESULT cBrowserEvents::SetBrowserInst(IDispatch** Browser)
{
    if (!Browser)
        return E_POINTER;
    m_oCurBrowser = *Browser;
    return S_OK;
}

HRESULT cBrowserEvents::BeforeNavigate2(IDispatch* pDisp, VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                        VARIANT* PostData, VARIANT* Headers, VARIANT_BOOL* Cancel)
{
    VARIANTARG args[] = {ByRef(Cancel), ByRef(Headers), ByRef(PostData), ByRef(TargetFrameName),
                         ByRef(Flags),  ByRef(URL),     ByVal(pDisp)};
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

HRESULT cBrowserEvents::NewWindow3(IDispatch** ppDisp, VARIANT_BOOL* Cancel, DWORD dwFlags, BSTR bstrUrlContext,
                                   BSTR bstrUrl)
{
    VARIANTARG args[] = {ByVal(bstrUrl), ByVal(bstrUrlContext), ByVal(static_cast<LONG>(dwFlags)), ByRef(Cancel),
                         ByRef(ppDisp)};
    return Raise(true, kDispidNewWindow3, args, 5);
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
