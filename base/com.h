// COM without ATL: reference counting, the module's object count, early-return macros in
// the manner of WIL, and the boundary at which C++ exceptions become HRESULTs.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <wrl/client.h>

#include <atomic>
#include <new>
#include <utility>

#include "base/trace_win.h"

// mingw-w64's ComPtr has no comparison of its own, so that "a == b" compared only whether
// each holds a pointer (through its conversion to bool). These compare the pointers.
namespace Microsoft::WRL {
template <typename T, typename U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b)
{
    return a.Get() == b.Get();
}
}  // namespace Microsoft::WRL

namespace quellix {

using Microsoft::WRL::ComPtr;

// Live objects and server locks of this module, for DllCanUnloadNow.
class ModuleCount {
public:
    static void Increment() { s_count.fetch_add(1, std::memory_order_relaxed); }
    static void Decrement() { s_count.fetch_sub(1, std::memory_order_relaxed); }
    static long Value() { return s_count.load(std::memory_order_relaxed); }

private:
    static inline std::atomic<long> s_count{0};
};

// The reference count of one object, shared by all its interfaces. The class that derives
// from ComObject lists its interfaces as the template's arguments and writes its own
// QueryInterface (a QITAB table and QISearch keep that short).
template <typename... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const long refs = --m_refs;
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

protected:
    ComObject() { ModuleCount::Increment(); }
    virtual ~ComObject() { ModuleCount::Decrement(); }

private:
    // Apartment-threaded objects: one thread only, but the count stays honest if a
    // careless caller crosses threads.
    std::atomic<long> m_refs{1};
};

// Takes over a reference the caller owns already. Not ComPtr::Attach: mingw-w64's adds a
// reference of its own, which would leak.
template <typename T>
ComPtr<T> Adopt(T* owned)
{
    ComPtr<T> pointer;
    *pointer.GetAddressOf() = owned;
    return pointer;
}

// Creates an object whose constructor took the first reference.
template <typename T, typename... Args>
ComPtr<T> MakeCom(Args&&... args)
{
    return Adopt(new (std::nothrow) T(std::forward<Args>(args)...));
}

// Hands out an interface of `object` through an [out] pointer, with a reference of its own.
template <typename I, typename T>
HRESULT CopyTo(const ComPtr<T>& object, I** out)
{
    if (!out)
        return E_POINTER;
    *out = object.Get();
    if (*out)
        (*out)->AddRef();
    return S_OK;
}

// QueryInterface of an object that is reached only through its own code: IUnknown is all it
// answers (with `identity`, its one IUnknown).
inline HRESULT QueryUnknownOnly(IUnknown* identity, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown)
        return E_NOINTERFACE;
    *object = identity;
    identity->AddRef();
    return S_OK;
}

}  // namespace quellix

// Early returns on failure, each traced with its place (base/trace_win.h).
#define RETURN_IF_FAILED(expr)                                                                                         \
    do {                                                                                                               \
        const HRESULT hr_ = (expr);                                                                                    \
        if (FAILED(hr_)) {                                                                                             \
            ::quellix::trace::Failure(__FILE__, __LINE__, #expr, hr_);                                                 \
            return hr_;                                                                                                \
        }                                                                                                              \
    } while (0)

#define RETURN_HR_IF(hr, condition)                                                                                    \
    do {                                                                                                               \
        if (condition) {                                                                                               \
            ::quellix::trace::Failure(__FILE__, __LINE__, #condition, (hr));                                           \
            return (hr);                                                                                               \
        }                                                                                                              \
    } while (0)

#define RETURN_IF_NULL_ALLOC(pointer) RETURN_HR_IF(E_OUTOFMEMORY, !(pointer))

#define RETURN_LAST_ERROR_IF(condition)                                                                                \
    do {                                                                                                               \
        if (condition) {                                                                                               \
            const HRESULT hr_ = HRESULT_FROM_WIN32(GetLastError());                                                    \
            ::quellix::trace::Failure(__FILE__, __LINE__, #condition, hr_);                                            \
            return hr_;                                                                                                \
        }                                                                                                              \
    } while (0)

// Wraps the body of a COM method that may allocate: no C++ exception crosses the boundary.
#define COM_TRY_BEGIN try {
#define COM_TRY_END                                                                                                    \
    }                                                                                                                  \
    catch (const std::bad_alloc&)                                                                                      \
    {                                                                                                                  \
        return E_OUTOFMEMORY;                                                                                          \
    }                                                                                                                  \
    catch (...)                                                                                                        \
    {                                                                                                                  \
        return E_UNEXPECTED;                                                                                           \
    }
