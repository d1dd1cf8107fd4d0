// A stand-in for one browser window: the browser object that the shell's window list hands
// out, with the properties the product reads and the events it subscribes to.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include <string>

#include "base/com.h"
#include "base/unique_handle.h"
#include "tests/sim/connection_point.h"
#include "tests/sim/typelib_dispatch.h"

namespace quellix::sim {

class ShellWindows;

// What the subscribers left in an event's by-reference arguments, and the last failure
// of their Invoke (S_OK when none failed).
struct CancelResult {
    HRESULT hr;
    VARIANT_BOOL cancel;
};
struct BeforeNavigateResult {
    HRESULT hr;
    VARIANT_BOOL cancel;
    std::wstring url;
};
struct NewWindowResult {
    HRESULT hr;
    ComPtr<IDispatch> ppDisp;
    VARIANT_BOOL cancel;
};

// What the browser's IProvideClassInfo says of its class: the browser's own (its default
// event set has NewWindow3), that of the first browser control (its default event set is the
// old DWebBrowserEvents, without it), or nothing at all.
enum class ClassInfo { kNone, kWithNewWindow3, kWithoutNewWindow3 };

class Browser final : public ComObject<TypeLibDispatched<IWebBrowser2, IID_IWebBrowser2>, IConnectionPointContainer,
                                       IProvideClassInfo> {
public:
    // `list` is the shell list that Quit revokes the browser from (may be null); `hwnd` is
    // what get_HWND reports.
    Browser(ComPtr<ShellWindows> list, std::wstring url, HWND hwnd);
    // A browser that owns a real window, reports it and destroys it on Quit.
    Browser(ComPtr<ShellWindows> list, std::wstring url, UniqueHwnd window);
    ~Browser() override;

    const std::wstring& Url() const { return m_url; }
    HWND Hwnd() const { return m_hwnd; }
    bool Quitted() const { return m_quitted; }
    // Every get_HWND call, failed ones included.
    long HwndReads() const { return m_hwndReads; }
    void ResetCounters() { m_hwndReads = 0; }
    void SetClassInfo(ClassInfo info) { m_classInfo = info; }
    long Subscribers() const { return m_events.Subscribers(); }
    // The browser's process is gone: its methods and connection point answer
    // RPC_E_DISCONNECTED from now on, as a proxy to a dead object does.
    void Vanish();

    // DWebBrowserEvents2, with the argument layout of the real browser. A null pDisp
    // stands for this browser (the top-level frame).
    BeforeNavigateResult FireBeforeNavigate2(IDispatch* pDisp, const std::wstring& url,
                                             VARIANT_BOOL cancel = VARIANT_FALSE);
    NewWindowResult FireNewWindow2(IDispatch* ppDisp = nullptr, VARIANT_BOOL cancel = VARIANT_FALSE);
    // NewWindow3: the browser's NWMF flags, the asking page's address and the new window's.
    NewWindowResult FireNewWindow3(DWORD flags, const std::wstring& urlContext, const std::wstring& url,
                                   IDispatch* ppDisp = nullptr, VARIANT_BOOL cancel = VARIANT_FALSE);
    HRESULT FireNavigateComplete2(IDispatch* pDisp, const std::wstring& url);
    HRESULT FireDocumentComplete(IDispatch* pDisp, const std::wstring& url);
    HRESULT FireDownloadBegin();
    HRESULT FireDownloadComplete();
    CancelResult FireFileDownload(VARIANT_BOOL cancel = VARIANT_FALSE, VARIANT_BOOL activeDocument = VARIANT_FALSE);
    CancelResult FireNavigateError(IDispatch* pDisp, const std::wstring& url, const std::wstring& frame,
                                   long statusCode, VARIANT_BOOL cancel = VARIANT_FALSE);
    HRESULT FireOnFullScreen(VARIANT_BOOL fullScreen);
    HRESULT FireProgressChange(long progress, long progressMax);
    HRESULT FireTitleChange(const std::wstring& text);
    CancelResult FireWindowClosing(VARIANT_BOOL isChildWindow, VARIANT_BOOL cancel = VARIANT_FALSE);
    // Goes to `url` on its own, as a new window does for its first address: BeforeNavigate2
    // (which a subscriber may cancel), the address changes, NavigateComplete2 and
    // DocumentComplete. False when cancelled or closed on the way.
    bool Load(const std::wstring& url);
    // Any event, with the arguments as given (last first).
    HRESULT Fire(DISPID id, VARIANT* arguments, UINT count);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

    // IWebBrowser
    STDMETHODIMP GoBack() override { return E_NOTIMPL; }
    STDMETHODIMP GoForward() override { return E_NOTIMPL; }
    STDMETHODIMP GoHome() override { return E_NOTIMPL; }
    STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
    STDMETHODIMP Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh2(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP get_Application(IDispatch** application) override;
    STDMETHODIMP get_Parent(IDispatch** parent) override;
    STDMETHODIMP get_Container(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Document(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* value) override;
    STDMETHODIMP get_Type(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Left(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Left(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Top(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Top(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Width(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Width(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Height(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Height(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_LocationName(BSTR* name) override;
    STDMETHODIMP get_LocationURL(BSTR* url) override;
    STDMETHODIMP get_Busy(VARIANT_BOOL* value) override;

    // IWebBrowserApp
    STDMETHODIMP Quit() override;
    STDMETHODIMP ClientToWindow(int*, int*) override { return E_NOTIMPL; }
    STDMETHODIMP PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Name(BSTR* name) override;
    STDMETHODIMP get_HWND(SHANDLE_PTR* hwnd) override;
    STDMETHODIMP get_FullName(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Path(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Visible(VARIANT_BOOL* value) override;
    STDMETHODIMP put_Visible(VARIANT_BOOL value) override;
    STDMETHODIMP get_StatusBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusText(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusText(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_ToolBar(int*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ToolBar(int) override { return E_NOTIMPL; }
    STDMETHODIMP get_MenuBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_MenuBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullScreen(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_FullScreen(VARIANT_BOOL) override { return E_NOTIMPL; }

    // IWebBrowser2
    STDMETHODIMP Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
    STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
    STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_ReadyState(READYSTATE* state) override;
    STDMETHODIMP get_Offline(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Offline(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_Silent(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Silent(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_TheaterMode(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_TheaterMode(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_AddressBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_AddressBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_Resizable(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Resizable(VARIANT_BOOL) override { return E_NOTIMPL; }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // IProvideClassInfo
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;

private:
    HRESULT Alive() const { return m_vanished ? RPC_E_DISCONNECTED : S_OK; }
    // Counts a call from outside with the shell's process.
    void Note(Call call);
    IDispatch* Frame(IDispatch* pDisp) { return pDisp ? pDisp : static_cast<IWebBrowser2*>(this); }

    ComPtr<ShellWindows> m_list;
    std::wstring m_url;
    std::wstring m_title;
    HWND m_hwnd;
    UniqueHwnd m_window;
    bool m_visible = true;
    bool m_quitted = false;
    bool m_vanished = false;
    long m_hwndReads = 0;
    ClassInfo m_classInfo = ClassInfo::kNone;
    ConnectionPoint m_events{*this, DIID_DWebBrowserEvents2};
};

}  // namespace quellix::sim
