// Writes tessaly's type library. Runs at build time (under Wine when cross-compiling):
// widl cannot express a reference to IWebBrowser2 in the browser's own library, while
// ICreateTypeLib2 can, by adding a reference to the registered SHDocVw 1.1 type info.
//
// The library is described by the tables below (its interfaces' members, the event set, the
// two classes); Write only turns them into type information, in the library's order.
//
//   make_typelib <output.tlb> [win32|win64]
//
// The library is laid out for the platform named, by default the one the program was built
// for: a 64-bit build can write the 32-bit library where no 32-bit program runs.
#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <span>
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

// The types a member refers to outside the VT_ codes.
enum class Ref { kNone, kWebBrowser, kBrowserList };

// A parameter or result type, built up from VT_ codes and user-defined references.
struct Type {
    VARTYPE vt;
    Ref ref = Ref::kNone;
    int pointers = 0;  // levels of VT_PTR around it
};

struct Param {
    const wchar_t* name;  // nullptr: unnamed (a result or a property's new value)
    Type type;
    USHORT flags;
};

struct Member {
    MEMBERID id;
    INVOKEKIND invoke;
    const wchar_t* name;
    std::initializer_list<Param> params;
    WORD flags = 0;
};

constexpr Type ByVal(VARTYPE vt)
{
    return {vt};
}

constexpr Type ByRef(VARTYPE vt)
{
    return {vt, Ref::kNone, 1};
}

constexpr Type ByRefTo(Ref ref, int pointers)
{
    return {VT_USERDEFINED, ref, pointers};
}

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

// --- The library's pieces ------------------------------------------------------------------

using namespace tessaly;

// _cBrowsers: NewEnum, Item, Count.
const Member kBrowserListMembers[] = {
    {DISPID_NEWENUM, INVOKE_FUNC, L"NewEnum", {{nullptr, ByRef(VT_UNKNOWN), kRetval}}, FUNCFLAG_FHIDDEN},
    {DISPID_VALUE,
     INVOKE_FUNC,
     L"Item",
     {{L"Index", ByRef(VT_VARIANT), kInOut}, {nullptr, ByRefTo(Ref::kWebBrowser, 2), kRetval}}},
    {kDispidCount, INVOKE_PROPERTYGET, L"Count", {{nullptr, ByRef(VT_I2), kRetval}}},
};

// _IEEvents: Enabled (get), Refresh, Enabled (put), Browsers.
const Member kControlMembers[] = {
    {kDispidEnabled, INVOKE_PROPERTYGET, L"Enabled", {{nullptr, ByRef(VT_BOOL), kRetval}}},
    {kDispidRefresh, INVOKE_FUNC, L"Refresh", {}},
    {kDispidEnabled, INVOKE_PROPERTYPUT, L"Enabled", {{nullptr, ByVal(VT_BOOL), kIn}}},
    {kDispidBrowsers, INVOKE_PROPERTYGET, L"Browsers", {{nullptr, ByRefTo(Ref::kBrowserList, 2), kRetval}}},
};

// __IEEvents: the fourteen events, in their order.
constexpr Param kBrowser{L"Browser", ByRefTo(Ref::kWebBrowser, 2), kInOut};
constexpr Param kPDisp{L"pDisp", ByVal(VT_DISPATCH), kIn};
constexpr Param kCancel{L"Cancel", ByRef(VT_BOOL), kInOut};
constexpr Param Variant(const wchar_t* name)
{
    return {name, ByRef(VT_VARIANT), kInOut};
}

const Member kEvents[] = {
    {kBrowserNavigating,
     INVOKE_FUNC,
     L"BrowserNavigating",
     {kBrowser, kPDisp, Variant(L"URL"), Variant(L"Flags"), Variant(L"TargetFrameName"), Variant(L"PostData"),
      Variant(L"Headers"), kCancel}},
    {kDocumentComplete,
     INVOKE_FUNC,
     L"DocumentComplete",
     {kBrowser, {L"pDisp", ByRef(VT_DISPATCH), kInOut}, Variant(L"URL")}},
    {kDownLoadBegin, INVOKE_FUNC, L"DownLoadBegin", {kBrowser}},
    {kDownLoadComplete, INVOKE_FUNC, L"DownLoadComplete", {kBrowser}},
    {kFileDownload, INVOKE_FUNC, L"FileDownload", {kBrowser, kCancel}},
    {kNavigateComplete, INVOKE_FUNC, L"NavigateComplete", {kBrowser, kPDisp, Variant(L"URL")}},
    {kNavigateError,
     INVOKE_FUNC,
     L"NavigateError",
     {kBrowser, kPDisp, Variant(L"URL"), Variant(L"Frame"), Variant(L"StatusCode"), kCancel}},
    {kNewWindow, INVOKE_FUNC, L"NewWindow", {kBrowser, {L"ppDisp", ByRef(VT_DISPATCH), kInOut}, kCancel}},
    {kOnFullScreen, INVOKE_FUNC, L"OnFullScreen", {kBrowser, {L"FullScreen", ByVal(VT_BOOL), kIn}}},
    {kProgressChange,
     INVOKE_FUNC,
     L"ProgressChange",
     {kBrowser, {L"Progress", ByVal(VT_I4), kIn}, {L"ProgressMax", ByVal(VT_I4), kIn}}},
    {kTitleChange, INVOKE_FUNC, L"TitleChange", {kBrowser, {L"Text", ByVal(VT_BSTR), kIn}}},
    {kWindowClosing, INVOKE_FUNC, L"WindowClosing", {kBrowser, {L"IsChildWindow", ByVal(VT_BOOL), kIn}, kCancel}},
    {kBrowserCreated, INVOKE_FUNC, L"BrowserCreated", {kBrowser}},
    {kBrowserDestroyed, INVOKE_FUNC, L"BrowserDestroyed", {}},
};

// --- Turning them into type information ----------------------------------------------------

// The type information that a Ref names, as references of the type being built.
struct References {
    HREFTYPE webBrowser = 0;
    HREFTYPE browserList = 0;
};

TYPEDESC* Fill(const Type& type, const References& refs, std::vector<TYPEDESC>& pool)
{
    pool.reserve(8);
    pool.push_back({});
    TYPEDESC* outer = &pool.back();
    TYPEDESC* desc = outer;
    for (int i = 0; i < type.pointers; ++i) {
        desc->vt = VT_PTR;
        pool.push_back({});
        desc->lptdesc = &pool.back();
        desc = desc->lptdesc;
    }
    desc->vt = type.vt;
    if (type.vt == VT_USERDEFINED)
        desc->hreftype = type.ref == Ref::kWebBrowser ? refs.webBrowser : refs.browserList;
    return outer;
}

HRESULT AddFunction(ICreateTypeInfo* info, UINT index, FUNCKIND kind, const Member& member, const References& refs)
{
    // Every TYPEDESC stays in place until AddFuncDesc has copied it.
    std::vector<std::vector<TYPEDESC>> pools(member.params.size() + 1);
    std::vector<ELEMDESC> elements;
    std::vector<const wchar_t*> names{member.name};
    for (const Param& param : member.params) {
        ELEMDESC element{};
        element.tdesc = *Fill(param.type, refs, pools[elements.size()]);
        element.paramdesc.wParamFlags = param.flags;
        elements.push_back(element);
        if (param.name)
            names.push_back(param.name);
    }

    FUNCDESC func{};
    func.memid = member.id;
    func.funckind = kind;
    func.invkind = member.invoke;
    func.callconv = CC_STDCALL;
    func.cParams = static_cast<SHORT>(elements.size());
    func.lprgelemdescParam = elements.data();
    func.oVft = kind == FUNC_DISPATCH ? 0 : static_cast<SHORT>((7 + index) * sizeof(void*));
    func.elemdescFunc.tdesc.vt = kind == FUNC_DISPATCH ? VT_VOID : VT_HRESULT;
    func.wFuncFlags = member.flags;

    RETURN_IF_FAILED(info->AddFuncDesc(index, &func));
    return info->SetFuncAndParamNames(index, const_cast<LPOLESTR*>(names.data()), static_cast<UINT>(names.size()));
}

HRESULT Describe(ICreateTypeInfo* info, const GUID& id, WORD flags)
{
    RETURN_IF_FAILED(info->SetGuid(id));
    RETURN_IF_FAILED(info->SetVersion(1, 0));
    return info->SetTypeFlags(flags);
}

// An interface (a dual one, or the event set) derived from IDispatch, with its members.
HRESULT Interface(ICreateTypeInfo* info, const GUID& id, WORD flags, ITypeInfo* dispatch, FUNCKIND kind,
                  std::span<const Member> members, ITypeInfo* webBrowser, ITypeInfo* browserList)
{
    RETURN_IF_FAILED(Describe(info, id, flags));
    HREFTYPE base = 0;
    RETURN_IF_FAILED(info->AddRefTypeInfo(dispatch, &base));
    RETURN_IF_FAILED(info->AddImplType(0, base));
    References refs;
    RETURN_IF_FAILED(info->AddRefTypeInfo(webBrowser, &refs.webBrowser));
    if (browserList)
        RETURN_IF_FAILED(info->AddRefTypeInfo(browserList, &refs.browserList));
    for (UINT i = 0; i < members.size(); ++i)
        RETURN_IF_FAILED(AddFunction(info, kind == FUNC_DISPATCH ? members[i].id - 1 : i, kind, members[i], refs));
    return info->LayOut();
}

// A class with its interfaces, the first its default, the event set (if any) its source.
HRESULT Class(ICreateTypeInfo* info, const GUID& id, WORD flags, std::initializer_list<ICreateTypeInfo*> interfaces)
{
    RETURN_IF_FAILED(Describe(info, id, flags));
    UINT index = 0;
    for (ICreateTypeInfo* item : interfaces) {
        ComPtr<ITypeInfo> itemInfo;
        RETURN_IF_FAILED(item->QueryInterface(IID_PPV_ARGS(&itemInfo)));
        HREFTYPE ref = 0;
        RETURN_IF_FAILED(info->AddRefTypeInfo(itemInfo.Get(), &ref));
        RETURN_IF_FAILED(info->AddImplType(index, ref));
        const INT implFlags = index == 0 ? IMPLTYPEFLAG_FDEFAULT : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        RETURN_IF_FAILED(info->SetImplTypeFlags(index++, implFlags));
    }
    return info->LayOut();
}

HRESULT Write(const wchar_t* path, SYSKIND platform)
{
    ComPtr<ICreateTypeLib2> library;
    RETURN_IF_FAILED(CreateTypeLib2(platform, path, &library));
    RETURN_IF_FAILED(library->SetName(const_cast<LPOLESTR>(L"tessaly")));
    RETURN_IF_FAILED(library->SetDocString(const_cast<LPOLESTR>(L"tessaly")));
    RETURN_IF_FAILED(library->SetGuid(kLibraryId));
    RETURN_IF_FAILED(library->SetVersion(kLibraryMajor, kLibraryMinor));
    RETURN_IF_FAILED(library->SetLcid(LOCALE_NEUTRAL));
    RETURN_IF_FAILED(library->SetLibFlags(LIBFLAG_FCONTROL));

    ComPtr<ITypeLib> stdole, shdocvw;
    RETURN_IF_FAILED(LoadRegTypeLib(kStdOleLibrary, 2, 0, LOCALE_NEUTRAL, &stdole));
    RETURN_IF_FAILED(LoadRegTypeLib(kShDocVwLibrary, 1, 1, LOCALE_NEUTRAL, &shdocvw));
    ComPtr<ITypeInfo> dispatch, webBrowser;
    RETURN_IF_FAILED(stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch));
    RETURN_IF_FAILED(shdocvw->GetTypeInfoOfGuid(IID_IWebBrowser2, &webBrowser));

    // Created in the library's order, so that their indices are 0 to 4.
    ComPtr<ICreateTypeInfo> control, controlClass, list, listClass, events;
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"_IEEvents"), TKIND_INTERFACE, &control));
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"IEEvents"), TKIND_COCLASS, &controlClass));
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"_cBrowsers"), TKIND_INTERFACE, &list));
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"cBrowsers"), TKIND_COCLASS, &listClass));
    RETURN_IF_FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"__IEEvents"), TKIND_DISPATCH, &events));

    ComPtr<ITypeInfo> listInfo;
    RETURN_IF_FAILED(list.As(&listInfo));
    RETURN_IF_FAILED(Interface(list.Get(), kIidCBrowsers, kDualFlags, dispatch.Get(), FUNC_PUREVIRTUAL,
                               kBrowserListMembers, webBrowser.Get(), nullptr));
    RETURN_IF_FAILED(Interface(control.Get(), kIidIEEvents, kDualFlags, dispatch.Get(), FUNC_PUREVIRTUAL,
                               kControlMembers, webBrowser.Get(), listInfo.Get()));
    RETURN_IF_FAILED(Interface(events.Get(), kDiidIEEventsEvents, TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE,
                               dispatch.Get(), FUNC_DISPATCH, kEvents, webBrowser.Get(), nullptr));
    RETURN_IF_FAILED(Class(controlClass.Get(), kClsidIEEvents, TYPEFLAG_FCONTROL, {control.Get(), events.Get()}));
    RETURN_IF_FAILED(Class(listClass.Get(), kClsidCBrowsers, 0, {list.Get()}));
    return library->SaveAllChanges();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SYSKIND platform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    if (argc == 3 && std::wcscmp(argv[2], L"win32") == 0)
        platform = SYS_WIN32;
    else if (argc == 3 && std::wcscmp(argv[2], L"win64") == 0)
        platform = SYS_WIN64;
    else if (argc != 2) {
        std::fputs("usage: make_typelib <output.tlb> [win32|win64]\n", stderr);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT hr = Write(argv[1], platform);
    CoUninitialize();
    if (FAILED(hr)) {
        std::fprintf(stderr, "make_typelib: failed, 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}
