// Calls through IDispatch: the arguments as DISPPARAMS holds them (last first), by value or
// by reference to storage that the callee may write and the caller then reads; and the
// calls a caller makes most: reading or setting a property, calling a method without
// arguments.
//
// An object of another process answers IDispatch through a proxy that every caller has
// already; a call through it costs no proxy of the object's own (often large) interface.
#pragma once

#include <oleauto.h>

#include <type_traits>

namespace quellix {

inline HRESULT GetProperty(IDispatch* object, DISPID id, VARIANT* result)
{
    DISPPARAMS none{};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result, nullptr, nullptr);
}

inline HRESULT PutProperty(IDispatch* object, DISPID id, VARIANTARG value)
{
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

inline HRESULT CallMethod(IDispatch* object, DISPID id)
{
    DISPPARAMS none{};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
}

template <typename T>
VARIANTARG ByVal(T value)
{
    VARIANTARG arg;
    if constexpr (std::is_same_v<T, IDispatch*>) {
        arg.vt = VT_DISPATCH;
        arg.pdispVal = value;
    } else if constexpr (std::is_same_v<T, LONG>) {
        arg.vt = VT_I4;
        arg.lVal = value;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        arg.vt = VT_BSTR;
        arg.bstrVal = value;
    } else {
        static_assert(std::is_same_v<T, VARIANT_BOOL>, "an automation type");
        arg.vt = VT_BOOL;
        arg.boolVal = value;
    }
    return arg;
}

template <typename T>
VARIANTARG ByRef(T* storage)
{
    VARIANTARG arg;
    if constexpr (std::is_same_v<T, IDispatch*>) {
        arg.vt = VT_BYREF | VT_DISPATCH;
        arg.ppdispVal = storage;
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        arg.vt = VT_BYREF | VT_VARIANT;
        arg.pvarVal = storage;
    } else {
        static_assert(std::is_same_v<T, VARIANT_BOOL>, "an automation type");
        arg.vt = VT_BYREF | VT_BOOL;
        arg.pboolVal = storage;
    }
    return arg;
}

}  // namespace quellix
