// The public face of tessaly.ocx: identities, dispatch identifiers and the two dual
// interfaces, as its type library describes them. Hosts include this; so does the library.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace tessaly {

// {010324C7-33E5-4680-9C89-BFA48BF26881}
inline constexpr GUID kLibraryId = {0x010324C7, 0x33E5, 0x4680, {0x9C, 0x89, 0xBF, 0xA4, 0x8B, 0xF2, 0x68, 0x81}};
inline constexpr WORD kLibraryMajor = 7;
inline constexpr WORD kLibraryMinor = 0;

// The control.
inline constexpr GUID kClsidIEEvents = {0xFC63E66E, 0x7C55, 0x4B1C, {0xB8, 0xE7, 0x8F, 0x9C, 0xDC, 0x03, 0x46, 0x9F}};
inline constexpr wchar_t kProgId[] = L"tessaly.IEEvents";
// Its default interface, dual.
inline constexpr GUID kIidIEEvents = {0x55017665, 0x047A, 0x428F, {0xA9, 0xEA, 0xF6, 0x0F, 0x68, 0x0B, 0x73, 0x6C}};
// Its event set, dispatch only.
inline constexpr GUID kDiidIEEventsEvents = {
    0xBCCE5F82, 0x6CAC, 0x44F4, {0x88, 0x14, 0xEC, 0xB2, 0x20, 0x2E, 0x18, 0x3E}};
// The browser list, reached only through Browsers, and its default interface.
inline constexpr GUID kClsidCBrowsers = {0xFAFA61A3, 0x877A, 0x476C, {0x96, 0x50, 0x67, 0xC5, 0x91, 0x30, 0xB6, 0xF6}};
inline constexpr GUID kIidCBrowsers = {0x07A425B7, 0x5C85, 0x4AE3, {0x93, 0xD0, 0x3B, 0xC3, 0xA7, 0x1E, 0x13, 0x9D}};

// Members of _IEEvents and _cBrowsers.
inline constexpr DISPID kDispidBrowsers = 0x68030000;
inline constexpr DISPID kDispidEnabled = 0x68030001;
inline constexpr DISPID kDispidRefresh = 0x60030002;
inline constexpr DISPID kDispidCount = 0x68030000;

// The events of __IEEvents, in their order.
enum EventId : DISPID {
    kBrowserNavigating = 1,
    kDocumentComplete,
    kDownLoadBegin,
    kDownLoadComplete,
    kFileDownload,
    kNavigateComplete,
    kNavigateError,
    kNewWindow,
    kOnFullScreen,
    kProgressChange,
    kTitleChange,
    kWindowClosing,
    kBrowserCreated,
    kBrowserDestroyed,
};

// The second event set, dispatch only and outside the type library, so that the library and
// the first set stay exactly as hosts compiled against them know them. Its one event:
//
//   NewWindow3(Browser, ppDisp, Cancel, Flags, UrlContext, Url)     dispatch id 1
//
// raised when a tracked browser is about to open a new window and says where it goes (the
// browser's own NewWindow3, which follows its NewWindow2 unless that was cancelled). As
// DISPPARAMS lays them out, last first:
//   rgvarg[5] Browser     VT_BYREF | VT_DISPATCH  the browser that asks (an IWebBrowser2)
//   rgvarg[4] ppDisp      VT_BYREF | VT_DISPATCH  the browser's own: an object set here
//                                                 becomes the new window
//   rgvarg[3] Cancel      VT_BYREF | VT_BOOL      the browser's own: True, no window is made
//   rgvarg[2] Flags       VT_I4                   the browser's NWMF_ flags
//   rgvarg[1] UrlContext  VT_BSTR                 the address of the page that asks
//   rgvarg[0] Url         VT_BSTR                 the address the new window would open
// A sink connects through IConnectionPointContainer::FindConnectionPoint with this IID and
// takes the event through IDispatch::Invoke.
// {A9D7C584-45B1-4BCC-91A9-335CAA88965D}
inline constexpr GUID kDiidNewWindow3Events = {
    0xA9D7C584, 0x45B1, 0x4BCC, {0x91, 0xA9, 0x33, 0x5C, 0xAA, 0x88, 0x96, 0x5D}};
inline constexpr DISPID kDispidNewWindow3 = 1;

// OLEMISC_: recompose on resize, cannot link inside, inside-out, activate when visible,
// set client site first; not invisible at run time.
inline constexpr DWORD kMiscStatus = 0x00020191;

// The control keeps this size, in twips.
inline constexpr int kWidthTwips = 3135;
inline constexpr int kHeightTwips = 735;

}  // namespace tessaly

struct _cBrowsers;

// The control's default interface.
MIDL_INTERFACE("55017665-047A-428F-A9EA-F60F680B736C")
_IEEvents : public IDispatch
{
    virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL * result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Refresh() = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Browsers(_cBrowsers * *result) = 0;
};

// The browser list's default interface.
MIDL_INTERFACE("07A425B7-5C85-4AE3-93D0-3BC3A71E139D")
_cBrowsers : public IDispatch
{
    virtual HRESULT STDMETHODCALLTYPE NewEnum(IUnknown * *result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Item(VARIANT * Index, struct IWebBrowser2 * *result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(short* result) = 0;
};

__CRT_UUID_DECL(_IEEvents, 0x55017665, 0x047A, 0x428F, 0xA9, 0xEA, 0xF6, 0x0F, 0x68, 0x0B, 0x73, 0x6C)
__CRT_UUID_DECL(_cBrowsers, 0x07A425B7, 0x5C85, 0x4AE3, 0x93, 0xD0, 0x3B, 0xC3, 0xA7, 0x1E, 0x13, 0x9D)
