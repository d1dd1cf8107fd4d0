// Ownership of Win32 handles and COM-adjacent resources: one move-only template, with the
// closing function as a parameter. put() closes the old value before handing out its
// address, so passing it to a function that writes a new handle cannot leak.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace quellix {

// Traits give the handle type, its "no handle" value and how to close it.
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type value) : m_value(value) {}
    UniqueHandle(UniqueHandle&& other) noexcept : m_value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Type get() const { return m_value; }
    explicit operator bool() const { return m_value != Traits::Invalid(); }

    Type* put()
    {
        reset();
        return &m_value;
    }
    Type release() { return std::exchange(m_value, Traits::Invalid()); }
    void reset(Type value = Traits::Invalid())
    {
        if (m_value != Traits::Invalid())
            Traits::Close(m_value);
        m_value = value;
    }

private:
    Type m_value = Traits::Invalid();
};

template <typename T, auto CloseFunction>
struct NullTraits {
    using Type = T;
    static constexpr Type Invalid() { return nullptr; }
    static void Close(Type value) { CloseFunction(value); }
};

struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) { CloseHandle(value); }
};

using UniqueHkey = UniqueHandle<NullTraits<HKEY, RegCloseKey>>;
using UniqueHwnd = UniqueHandle<NullTraits<HWND, DestroyWindow>>;
using UniqueHicon = UniqueHandle<NullTraits<HICON, DestroyIcon>>;
using UniqueHmenu = UniqueHandle<NullTraits<HMENU, DestroyMenu>>;
using UniqueHfont = UniqueHandle<NullTraits<HFONT, DeleteObject>>;
using UniqueHbrush = UniqueHandle<NullTraits<HBRUSH, DeleteObject>>;
using UniqueHbitmap = UniqueHandle<NullTraits<HBITMAP, DeleteObject>>;
using UniqueHdc = UniqueHandle<NullTraits<HDC, DeleteDC>>;
using UniqueHmodule = UniqueHandle<NullTraits<HMODULE, FreeLibrary>>;
using UniqueHhook = UniqueHandle<NullTraits<HHOOK, UnhookWindowsHookEx>>;
using UniqueBstr = UniqueHandle<NullTraits<BSTR, SysFreeString>>;
using UniqueFile = UniqueHandle<FileTraits>;
// A kernel object that is null when there is none (a mutex, an event, a process).
using UniqueKernelHandle = UniqueHandle<NullTraits<HANDLE, CloseHandle>>;

// A device context borrowed from a window (the screen's, for none), given back at the end.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    ~ScopedGetDC()
    {
        if (m_dc)
            ReleaseDC(m_window, m_dc);
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// An object selected into a device context, and the one it replaced put back at the end.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ~ScopedSelectObject()
    {
        if (m_previous)
            SelectObject(m_dc, m_previous);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// A VARIANT that clears itself.
class UniqueVariant : public VARIANT {
public:
    UniqueVariant() { VariantInit(this); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(this); }
    VARIANT* put()
    {
        VariantClear(this);
        return this;
    }
};

}  // namespace quellix
