#include "tests/sim/browser.h"

#include <exdispid.h>
#include <olectl.h>
#include <shlwapi.h>

#include <utility>

#include "tests/sim/shell_windows.h"

namespace quellix::sim {
namespace {

// The argument kinds of DWebBrowserEvents2. By-reference arguments point at storage that
// the firing function owns, which is where subscribers leave their answers.
VARIANT Ref(VARIANT& value)
{
    VARIANT argument;
    V_VT(&argument) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&argument) = &value;
    return argument;
}

VARIANT Ref(VARIANT_BOOL& value)
{
    VARIANT argument;
    V_VT(&argument) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&argument) = &value;
    return argument;
}

VARIANT Ref(IDispatch** value)
{
    VARIANT argument;
    V_VT(&argument) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&argument) = value;
    return argument;
}

VARIANT Dispatch(IDispatch* value)
{
    VARIANT argument;
    V_VT(&argument) = VT_DISPATCH;
    V_DISPATCH(&argument) = value;
    return argument;
}

VARIANT Bool(VARIANT_BOOL value)
{
    VARIANT argument;
    V_VT(&argument) = VT_BOOL;
    V_BOOL(&argument) = value;
    return argument;
}

VARIANT Long(long value)
{
    VARIANT argument;
    V_VT(&argument) = VT_I4;
    V_I4(&argument) = value;
    return argument;
}

// The real browser passes a null string, not an empty one, where it has nothing to say
// (the frame name of a top-level navigation, absent headers).
void SetString(UniqueVariant& variant, const std::wstring& text)
{
    V_VT(variant.put()) = VT_BSTR;
    V_BSTR(&variant) = text.empty() ? nullptr : SysAllocString(text.c_str());
}

std::wstring StringOf(const VARIANT& variant)
{
    return V_VT(&variant) == VT_BSTR && V_BSTR(&variant) ? V_BSTR(&variant) : L"";
}

HRESULT CopyString(const std::wstring& text, BSTR* out)
{
    RETURN_HR_IF(E_POINTER, !out);
    *out = SysAllocString(text.c_str());
    RETURN_IF_NULL_ALLOC(*out);
    return S_OK;
}

HRESULT CopyBool(bool value, VARIANT_BOOL* out)
{
    RETURN_HR_IF(E_POINTER, !out);
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

}  // namespace

Browser::Browser(ComPtr<ShellWindows> list, std::wstring url, HWND hwnd)
    : m_list(std::move(list)), m_url(std::move(url)), m_title(m_url), m_hwnd(hwnd)
{
    if (m_list)
        m_events.Watch(&m_list->Calls());
}

void Browser::Note(Call call)
{
    if (m_list)
        m_list->Calls().Note(call);
}

Browser::Browser(ComPtr<ShellWindows> list, std::wstring url, UniqueHwnd window)
    : Browser(std::move(list), std::move(url), window.get())
{
    m_window = std::move(window);
}

Browser::~Browser() = default;

void Browser::Vanish()
{
    m_vanished = true;
    m_events.Disconnect();
}

HRESULT Browser::Fire(DISPID id, VARIANT* arguments, UINT count)
{
    DISPPARAMS params{arguments, nullptr, count, 0};
    return m_events.Fire(id, params);
}

// Arguments are listed as they lie in rgvarg: the last parameter of the event first.

BeforeNavigateResult Browser::FireBeforeNavigate2(IDispatch* pDisp, const std::wstring& url, VARIANT_BOOL cancel)
{
    UniqueVariant address, flags, frameName, postData, noPostData, headers;
    SetString(address, url);
    V_VT(&flags) = VT_I4;
    V_I4(&flags) = 0;
    SetString(frameName, L"");
    // PostData reaches subscribers through two references, as the real browser sends it.
    *postData.put() = Ref(noPostData);
    SetString(headers, L"");
    VARIANT arguments[] = {Ref(cancel), Ref(headers), Ref(postData),         Ref(frameName),
                           Ref(flags),  Ref(address), Dispatch(Frame(pDisp))};
    const HRESULT hr = Fire(DISPID_BEFORENAVIGATE2, arguments, ARRAYSIZE(arguments));
    return {hr, cancel, StringOf(address)};
}

NewWindowResult Browser::FireNewWindow2(IDispatch* ppDisp, VARIANT_BOOL cancel)
{
    ComPtr<IDispatch> created(ppDisp);
    VARIANT arguments[] = {Ref(cancel), Ref(created.GetAddressOf())};
    const HRESULT hr = Fire(DISPID_NEWWINDOW2, arguments, ARRAYSIZE(arguments));
    return {hr, std::move(created), cancel};
}

NewWindowResult Browser::FireNewWindow3(DWORD flags, const std::wstring& urlContext, const std::wstring& url,
                                        IDispatch* ppDisp, VARIANT_BOOL cancel)
{
    ComPtr<IDispatch> created(ppDisp);
    UniqueVariant context, address;
    SetString(context, urlContext);
    SetString(address, url);
    VARIANT arguments[] = {address, context, Long(static_cast<long>(flags)), Ref(cancel), Ref(created.GetAddressOf())};
    const HRESULT hr = Fire(DISPID_NEWWINDOW3, arguments, ARRAYSIZE(arguments));
    return {hr, std::move(created), cancel};
}

bool Browser::Load(const std::wstring& url)
{
    const ComPtr<Browser> self(this);
    if (FireBeforeNavigate2(nullptr, url).cancel || m_quitted)
        return false;
    m_url = url;
    m_title = url;
    if (m_window)
        SetWindowTextW(m_window.get(), url.c_str());
    FireNavigateComplete2(nullptr, url);
    if (m_quitted)
        return false;
    FireDocumentComplete(nullptr, url);
    return !m_quitted;
}

HRESULT Browser::FireNavigateComplete2(IDispatch* pDisp, const std::wstring& url)
{
    UniqueVariant address;
    SetString(address, url);
    VARIANT arguments[] = {Ref(address), Dispatch(Frame(pDisp))};
    return Fire(DISPID_NAVIGATECOMPLETE2, arguments, ARRAYSIZE(arguments));
}

HRESULT Browser::FireDocumentComplete(IDispatch* pDisp, const std::wstring& url)
{
    UniqueVariant address;
    SetString(address, url);
    VARIANT arguments[] = {Ref(address), Dispatch(Frame(pDisp))};
    return Fire(DISPID_DOCUMENTCOMPLETE, arguments, ARRAYSIZE(arguments));
}

HRESULT Browser::FireDownloadBegin()
{
    return Fire(DISPID_DOWNLOADBEGIN, nullptr, 0);
}

HRESULT Browser::FireDownloadComplete()
{
    return Fire(DISPID_DOWNLOADCOMPLETE, nullptr, 0);
}

CancelResult Browser::FireFileDownload(VARIANT_BOOL cancel, VARIANT_BOOL activeDocument)
{
    VARIANT arguments[] = {Ref(cancel), Bool(activeDocument)};
    const HRESULT hr = Fire(DISPID_FILEDOWNLOAD, arguments, ARRAYSIZE(arguments));
    return {hr, cancel};
}

CancelResult Browser::FireNavigateError(IDispatch* pDisp, const std::wstring& url, const std::wstring& frame,
                                        long statusCode, VARIANT_BOOL cancel)
{
    UniqueVariant address, frameName, status;
    SetString(address, url);
    SetString(frameName, frame);
    V_VT(&status) = VT_I4;
    V_I4(&status) = statusCode;
    VARIANT arguments[] = {Ref(cancel), Ref(status), Ref(frameName), Ref(address), Dispatch(Frame(pDisp))};
    const HRESULT hr = Fire(DISPID_NAVIGATEERROR, arguments, ARRAYSIZE(arguments));
    return {hr, cancel};
}

HRESULT Browser::FireOnFullScreen(VARIANT_BOOL fullScreen)
{
    VARIANT arguments[] = {Bool(fullScreen)};
    return Fire(DISPID_ONFULLSCREEN, arguments, ARRAYSIZE(arguments));
}

HRESULT Browser::FireProgressChange(long progress, long progressMax)
{
    VARIANT arguments[] = {Long(progressMax), Long(progress)};
    return Fire(DISPID_PROGRESSCHANGE, arguments, ARRAYSIZE(arguments));
}

HRESULT Browser::FireTitleChange(const std::wstring& text)
{
    m_title = text;
    UniqueVariant title;
    SetString(title, text);
    return Fire(DISPID_TITLECHANGE, &title, 1);
}

CancelResult Browser::FireWindowClosing(VARIANT_BOOL isChildWindow, VARIANT_BOOL cancel)
{
    VARIANT arguments[] = {Ref(cancel), Bool(isChildWindow)};
    const HRESULT hr = Fire(DISPID_WINDOWCLOSING, arguments, ARRAYSIZE(arguments));
    return {hr, cancel};
}

STDMETHODIMP Browser::QueryInterface(REFIID riid, void** object)
{
    static const QITAB interfaces[] = {
        QITABENT(Browser, IWebBrowser2),
        QITABENTMULTI(Browser, IWebBrowserApp, IWebBrowser2),
        QITABENTMULTI(Browser, IWebBrowser, IWebBrowser2),
        QITABENTMULTI(Browser, IDispatch, IWebBrowser2),
        QITABENT(Browser, IConnectionPointContainer),
        QITABENT(Browser, IProvideClassInfo),
        {},
    };
    if (riid == IID_IProvideClassInfo && m_classInfo == ClassInfo::kNone) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    return QISearch(this, interfaces, riid, object);
}

STDMETHODIMP Browser::GetClassInfo(ITypeInfo** info)
{
    RETURN_IF_FAILED(Alive());
    *info = nullptr;
    // The browser's type library (SHDocVw 1.1) has both classes.
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(LoadRegTypeLib(LIBID_SHDocVw, 1, 1, LOCALE_NEUTRAL, &library));
    return library->GetTypeInfoOfGuid(
        m_classInfo == ClassInfo::kWithNewWindow3 ? CLSID_InternetExplorer : CLSID_WebBrowser_V1, info);
}

STDMETHODIMP Browser::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*)
{
    RETURN_IF_FAILED(Alive());
    COM_TRY_BEGIN
    m_url = url ? url : L"";
    m_title = m_url;
    COM_TRY_END
    return S_OK;
}

STDMETHODIMP Browser::Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*)
{
    RETURN_IF_FAILED(Alive());
    RETURN_HR_IF(E_INVALIDARG, !url);
    // Scripts hand the address over by reference; VariantCopyInd takes that off.
    UniqueVariant address;
    RETURN_IF_FAILED(VariantCopyInd(address.put(), url));
    RETURN_IF_FAILED(VariantChangeType(&address, &address, 0, VT_BSTR));
    return Navigate(V_BSTR(&address), nullptr, nullptr, nullptr, nullptr);
}

STDMETHODIMP Browser::get_Application(IDispatch** application)
{
    RETURN_IF_FAILED(Alive());
    return CopyTo(ComPtr<IDispatch>(static_cast<IWebBrowser2*>(this)), application);
}

STDMETHODIMP Browser::get_Parent(IDispatch** parent)
{
    return get_Application(parent);
}

STDMETHODIMP Browser::get_TopLevelContainer(VARIANT_BOOL* value)
{
    RETURN_IF_FAILED(Alive());
    return CopyBool(true, value);
}

STDMETHODIMP Browser::get_LocationName(BSTR* name)
{
    RETURN_IF_FAILED(Alive());
    return CopyString(m_title, name);
}

STDMETHODIMP Browser::get_LocationURL(BSTR* url)
{
    Note(Call::kLocationUrl);
    RETURN_IF_FAILED(Alive());
    return CopyString(m_url, url);
}

STDMETHODIMP Browser::get_Busy(VARIANT_BOOL* value)
{
    RETURN_IF_FAILED(Alive());
    return CopyBool(false, value);
}

STDMETHODIMP Browser::Quit()
{
    Note(Call::kQuit);
    RETURN_IF_FAILED(Alive());
    m_quitted = true;
    m_window.reset();
    // The real shell revokes a closing window before Quit returns; the list's reference
    // to this browser goes with it, the caller's keeps it alive.
    if (m_list)
        m_list->Remove(*this);
    return S_OK;
}

STDMETHODIMP Browser::get_Name(BSTR* name)
{
    RETURN_IF_FAILED(Alive());
    return CopyString(L"Internet Explorer", name);
}

STDMETHODIMP Browser::get_HWND(SHANDLE_PTR* hwnd)
{
    Note(Call::kHwnd);
    ++m_hwndReads;
    RETURN_IF_FAILED(Alive());
    RETURN_HR_IF(E_POINTER, !hwnd);
    *hwnd = reinterpret_cast<SHANDLE_PTR>(m_hwnd);
    return S_OK;
}

STDMETHODIMP Browser::get_Visible(VARIANT_BOOL* value)
{
    RETURN_IF_FAILED(Alive());
    return CopyBool(m_window ? IsWindowVisible(m_window.get()) != FALSE : m_visible, value);
}

STDMETHODIMP Browser::put_Visible(VARIANT_BOOL value)
{
    RETURN_IF_FAILED(Alive());
    m_visible = value != VARIANT_FALSE;
    if (m_window)
        ShowWindow(m_window.get(), m_visible ? SW_SHOWNOACTIVATE : SW_HIDE);
    return S_OK;
}

STDMETHODIMP Browser::get_ReadyState(READYSTATE* state)
{
    RETURN_IF_FAILED(Alive());
    RETURN_HR_IF(E_POINTER, !state);
    *state = READYSTATE_COMPLETE;
    return S_OK;
}

STDMETHODIMP Browser::FindConnectionPoint(REFIID riid, IConnectionPoint** point)
{
    Note(Call::kFindConnectionPoint);
    RETURN_HR_IF(E_POINTER, !point);
    *point = nullptr;
    RETURN_IF_FAILED(Alive());
    RETURN_HR_IF(CONNECT_E_NOCONNECTION, riid != DIID_DWebBrowserEvents2);
    return CopyTo(ComPtr<IConnectionPoint>(&m_events), point);
}

}  // namespace quellix::sim
