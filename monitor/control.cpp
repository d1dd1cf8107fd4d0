// IEEvents: creation, monitoring (Enabled, Refresh, Browsers and the event relay), class
// information and connection points. The OLE contract is in oleobject.cpp, persistence in
// persist.cpp, the banner the control shows in view.cpp.
#include "monitor/control.h"

#include <shlwapi.h>

#include "base/enumerator.h"
#include "base/utf.h"
#include "monitor/banner_math.h"
#include "monitor/version.h"

namespace tessaly {

using quellix::ComPtr;

namespace {

void CopyPoint(IConnectionPoint* const& point, IConnectionPoint** out)
{
    *out = point;
    point->AddRef();
}

// The connection points the control offers; the control keeps them alive.
using PointEnumerator =
    quellix::ArrayEnumerator<IEnumConnectionPoints, IConnectionPoint*, IConnectionPoint*, CopyPoint>;

}  // namespace

IEEvents::IEEvents()
    : m_events(this, kDiidIEEventsEvents), m_newWindow3Events(this, kDiidNewWindow3Events),
      m_propertyNotify(this, IID_IPropertyNotifySink),
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
    COM_TRY_BEGIN
    ComPtr<IEEvents> control = quellix::MakeCom<IEEvents>();
    RETURN_IF_NULL_ALLOC(control);
    RETURN_IF_FAILED(control->Initialize());
    return control->QueryInterface(riid, object);
    COM_TRY_END
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
    // The control holds the tracker before it subscribes: a window announced meanwhile finds
    // the control on, and a handler that switches it off, or off and on, is obeyed.
    const ComPtr<cBrowserEvents> tracker = quellix::MakeCom<cBrowserEvents>(static_cast<TrackerEvents*>(this));
    RETURN_IF_NULL_ALLOC(tracker);
    oBrowserEvents = tracker;
    HRESULT hr = tracker->Subscribe();
    if (FAILED(hr)) {
        if (oBrowserEvents == tracker)
            oBrowserEvents.Reset();
        tracker->Detach();
    } else if (oBrowserEvents == tracker) {
        tracker->SetBrowsers(m_oBrowsers.Get());
        hr = tracker->RebuildBrowsers();
    }
    // Switched off and on meanwhile, by a handler or by a message let in while a call into
    // the shell was under way (the shell announcing its restart): the newer tracker stands,
    // whatever became of this one, and the control is on.
    return oBrowserEvents && oBrowserEvents != tracker ? S_OK : hr;
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

void IEEvents::RaiseNewWindow3(DISPPARAMS* params)
{
    const ComPtr<IEEvents> self(this);
    m_newWindow3Events.Fire(kDispidNewWindow3, params);
}

void IEEvents::ListGone()
{
    const ComPtr<IEEvents> self(this);
    ReleaseTracker();
    m_propertyNotify.NotifyChanged(kDispidEnabled);
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
    COM_TRY_BEGIN
    if (value && !oBrowserEvents)
        hr = StartTracker();
    else if (!value)
        ReleaseTracker();
    COM_TRY_END
    m_propertyNotify.NotifyChanged(kDispidEnabled);
    return hr;
}

STDMETHODIMP IEEvents::Refresh()
{
    ReleaseTracker();
    COM_TRY_BEGIN
    return StartTracker();
    COM_TRY_END
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
    COM_TRY_BEGIN
    const auto items = std::make_shared<const PointEnumerator::Items>(
        PointEnumerator::Items{&m_events, &m_newWindow3Events, &m_propertyNotify});
    *points = quellix::MakeCom<PointEnumerator>(items, ComPtr<IUnknown>(static_cast<_IEEvents*>(this))).Detach();
    return *points ? S_OK : E_OUTOFMEMORY;
    COM_TRY_END
}

STDMETHODIMP IEEvents::FindConnectionPoint(REFIID riid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (riid == m_events.Iid())
        *point = &m_events;
    else if (riid == m_newWindow3Events.Iid())
        *point = &m_newWindow3Events;
    else if (riid == m_propertyNotify.Iid())
        *point = &m_propertyNotify;
    else
        return CONNECT_E_NOCONNECTION;
    (*point)->AddRef();
    return S_OK;
}

}  // namespace tessaly
