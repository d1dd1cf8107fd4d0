// The in-process server: its exports, the class factory of IEEvents, its registration and
// the type library it carries.
#include <windows.h>
#include <olectl.h>
#include <shlwapi.h>

#include <string>

#include "base/unique_handle.h"
#include "base/window.h"
#include "monitor/control.h"
#include "monitor/module.h"
#include "monitor/resource.h"
#include "monitor/tessaly.h"

// In oleaut32 since Windows Vista; mingw's headers do not declare them.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpFolder);
extern "C" HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID library, WORD major, WORD minor, LCID locale, SYSKIND kind);

namespace tessaly {

using quellix::ComPtr;

namespace {

// Loaded on first use; released once nothing of the library is alive any more, rather
// than in DllMain, where oleaut32 may already be gone.
ITypeLib* g_typeLibrary = nullptr;

void ReleaseTypeLibrary()
{
    // The owner, a temporary, releases it at once.
    quellix::Adopt(
        static_cast<ITypeLib*>(InterlockedExchangePointer(reinterpret_cast<void**>(&g_typeLibrary), nullptr)));
}

class ClassFactory final : public quellix::ComObject<IClassFactory> {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB table[] = {QITABENT(ClassFactory, IClassFactory), {}};
        return QISearch(this, table, riid, object);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return IEEvents::Create(riid, object);
    }

    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            quellix::ModuleCount::Increment();
        else
            quellix::ModuleCount::Decrement();
        return S_OK;
    }
};

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

LSTATUS SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    return RegSetKeyValueW(root, path.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Where the classes go: HKLM\Software\Classes for the machine, HKCU\Software\Classes for
// one user (no administrator rights needed).
HKEY ClassesRoot(bool perUser, quellix::UniqueHkey& holder)
{
    RegCreateKeyExW(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, holder.put(), nullptr);
    return holder.get();
}

HRESULT Unregister(bool perUser)
{
    quellix::UniqueHkey holder;
    const HKEY classes = ClassesRoot(perUser, holder);
    if (!classes)
        return SELFREG_E_CLASS;
    const std::wstring clsid = L"CLSID\\" + GuidText(kClsidIEEvents);
    SHDeleteKeyW(classes, clsid.c_str());
    SHDeleteKeyW(classes, kProgId);

    // The library as this build registered it (the 64-bit build exists for tests only).
    constexpr SYSKIND platform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    HRESULT hr = perUser ? UnRegisterTypeLibForUser(kLibraryId, kLibraryMajor, kLibraryMinor, LOCALE_NEUTRAL, platform)
                         : UnRegisterTypeLib(kLibraryId, kLibraryMajor, kLibraryMinor, LOCALE_NEUTRAL, platform);
    if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED)
        hr = S_OK;  // nothing left to take away
    // Whatever the type library's registration left of our interfaces goes too.
    for (const GUID* iid : {&kIidIEEvents, &kIidCBrowsers, &kDiidIEEventsEvents})
        SHDeleteKeyW(classes, (L"Interface\\" + GuidText(*iid)).c_str());
    SHDeleteKeyW(classes, (L"TypeLib\\" + GuidText(kLibraryId)).c_str());
    return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT Register(bool perUser)
{
    quellix::UniqueHkey holder;
    const HKEY classes = ClassesRoot(perUser, holder);
    if (!classes)
        return SELFREG_E_CLASS;

    const std::wstring path = ModulePath();
    const std::wstring clsid = L"CLSID\\" + GuidText(kClsidIEEvents);
    const std::wstring progId = kProgId;
    // What an in-process control's registration holds, key by key.
    const struct {
        std::wstring key;
        const wchar_t* name;  // null: the key's default value
        std::wstring value;
    } entries[] = {
        {clsid, nullptr, progId},
        {clsid + L"\\InprocServer32", nullptr, path},
        {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {clsid + L"\\ProgID", nullptr, progId},
        {clsid + L"\\Control", nullptr, L""},
        {clsid + L"\\MiscStatus", nullptr, L"0"},
        {clsid + L"\\MiscStatus\\1", nullptr, std::to_wstring(kMiscStatus)},
        {clsid + L"\\ToolboxBitmap32", nullptr, path + L", " + std::to_wstring(IDB_TOOLBOX)},
        {clsid + L"\\TypeLib", nullptr, GuidText(kLibraryId)},
        {clsid + L"\\Version", nullptr, std::to_wstring(kLibraryMajor) + L"." + std::to_wstring(kLibraryMinor)},
        {progId, nullptr, progId},
        {progId + L"\\CLSID", nullptr, GuidText(kClsidIEEvents)},
    };
    for (const auto& [key, name, value] : entries) {
        if (SetString(classes, key, name, value) != ERROR_SUCCESS) {
            Unregister(perUser);
            return SELFREG_E_CLASS;
        }
    }

    // Registering the type library lets COM marshal _IEEvents, __IEEvents and _cBrowsers.
    ComPtr<ITypeLib> library;
    HRESULT hr = TypeLibrary(&library);
    if (SUCCEEDED(hr))
        hr = perUser ? RegisterTypeLibForUser(library.Get(), const_cast<wchar_t*>(path.c_str()), nullptr)
                     : RegisterTypeLib(library.Get(), const_cast<wchar_t*>(path.c_str()), nullptr);
    if (FAILED(hr)) {
        Unregister(perUser);
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

}  // namespace

const wchar_t* ModulePath()
{
    static wchar_t path[MAX_PATH] = {};
    if (!path[0])
        GetModuleFileNameW(quellix::ThisInstance(), path, MAX_PATH);
    return path;
}

HRESULT TypeLibrary(ITypeLib** result)
{
    if (!result)
        return E_POINTER;
    *result = nullptr;
    if (!g_typeLibrary) {
        ComPtr<ITypeLib> loaded;
        RETURN_IF_FAILED(LoadTypeLibEx(ModulePath(), REGKIND_NONE, &loaded));
        // The library's from now on, unless another apartment was quicker.
        if (!InterlockedCompareExchangePointer(reinterpret_cast<void**>(&g_typeLibrary), loaded.Get(), nullptr))
            loaded.Detach();
    }
    *result = g_typeLibrary;
    (*result)->AddRef();
    return S_OK;
}

HRESULT TypeInfoOf(REFGUID id, ITypeInfo** result)
{
    if (!result)
        return E_POINTER;
    *result = nullptr;
    ComPtr<ITypeLib> library;
    RETURN_IF_FAILED(TypeLibrary(&library));
    ComPtr<ITypeInfo> info;
    RETURN_IF_FAILED(library->GetTypeInfoOfGuid(id, &info));

    TYPEATTR* attributes = nullptr;
    RETURN_IF_FAILED(info->GetTypeAttr(&attributes));
    const bool dual = attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attributes);
    if (dual) {
        HREFTYPE vtable = 0;
        ComPtr<ITypeInfo> interfaceInfo;
        RETURN_IF_FAILED(info->GetRefTypeOfImplType(-1, &vtable));
        RETURN_IF_FAILED(info->GetRefTypeInfo(vtable, &interfaceInfo));
        info = std::move(interfaceInfo);
    }
    *result = info.Detach();
    return S_OK;
}

}  // namespace tessaly

using namespace tessaly;

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != kClsidIEEvents)
        return CLASS_E_CLASSNOTAVAILABLE;
    const ComPtr<ClassFactory> factory = quellix::MakeCom<ClassFactory>();
    RETURN_IF_NULL_ALLOC(factory);
    return factory->QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow()
{
    if (quellix::ModuleCount::Value() != 0)
        return S_FALSE;
    ReleaseTypeLibrary();
    return S_OK;
}

STDAPI DllRegisterServer()
{
    COM_TRY_BEGIN
    return Register(false);
    COM_TRY_END
}

STDAPI DllUnregisterServer()
{
    COM_TRY_BEGIN
    return Unregister(false);
    COM_TRY_END
}

// "regsvr32 /n /i:user tessaly.ocx" and "regsvr32 /u /n /i:user tessaly.ocx": registration for the current user only.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine)
{
    const bool perUser = commandLine && _wcsicmp(commandLine, L"user") == 0;
    if (!perUser)
        return install ? DllRegisterServer() : DllUnregisterServer();
    COM_TRY_BEGIN
    return install ? Register(true) : Unregister(true);
    COM_TRY_END
}
