#include "base/window.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quellix {

HINSTANCE ThisInstance()
{
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ThisInstance();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);  // fails, harmlessly, when it is registered already
}

}  // namespace quellix
