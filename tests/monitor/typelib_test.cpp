// The type library inside tessaly.ocx, read back through oleaut32, item by item: hosts bind
// to exactly these names, identifiers, flags and parameter layouts.
#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/tessaly.h"
#include "tests/monitor/ocx.h"

namespace tessaly::test {
namespace {

using quellix::ComPtr;

constexpr GUID kStdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kShDocVw = {0xEAB22AC0, 0x30C1, 0x11CF, {0xA7, 0xEB, 0x00, 0x00, 0xC0, 0x5B, 0xAE, 0x0B}};

std::string Narrow(const wchar_t* text)
{
    return text ? std::string(text, text + wcslen(text)) : std::string();
}

std::string NameOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL)
{
    BSTR name = nullptr;
    info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
    std::string result = Narrow(name);
    SysFreeString(name);
    return result;
}

// A type as text: "VARIANT*", "IWebBrowser2**", "IDispatch", "short"...; a user-defined
// type is written with the library it comes from, e.g. "IWebBrowser2@SHDocVw-1.1".
std::string TypeText(ITypeInfo* info, const TYPEDESC& type)
{
    switch (type.vt) {
    case VT_PTR:
        return TypeText(info, *type.lptdesc) + "*";
    case VT_USERDEFINED: {
        ComPtr<ITypeInfo> target;
        if (FAILED(info->GetRefTypeInfo(type.hreftype, &target)))
            return "?";
        ComPtr<ITypeLib> library;
        UINT index = 0;
        target->GetContainingTypeLib(&library, &index);
        TLIBATTR* attributes = nullptr;
        library->GetLibAttr(&attributes);
        std::string text = NameOf(target.Get());
        if (attributes->guid == kShDocVw)
            text += "@SHDocVw-" + std::to_string(attributes->wMajorVerNum) + "." +
                    std::to_string(attributes->wMinorVerNum);
        library->ReleaseTLibAttr(attributes);
        return text;
    }
    case VT_VARIANT:
        return "VARIANT";
    case VT_BOOL:
        return "VARIANT_BOOL";
    case VT_DISPATCH:
        return "IDispatch";
    case VT_UNKNOWN:
        return "IUnknown";
    case VT_I2:
        return "short";
    case VT_I4:
        return "long";
    case VT_BSTR:
        return "BSTR";
    case VT_HRESULT:
        return "HRESULT";
    case VT_VOID:
        return "void";
    default:
        return "vt" + std::to_string(type.vt);
    }
}

struct Param {
    std::string name;
    std::string type;
    USHORT flags;
    bool operator==(const Param&) const = default;
};

struct Function {
    std::string name;
    MEMBERID id;
    INVOKEKIND invoke;
    std::string result;
    std::vector<Param> params;
    WORD flags = 0;
    bool operator==(const Function&) const = default;
};

void PrintTo(const Function& f, std::ostream* os)
{
    *os << f.name << " id=" << std::hex << f.id << " invoke=" << f.invoke << " result=" << f.result
        << " flags=" << f.flags << " (";
    for (const Param& p : f.params)
        *os << p.name << ":" << p.type << "/" << p.flags << " ";
    *os << ")";
}

// The functions of a type, skipping those of IUnknown and IDispatch that oleaut32 lists for
// dispatch types (dispatch identifiers 0x60000000 to 0x6001FFFF).
std::vector<Function> FunctionsOf(ITypeInfo* info)
{
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    const WORD count = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);

    std::vector<Function> functions;
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc)))
            continue;
        if (desc->memid >= 0x60000000 && desc->memid < 0x60020000) {
            info->ReleaseFuncDesc(desc);
            continue;
        }
        BSTR names[16] = {};
        UINT nameCount = 0;
        info->GetNames(desc->memid, names, 16, &nameCount);
        Function function{Narrow(names[0]), desc->memid, desc->invkind, TypeText(info, desc->elemdescFunc.tdesc), {},
                          desc->wFuncFlags};
        for (SHORT p = 0; p < desc->cParams; ++p) {
            const ELEMDESC& element = desc->lprgelemdescParam[p];
            const std::string name = static_cast<UINT>(p + 1) < nameCount ? Narrow(names[p + 1]) : "";
            function.params.push_back({name, TypeText(info, element.tdesc), element.paramdesc.wParamFlags});
        }
        for (UINT n = 0; n < nameCount; ++n)
            SysFreeString(names[n]);
        // Property puts carry the same name as their get; keep the invoke kind apart.
        functions.push_back(function);
        info->ReleaseFuncDesc(desc);
    }
    return functions;
}

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

class TypeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LoadTypeLibEx(OcxPath().c_str(), REGKIND_NONE, &library), S_OK); }

    ComPtr<ITypeInfo> At(UINT index)
    {
        ComPtr<ITypeInfo> info;
        library->GetTypeInfo(index, &info);
        return info;
    }

    // The vtable half of a dual interface.
    static ComPtr<ITypeInfo> VtableOf(ITypeInfo* dual)
    {
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(dual->GetRefTypeOfImplType(-1, &ref), S_OK);
        dual->GetRefTypeInfo(ref, &info);
        return info;
    }

    static TYPEATTR Attributes(ITypeInfo* info)
    {
        TYPEATTR* attributes = nullptr;
        info->GetTypeAttr(&attributes);
        TYPEATTR copy = *attributes;
        info->ReleaseTypeAttr(attributes);
        return copy;
    }

    static std::string ImplementedName(ITypeInfo* info, UINT index, INT* flags)
    {
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> target;
        info->GetRefTypeOfImplType(index, &ref);
        info->GetRefTypeInfo(ref, &target);
        info->GetImplTypeFlags(index, flags);
        return target ? NameOf(target.Get()) : "";
    }

    Apartment apartment;
    ComPtr<ITypeLib> library;
};

TEST_F(TypeLibraryTest, TheLibraryIsTessaly7ForWin32MarkedAsAControlLibrary)
{
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, kLibraryId);
    EXPECT_EQ(attributes->wMajorVerNum, 7);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(attributes->wLibFlags & (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN), LIBFLAG_FCONTROL);
    library->ReleaseTLibAttr(attributes);

    BSTR name = nullptr, help = nullptr, helpFile = nullptr;
    library->GetDocumentation(-1, &name, &help, nullptr, &helpFile);
    EXPECT_EQ(Narrow(name), "tessaly");
    EXPECT_EQ(Narrow(help), "tessaly");
    EXPECT_EQ(helpFile, nullptr);
    SysFreeString(name);
    SysFreeString(help);
}

TEST_F(TypeLibraryTest, HoldsFiveTypesInOrderAllVersion1WithoutHelp)
{
    ASSERT_EQ(library->GetTypeInfoCount(), 5u);
    const struct {
        const char* name;
        TYPEKIND kind;
        GUID id;
    } expected[] = {
        {"_IEEvents", TKIND_DISPATCH, kIidIEEvents},         {"IEEvents", TKIND_COCLASS, kClsidIEEvents},
        {"_cBrowsers", TKIND_DISPATCH, kIidCBrowsers},       {"cBrowsers", TKIND_COCLASS, kClsidCBrowsers},
        {"__IEEvents", TKIND_DISPATCH, kDiidIEEventsEvents},
    };
    for (UINT i = 0; i < 5; ++i) {
        const ComPtr<ITypeInfo> info = At(i);
        const TYPEATTR attributes = Attributes(info.Get());
        EXPECT_EQ(NameOf(info.Get()), expected[i].name);
        EXPECT_EQ(attributes.typekind, expected[i].kind) << expected[i].name;
        EXPECT_EQ(attributes.guid, expected[i].id) << expected[i].name;
        EXPECT_EQ(attributes.wMajorVerNum, 1);
        EXPECT_EQ(attributes.wMinorVerNum, 0);
        BSTR help = nullptr;
        info->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr);
        EXPECT_EQ(help, nullptr) << expected[i].name;
    }
}

TEST_F(TypeLibraryTest, TheDualInterfacesAreHiddenNonExtensibleAutomationInterfacesOnIDispatch)
{
    for (UINT index : {0u, 2u}) {
        const ComPtr<ITypeInfo> vtable = VtableOf(At(index).Get());
        ASSERT_TRUE(vtable);
        const TYPEATTR attributes = Attributes(vtable.Get());
        EXPECT_EQ(attributes.typekind, TKIND_INTERFACE);
        const WORD wanted = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
        EXPECT_EQ(attributes.wTypeFlags & (wanted | TYPEFLAG_FRESTRICTED), wanted);
        INT flags = 0;
        EXPECT_EQ(ImplementedName(vtable.Get(), 0, &flags), "IDispatch");
    }
}

TEST_F(TypeLibraryTest, IEEventsHasItsMembersWithTheirDispatchIdentifiersAndTypes)
{
    const ComPtr<ITypeInfo> vtable = VtableOf(At(0).Get());
    const std::vector<Function> expected = {
        {"Enabled", kDispidEnabled, INVOKE_PROPERTYGET, "HRESULT", {{"", "VARIANT_BOOL*", kRetval}}},
        {"Refresh", kDispidRefresh, INVOKE_FUNC, "HRESULT", {}},
        {"Enabled", kDispidEnabled, INVOKE_PROPERTYPUT, "HRESULT", {{"", "VARIANT_BOOL", kIn}}},
        {"Browsers", kDispidBrowsers, INVOKE_PROPERTYGET, "HRESULT", {{"", "_cBrowsers**", kRetval}}},
    };
    EXPECT_EQ(FunctionsOf(vtable.Get()), expected);
}

TEST_F(TypeLibraryTest, cBrowsersEnumeratesAtMinus4IndexesByDefaultAndCountsInShorts)
{
    const ComPtr<ITypeInfo> vtable = VtableOf(At(2).Get());
    const std::vector<Function> expected = {
        {"NewEnum", DISPID_NEWENUM, INVOKE_FUNC, "HRESULT", {{"", "IUnknown*", kRetval}}, FUNCFLAG_FHIDDEN},
        {"Item",
         DISPID_VALUE,
         INVOKE_FUNC,
         "HRESULT",
         {{"Index", "VARIANT*", kInOut}, {"", "IWebBrowser2@SHDocVw-1.1**", kRetval}}},
        {"Count", kDispidCount, INVOKE_PROPERTYGET, "HRESULT", {{"", "short*", kRetval}}},
    };
    EXPECT_EQ(FunctionsOf(vtable.Get()), expected);
}

TEST_F(TypeLibraryTest, TheControlClassIsAControlWithItsDefaultAndEventInterfacesButNotCreatable)
{
    const ComPtr<ITypeInfo> control = At(1);
    const TYPEATTR attributes = Attributes(control.Get());
    EXPECT_TRUE(attributes.wTypeFlags & TYPEFLAG_FCONTROL);
    EXPECT_FALSE(attributes.wTypeFlags & TYPEFLAG_FCANCREATE);
    ASSERT_EQ(attributes.cImplTypes, 2);
    INT flags = 0;
    EXPECT_EQ(ImplementedName(control.Get(), 0, &flags), "_IEEvents");
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(ImplementedName(control.Get(), 1, &flags), "__IEEvents");
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);

    const ComPtr<ITypeInfo> list = At(3);
    const TYPEATTR listAttributes = Attributes(list.Get());
    EXPECT_EQ(listAttributes.wTypeFlags & ~TYPEFLAG_FDISPATCHABLE, 0);
    ASSERT_EQ(listAttributes.cImplTypes, 1);
    EXPECT_EQ(ImplementedName(list.Get(), 0, &flags), "_cBrowsers");
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
}

TEST_F(TypeLibraryTest, TheEventSetHasFourteenEventsInOrderWithTheBrowserByReferenceFirst)
{
    const ComPtr<ITypeInfo> events = At(4);
    const TYPEATTR attributes = Attributes(events.Get());
    EXPECT_EQ(attributes.wTypeFlags & (TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDUAL),
              TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE);

    const Param browser{"Browser", "IWebBrowser2@SHDocVw-1.1**", kInOut};
    const Param pDisp{"pDisp", "IDispatch", kIn};
    const Param cancel{"Cancel", "VARIANT_BOOL*", kInOut};
    auto variant = [](const char* name) { return Param{name, "VARIANT*", kInOut}; };
    auto event = [](const char* name, MEMBERID id, std::vector<Param> params) {
        return Function{name, id, INVOKE_FUNC, "void", std::move(params)};
    };
    const std::vector<Function> expected = {
        event("BrowserNavigating", 1,
              {browser, pDisp, variant("URL"), variant("Flags"), variant("TargetFrameName"), variant("PostData"),
               variant("Headers"), cancel}),
        event("DocumentComplete", 2, {browser, {"pDisp", "IDispatch*", kInOut}, variant("URL")}),
        event("DownLoadBegin", 3, {browser}),
        event("DownLoadComplete", 4, {browser}),
        event("FileDownload", 5, {browser, cancel}),
        event("NavigateComplete", 6, {browser, pDisp, variant("URL")}),
        event("NavigateError", 7, {browser, pDisp, variant("URL"), variant("Frame"), variant("StatusCode"), cancel}),
        event("NewWindow", 8, {browser, {"ppDisp", "IDispatch*", kInOut}, cancel}),
        event("OnFullScreen", 9, {browser, {"FullScreen", "VARIANT_BOOL", kIn}}),
        event("ProgressChange", 10, {browser, {"Progress", "long", kIn}, {"ProgressMax", "long", kIn}}),
        event("TitleChange", 11, {browser, {"Text", "BSTR", kIn}}),
        event("WindowClosing", 12, {browser, {"IsChildWindow", "VARIANT_BOOL", kIn}, cancel}),
        event("BrowserCreated", 13, {browser}),
        event("BrowserDestroyed", 14, {}),
    };
    EXPECT_EQ(FunctionsOf(events.Get()), expected);
}

TEST_F(TypeLibraryTest, IWebBrowser2IsReferencedFromTheBrowsersOwnLibraryNotCopied)
{
    // A copy would make a sixth type; the reference resolves into SHDocVw 1.1.
    ComPtr<ITypeInfo> found;
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IWebBrowser2, &found), TYPE_E_ELEMENTNOTFOUND);

    const ComPtr<ITypeInfo> vtable = VtableOf(At(2).Get());
    FUNCDESC* item = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(1, &item), S_OK);
    const TYPEDESC* type = &item->lprgelemdescParam[1].tdesc;
    while (type->vt == VT_PTR)
        type = type->lptdesc;
    ComPtr<ITypeInfo> browser;
    ASSERT_EQ(vtable->GetRefTypeInfo(type->hreftype, &browser), S_OK);
    vtable->ReleaseFuncDesc(item);
    EXPECT_EQ(Attributes(browser.Get()).guid, IID_IWebBrowser2);

    ComPtr<ITypeLib> owner;
    UINT index = 0;
    ASSERT_EQ(browser->GetContainingTypeLib(&owner, &index), S_OK);
    TLIBATTR* attributes = nullptr;
    owner->GetLibAttr(&attributes);
    EXPECT_EQ(attributes->guid, kShDocVw);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 1);
    owner->ReleaseTLibAttr(attributes);

    // IDispatch comes from stdole2.
    const ComPtr<ITypeInfo> events = At(4);
    HREFTYPE base = 0;
    ComPtr<ITypeInfo> dispatch;
    events->GetRefTypeOfImplType(0, &base);
    ASSERT_EQ(events->GetRefTypeInfo(base, &dispatch), S_OK);
    ComPtr<ITypeLib> stdole;
    dispatch->GetContainingTypeLib(&stdole, &index);
    stdole->GetLibAttr(&attributes);
    EXPECT_EQ(attributes->guid, kStdOle);
    EXPECT_EQ(attributes->wMajorVerNum, 2);
    stdole->ReleaseTLibAttr(attributes);
}

}  // namespace
}  // namespace tessaly::test
