// cBrowser, the event sink of one browser window, and IBrowser, the callback interface
// through which a sink reports to its owner.
//
// A browser is held as the IDispatch the shell's list gives (it is an IWebBrowser2): for
// one in another process, a proxy of that big interface would cost more than the rest of
// the sink together.
//
// The browser's own events do not say which browser raised them. A sink adds that: for
// each of the thirteen events it forwards (the twelve of the control's event set, and
// NewWindow3), it first names its browser (SetBrowserInst), then
// passes the event on with the browser's own storage for every by-reference parameter, so
// that what the owner writes there is what the browser finds when its call returns.
#pragma once

#include <exdisp.h>

#include "base/event_subscription.h"

namespace tessaly {

struct IBrowser : IUnknown {
    virtual HRESULT SetBrowserInst(IDispatch** Browser) = 0;
    virtual HRESULT BeforeNavigate2(IDispatch* pDisp, VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                    VARIANT* PostData, VARIANT* Headers, VARIANT_BOOL* Cancel) = 0;
    virtual HRESULT DocumentComplete(IDispatch* pDisp, VARIANT* URL) = 0;
    virtual HRESULT DownLoadBegin() = 0;
    virtual HRESULT DownLoadComplete() = 0;
    virtual HRESULT FileDownload(VARIANT_BOOL* Cancel) = 0;
    virtual HRESULT NavigateComplete2(IDispatch* pDisp, VARIANT* URL) = 0;
    virtual HRESULT NavigateError(IDispatch* pDisp, VARIANT* URL, VARIANT* Frame, VARIANT* StatusCode,
                                  VARIANT_BOOL* Cancel) = 0;
    virtual HRESULT NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* Cancel) = 0;
    virtual HRESULT OnFullScreen(VARIANT_BOOL FullScreen) = 0;
    virtual HRESULT ProgressChange(LONG Progress, LONG ProgressMax) = 0;
    virtual HRESULT TitleChange(BSTR Text) = 0;
    virtual HRESULT WindowClosing(VARIANT_BOOL IsChildWindow, VARIANT_BOOL* Cancel) = 0;
    virtual HRESULT NewWindow3(IDispatch** ppDisp, VARIANT_BOOL* Cancel, DWORD dwFlags, BSTR bstrUrlContext,
                               BSTR bstrUrl) = 0;
};

class cBrowser final : public quellix::ComObject<quellix::IEventHandler> {
public:
    static quellix::ComPtr<cBrowser> Create() { return quellix::MakeCom<cBrowser>(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

    // Set before Browser: events can arrive as soon as the browser is set.
    void SetInterFace(IBrowser* owner) { m_interFace = owner; }
    // Ends the subscription to the previous browser, if any, and subscribes to this one.
    HRESULT SetBrowser(IDispatch* browser);
    IDispatch* Browser() const { return m_browser.Get(); }

    HRESULT OnEvent(DISPID id, DISPPARAMS* params) override;

private:
    quellix::ComPtr<IBrowser> m_interFace;
    quellix::ComPtr<IDispatch> m_browser;
    quellix::EventSubscription m_events;
};

}  // namespace tessaly
