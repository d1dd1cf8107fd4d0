// What the library knows about itself: its path and its type library.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "base/com.h"

namespace tessaly {

// The full path of tessaly.ocx.
const wchar_t* ModulePath();

// The library's own type library (resource 1 of the module), loaded once.
HRESULT TypeLibrary(ITypeLib** result);
// The type information of one of the library's interfaces or classes. For a dual interface
// this is its vtable half, which ITypeInfo::Invoke needs to call through the vtable.
HRESULT TypeInfoOf(REFGUID id, ITypeInfo** result);

}  // namespace tessaly
