// Writes tessaly's type library. Runs at build time (under Wine when cross-compiling):
// widl cannot express a reference to IWebBrowser2 in the browser's own library, while
// ICreateTypeLib2 can, by adding a reference to the registered SHDocVw 1.1 type info.
//
//   make_typelib <output.tlb>
#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>

#include <cstdio>
#include <initializer_list>
#include <vector>

#include "base/com.h"
#include "monitor/tessaly.h"

using quellix::ComPtr;

namespace {

// {EAB22AC0-30C1-11CF-A7EB-0000C05BAE0B}: SHDocVw, the browser's type library.
constexpr GUID kShDocVwLibrary = {0xEAB22AC0, 0x30C1, 0x11CF, {0xA7, 0xEB, 0x00, 0x00, 0xC0, 0x5B, 0xAE, 0x0B}};
// {00020430-0000-0000-C000-000000000046}: stdole2.
constexpr GUID kStdOleLibrary = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr WORD kDualFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;

// A parameter or result type, built up from VT_ codes and user-defined references.
struct Type {
    VARTYPE vt;
    HREFTYPE ref = 0;
    int pointers = 0;  // levels of VT_PTR around it

    TYPEDESC* Fill(std::vector<TYPEDESC>& pool) const
    {
        pool.reserve(8);
        pool.push_back({});
        TYPEDESC* outer = &pool.back();
        TYPEDESC* desc = outer;
        for (int i = 0; i < pointers; ++i) {
            desc->vt = VT_PTR;
            pool.push_back({});
            desc->lptdesc = &pool.back();
            desc = desc->lptdesc;
        }
        desc->vt = vt;
        if (vt == VT_USERDEFINED)
            desc->hreftype = ref;
        return outer;
    }
};

struct Param {
    const wchar_t* name;  // nullptr: unnamed (a result or a property's new value)
    Type type;
    USHORT flags;
};

Type ByVal(VARTYPE vt)
{
    return {vt};
}
Type ByRef(VARTYPE vt)
{
    return {vt, 0, 1};
}
Type ByRefTo(HREFTYPE ref, int pointers)
{
    return {VT_USERDEFINED, ref, pointers};
}

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

HRESULT AddFunction(ICreateTypeInfo* info, UINT index, MEMBERID id, FUNCKIND kind, INVOKEKIND invoke,
                    const wchar_t* name, std::initializer_list<Param> params, WORD funcFlags = 0)
{
    // Every TYPEDESC stays in place until AddFuncDesc has copied it.
    std::vector<std::vector<TYPEDESC>> pools(params.size() + 1);
    std::vector<ELEMDESC> elements;
    std::vector<const wchar_t*> names{name};
    for (const Param& param : params) {
        ELEMDESC element{};
        element.tdesc = *param.type.Fill(pools[elements.size()]);
        element.paramdesc.wParamFlags = param.flags;
        elements.push_back(element);
        if (param.name)
            names.push_back(param.name);
    }

    FUNCDESC func{};
    func.memid = id;
    func.funckind = kind;
    func.invkind = invoke;
    func.callconv = CC_STDCALL;
    func.cParams = static_cast<SHORT>(elements.size());
    func.lprgelemdescParam = elements.data();
    func.oVft = kind == FUNC_DISPATCH ? 0 : static_cast<SHORT>((7 + index) * sizeof(void*));
    func.elemdescFunc.tdesc.vt = kind == FUNC_DISPATCH ? VT_VOID : VT_HRESULT;
    func.wFuncFlags = funcFlags;

    RETURN_IF_FAILED(info->AddFuncDesc(index, &func));
    return info->SetFuncAndParamNames(index, const_cast<LPOLESTR*>(names.data()), static_cast<UINT>(names.size()));
}

HRESULT Inherit(ICreateTypeInfo* info, ITypeInfo* base)
{
    HREFTYPE ref = 0;
    RETURN_IF_FAILED(info->AddRefTypeInfo(base, &ref));
    return info->AddImplType(0, ref);
}

HRESULT Implement(ICreateTypeInfo* coclass, UINT index, ICreateTypeInfo* item, INT flags)
{
    ComPtr<ITypeInfo> itemInfo;
    RETURN_IF_FAILED(item->QueryInterface(IID_PPV_ARGS(&itemInfo)));
    HREFTYPE ref = 0;
    RETURN_IF_FAILED(coclass->AddRefTypeInfo(itemInfo.Get(), &ref));
    RETURN_IF_FAILED(coclass->AddImplType(index, ref));
    return coclass->SetImplTypeFlags(index, flags);
}

HRESULT Describe(ICreateTypeInfo* info, const GUID& id, WORD flags)
{
    RETURN_IF_FAILED(info->SetGuid(id));
    RETURN_IF_FAILED(info->SetVersion(1, 0));
    return info->SetTypeFlags(flags);
}

HRESULT Write(const wchar_t* path)
{
    ComPtr<ICreateTypeLib2> library;
    RETURN_IF_FAILED(CreateTypeLib2(SYS_WIN32, path, &library));
    RETURN_IF_FAILED(library->SetName(const_cast<LPOLESTR>(L"tessaly")));
    RETURN_IF_FAILED(library->SetDocString(const_cast<LPOLESTR>(L"tessaly")));
    RETURN_IF_FAILED(library->SetGuid(tessaly::kLibraryId));
    RETURN_IF_FAILED(library->SetVersion(tessaly::kLibraryMajor, tessaly::kLibraryMinor));
    RETURN_IF_FAILED(library->SetLcid(LOCALE_NEUTRAL));
    RETURN_IF_FAILED(library->SetLibFlags(LIBFLAG_FCONTROL));

    ComPtr<ITypeLib> stdole, shdocvw;
    RETURN_IF_FAILED(LoadRegTypeLib(kStdOleLibrary, 2, 0, LOCALE_NEUTRAL, &stdole));
    RETURN_IF_FAILED(LoadRegTypeLib(kShDocVwLibrary, 1, 1, LOCALE_NEUTRAL, &shdocvw));
    ComPtr<ITypeInfo> dispatch, webBrowser;
    RETURN_IF_FAILED(stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch));
    RETURN_IF_FAILED(shdocvw->GetTypeInfoOfGuid(IID_IWebBrowser2, &webBrowser));

    // Created in the library's order, so that their indices are 0 to 4.
    ComPtr<ICreateTypeInfo> ieEvents, control, cBrowsersItf, cBrowsers, events;
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"_IEEvents"), TKIND_INTERFACE, &ieEvents));
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"IEEvents"), TKIND_COCLASS, &control));
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"_cBrowsers"), TKIND_INTERFACE, &cBrowsersItf));
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"cBrowsers"), TKIND_COCLASS, &cBrowsers));
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"__IEEvents"), TKIND_DISPATCH, &events));

    // _cBrowsers: NewEnum, Item, Count.
    {
        ICreateTypeInfo* info = cBrowsersItf.Get();
        RETURN_IF_FAILED(Describe(info, tessaly::kIidCBrowsers, kDualFlags));
        RETURN_IF_FAILED(Inherit(info, dispatch.Get()));
        HREFTYPE browser = 0;
        RETURN_IF_FAILED(info->AddRefTypeInfo(webBrowser.Get(), &browser));
        RETURN_IF_FAILED(AddFunction(info, 0, DISPID_NEWENUM, FUNC_PUREVIRTUAL, INVOKE_FUNC, L"NewEnum",
                                     {{nullptr, ByRef(VT_UNKNOWN), kRetval}}, FUNCFLAG_FHIDDEN));
        RETURN_IF_FAILED(AddFunction(info, 1, DISPID_VALUE, FUNC_PUREVIRTUAL, INVOKE_FUNC, L"Item",
                                     {{L"Index", ByRef(VT_VARIANT), kInOut}, {nullptr, ByRefTo(browser, 2), kRetval}}));
        RETURN_IF_FAILED(AddFunction(info, 2, tessaly::kDispidCount, FUNC_PUREVIRTUAL, INVOKE_PROPERTYGET, L"Count",
                                     {{nullptr, ByRef(VT_I2), kRetval}}));
        RETURN_IF_FAILED(info->LayOut());
    }

    // _IEEvents: Enabled (get), Refresh, Enabled (put), Browsers.
    {
        ICreateTypeInfo* info = ieEvents.Get();
        RETURN_IF_FAILED(Describe(info, tessaly::kIidIEEvents, kDualFlags));
        RETURN_IF_FAILED(Inherit(info, dispatch.Get()));
        ComPtr<ITypeInfo> listInfo;
        RETURN_IF_FAILED(cBrowsersItf.As(&listInfo));
        HREFTYPE list = 0;
        RETURN_IF_FAILED(info->AddRefTypeInfo(listInfo.Get(), &list));
        RETURN_IF_FAILED(AddFunction(info, 0, tessaly::kDispidEnabled, FUNC_PUREVIRTUAL, INVOKE_PROPERTYGET, L"Enabled",
                                     {{nullptr, ByRef(VT_BOOL), kRetval}}));
        RETURN_IF_FAILED(AddFunction(info, 1, tessaly::kDispidRefresh, FUNC_PUREVIRTUAL, INVOKE_FUNC, L"Refresh", {}));
        RETURN_IF_FAILED(AddFunction(info, 2, tessaly::kDispidEnabled, FUNC_PUREVIRTUAL, INVOKE_PROPERTYPUT, L"Enabled",
                                     {{nullptr, ByVal(VT_BOOL), kIn}}));
        RETURN_IF_FAILED(AddFunction(info, 3, tessaly::kDispidBrowsers, FUNC_PUREVIRTUAL, INVOKE_PROPERTYGET,
                                     L"Browsers", {{nullptr, ByRefTo(list, 2), kRetval}}));
        RETURN_IF_FAILED(info->LayOut());
    }

    // __IEEvents: the fourteen events.
    {
        ICreateTypeInfo* info = events.Get();
        RETURN_IF_FAILED(Describe(info, tessaly::kDiidIEEventsEvents, TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE));
        RETURN_IF_FAILED(Inherit(info, dispatch.Get()));
        HREFTYPE browserRef = 0;
        RETURN_IF_FAILED(info->AddRefTypeInfo(webBrowser.Get(), &browserRef));
        const Param browser{L"Browser", ByRefTo(browserRef, 2), kInOut};
        const Param pDisp{L"pDisp", ByVal(VT_DISPATCH), kIn};
        const Param cancel{L"Cancel", ByRef(VT_BOOL), kInOut};
        auto variant = [](const wchar_t* name) { return Param{name, ByRef(VT_VARIANT), kInOut}; };
        auto event = [&](tessaly::EventId id, const wchar_t* name, std::initializer_list<Param> params) {
            return AddFunction(info, id - 1, id, FUNC_DISPATCH, INVOKE_FUNC, name, params);
        };
        using namespace tessaly;
        RETURN_IF_FAILED(event(kBrowserNavigating, L"BrowserNavigating",
                               {browser, pDisp, variant(L"URL"), variant(L"Flags"), variant(L"TargetFrameName"),
                                variant(L"PostData"), variant(L"Headers"), cancel}));
        RETURN_IF_FAILED(event(kDocumentComplete, L"DocumentComplete",
                               {browser, {L"pDisp", ByRef(VT_DISPATCH), kInOut}, variant(L"URL")}));
        RETURN_IF_FAILED(event(kDownLoadBegin, L"DownLoadBegin", {browser}));
        RETURN_IF_FAILED(event(kDownLoadComplete, L"DownLoadComplete", {browser}));
        RETURN_IF_FAILED(event(kFileDownload, L"FileDownload", {browser, cancel}));
        RETURN_IF_FAILED(event(kNavigateComplete, L"NavigateComplete", {browser, pDisp, variant(L"URL")}));
        RETURN_IF_FAILED(event(kNavigateError, L"NavigateError",
                               {browser, pDisp, variant(L"URL"), variant(L"Frame"), variant(L"StatusCode"), cancel}));
        RETURN_IF_FAILED(event(kNewWindow, L"NewWindow", {browser, {L"ppDisp", ByRef(VT_DISPATCH), kInOut}, cancel}));
        RETURN_IF_FAILED(event(kOnFullScreen, L"OnFullScreen", {browser, {L"FullScreen", ByVal(VT_BOOL), kIn}}));
        RETURN_IF_FAILED(event(kProgressChange, L"ProgressChange",
                               {browser, {L"Progress", ByVal(VT_I4), kIn}, {L"ProgressMax", ByVal(VT_I4), kIn}}));
        RETURN_IF_FAILED(event(kTitleChange, L"TitleChange", {browser, {L"Text", ByVal(VT_BSTR), kIn}}));
        RETURN_IF_FAILED(event(kWindowClosing, L"WindowClosing",
                               {browser, {L"IsChildWindow", ByVal(VT_BOOL), kIn}, cancel}));
        RETURN_IF_FAILED(event(kBrowserCreated, L"BrowserCreated", {browser}));
        RETURN_IF_FAILED(event(kBrowserDestroyed, L"BrowserDestroyed", {}));
        RETURN_IF_FAILED(info->LayOut());
    }

    // The classes.
    RETURN_IF_FAILED(Describe(control.Get(), tessaly::kClsidIEEvents, TYPEFLAG_FCONTROL));
    RETURN_IF_FAILED(Implement(control.Get(), 0, ieEvents.Get(), IMPLTYPEFLAG_FDEFAULT));
    RETURN_IF_FAILED(Implement(control.Get(), 1, events.Get(), IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE));
    RETURN_IF_FAILED(control->LayOut());
    RETURN_IF_FAILED(Describe(cBrowsers.Get(), tessaly::kClsidCBrowsers, 0));
    RETURN_IF_FAILED(Implement(cBrowsers.Get(), 0, cBrowsersItf.Get(), IMPLTYPEFLAG_FDEFAULT));
    RETURN_IF_FAILED(cBrowsers->LayOut());

    return library->SaveAllChanges();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_typelib <output.tlb>\n", stderr);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT hr = Write(argv[1]);
    CoUninitialize();
    if (FAILED(hr)) {
        std::fprintf(stderr, "make_typelib: failed, 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}
