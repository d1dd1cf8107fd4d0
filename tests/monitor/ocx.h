// Loading the built tessaly.ocx from a test, without registering it.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "base/com.h"
#include "base/unique_handle.h"

namespace tessaly::test {

// The full path of the built library; the build tells the tests where it lies relative to
// the test program.
std::wstring OcxPath();

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
