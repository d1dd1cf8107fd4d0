// IEEvents, the control that hosts place on a form to watch every browser window. While
// Enabled it owns a tracker and re-raises the tracker's fourteen events, unchanged, to the
// host, and NewWindow3 through a second event set; it owns the browser list for its whole
// life; and it shows a small banner. When the shell's process ends, its list goes with it:
// the control switches itself off as soon as it learns so (Enabled reads False, and the
// container hears of the change), and a host switches it on again for the new shell's list.
#pragma once

#include <ocidl.h>
#include <olectl.h>

#include "base/unique_handle.h"
#include "monitor/banner.h"
#include "monitor/browsers.h"
#include "monitor/events.h"
#include "monitor/tracker.h"

namespace tessaly {

// The control's fixed size in HIMETRIC (1/100 mm).
SIZEL ControlExtentHimetric();

class IEEvents final
    : public quellix::ComObject<DualDispatch<_IEEvents>, IProvideClassInfo2, IConnectionPointContainer, IOleObject,
                                IOleInPlaceObject, IOleControl, IViewObject2, IPersistStreamInit, IPersistPropertyBag>,
      private TrackerEvents {
public:
    static HRESULT Create(REFIID riid, void** object);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

    // _IEEvents
    STDMETHODIMP get_Enabled(VARIANT_BOOL* result) override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP put_Enabled(VARIANT_BOOL value) override;
    STDMETHODIMP get_Browsers(_cBrowsers** result) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advises) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return INPLACE_E_NOTUNDOABLE; }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // IViewObject, IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override;
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override { return E_NOTIMPL; }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override;

    // IPersist, IPersistStreamInit, IPersistPropertyBag
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM stream) override;
    STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override { return S_OK; }
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    IEEvents();
    ~IEEvents() override;

private:
    HRESULT Initialize();
    void RaiseEvent(EventId id, DISPPARAMS* params) override;
    void RaiseNewWindow3(DISPPARAMS* params) override;
    void ListGone() override;
    // Creates and attaches a tracker; `oBrowserEvents` is set before it is filled, so that
    // a failure while filling leaves it in place (and Enabled reading True), unless the
    // list has gone.
    HRESULT StartTracker();
    void ReleaseTracker();
    HRESULT InPlaceActivate(IOleClientSite* site, LPCRECT position);
    static HRESULT WindowPlace(IOleInPlaceSite* site, LPCRECT position, HWND* parent, RECT* place);
    HRESULT CreateBannerWindow(HWND parent, const RECT& place);
    // The control's fixed size, in pixels at the screen's resolution.
    static SIZE PixelSize();
    void PaintWindow(HWND window);

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    quellix::ComPtr<cBrowserEvents> oBrowserEvents;
    quellix::ComPtr<cBrowsers> m_oBrowsers;
    ConnectionPoint m_events;
    ConnectionPoint m_newWindow3Events;
    ConnectionPoint m_propertyNotify;

    quellix::ComPtr<IOleClientSite> m_site;
    quellix::ComPtr<IOleAdviseHolder> m_adviseHolder;
    quellix::ComPtr<IAdviseSink> m_viewAdvise;
    DWORD m_viewAdviseAspects = 0;
    DWORD m_viewAdviseFlags = 0;
    quellix::ComPtr<IOleInPlaceSite> m_inPlaceSite;
    quellix::UniqueHwnd m_window;
    Banner m_banner;
};

}  // namespace tessaly
