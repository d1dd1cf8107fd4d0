// Where the tests find what the build made (norvane.exe, tessaly.ocx), and loading the built
// tessaly.ocx from a test, without registering it.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "base/com.h"
#include "base/unique_handle.h"

namespace tessaly::test {

// The folder that holds norvane.exe and tessaly.ocx as built (or QUELLIX_PROGRAM_FOLDER, to
// time another build side by side); the build tells the tests where it lies from theirs.
std::wstring ProgramFolder();
// The full path of the built library.
std::wstring OcxPath();
// Calls one of the library's exports that take nothing (DllRegisterServer and the like).
HRESULT CallExport(const char* name);

// The library loaded into this process, and a control made by its class factory.
class Ocx {
public:
    explicit Ocx(const std::wstring& path = OcxPath());
    HMODULE Module() const { return m_module.get(); }
    HRESULT CreateControl(REFIID riid, void** object) const;
    HRESULT CanUnloadNow() const;

    template <typename I>
    quellix::ComPtr<I> Create() const
    {
        quellix::ComPtr<I> control;
        CreateControl(__uuidof(I), reinterpret_cast<void**>(control.GetAddressOf()));
        return control;
    }

private:
    quellix::UniqueHmodule m_module;
};

// Initialises COM on the calling thread as a single-threaded apartment, for one test.
class Apartment {
public:
    Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Apartment() { CoUninitialize(); }
};

}  // namespace tessaly::test
