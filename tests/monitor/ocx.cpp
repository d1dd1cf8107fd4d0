#include "tests/monitor/ocx.h"

#include "monitor/tessaly.h"

namespace tessaly::test {

std::wstring ProgramFolder()
{
    if (const wchar_t* other = _wgetenv(L"QUELLIX_PROGRAM_FOLDER"); other && *other)
        return other;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.resize(path.find_last_of(L'\\') + 1);
    path += QUELLIX_BIN_FROM_TESTS;
    wchar_t full[MAX_PATH];
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring OcxPath()
{
    return ProgramFolder() + L"\\tessaly.ocx";
}

HRESULT CallExport(const char* name)
{
    const quellix::UniqueHmodule library(LoadLibraryW(OcxPath().c_str()));
    using Export = HRESULT(WINAPI*)();
    const auto call = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(library.get(), name)));
    return call ? call() : E_FAIL;
}

Ocx::Ocx(const std::wstring& path) : m_module(LoadLibraryW(path.c_str())) {}

HRESULT Ocx::CreateControl(REFIID riid, void** object) const
{
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto get =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(m_module.get(), "DllGetClassObject")));
    if (!get)
        return E_FAIL;
    quellix::ComPtr<IClassFactory> factory;
    RETURN_IF_FAILED(get(kClsidIEEvents, IID_PPV_ARGS(&factory)));
    return factory->CreateInstance(nullptr, riid, object);
}

HRESULT Ocx::CanUnloadNow() const
{
    using CanUnload = HRESULT(WINAPI*)();
    const auto canUnload =
        reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(m_module.get(), "DllCanUnloadNow")));
    return canUnload ? canUnload() : E_FAIL;
}

}  // namespace tessaly::test
