#include "tests/sim/desktop.h"

#include <shlwapi.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace quellix::sim {

// Hands out the desktop's one list to every CoCreateInstance and counts them.
class ListFactory final : public ComObject<IClassFactory> {
public:
    explicit ListFactory(ComPtr<ShellWindows> list) : m_list(std::move(list)) {}

    int Creations() const { return m_creations; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB interfaces[] = {QITABENT(ListFactory, IClassFactory), {}};
        return QISearch(this, interfaces, riid, object);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        RETURN_HR_IF(E_POINTER, !object);
        *object = nullptr;
        RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer);
        ++m_creations;
        return m_list->QueryInterface(riid, object);
    }

    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    const ComPtr<ShellWindows> m_list;
    int m_creations = 0;
};

namespace {

// Wine accepts a second registration of the class but goes on answering with the first,
// so a second desktop would see nothing and say nothing.
bool g_desktopLives = false;

// Values that are no window (IsWindow says so), distinct for the whole test program.
HWND NextFakeWindow()
{
    static std::uintptr_t last = 0x7FFE0000;
    HWND hwnd;
    do {
        last += 0x10;
        hwnd = reinterpret_cast<HWND>(last);
    } while (IsWindow(hwnd));
    return hwnd;
}

// Under Xvfb, with no window manager, Wine waits 2 s for one each time such a window is
// hidden or destroyed; "Managed" = "N" under HKCU\Software\Wine\X11 Driver removes the wait.
UniqueHwnd CreateFrameWindow(const std::wstring& title)
{
    constexpr wchar_t kClass[] = L"IEFrame";
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // Once per program; a class already there (from an earlier Desktop) serves as well.
    static const bool registered = [&] {
        WNDCLASSEXW frame{};
        frame.cbSize = sizeof frame;
        frame.lpfnWndProc = DefWindowProcW;
        frame.hInstance = instance;
        frame.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        frame.lpszClassName = kClass;
        return RegisterClassExW(&frame) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    if (!registered)
        return {};
    UniqueHwnd window(CreateWindowExW(0, kClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                      640, 480, nullptr, nullptr, instance, nullptr));
    // Shown without activation, so as not to take the focus from whatever else runs.
    if (window)
        ShowWindow(window.get(), SW_SHOWNOACTIVATE);
    return window;
}

}  // namespace

const GUID& StandInListClsid()
{
    static const GUID clsid = [] {
        GUID made{};
        CoCreateGuid(&made);
        return made;
    }();
    return clsid;
}

Desktop::Desktop() : m_list(MakeCom<ShellWindows>())
{
    if (g_desktopLives)
        throw std::logic_error("a quellix::sim::Desktop already exists in this process");
    if (m_list)
        m_factory = MakeCom<ListFactory>(m_list);
    if (!m_factory)
        throw std::bad_alloc();
    // Registered for local servers too: the product may ask for the list out of process,
    // where the real one lives. Other processes of the prefix still reach Wine's own list
    // (Wine 8), so test programs that run side by side do not see each other's.
    const HRESULT hr = CoRegisterClassObject(CLSID_ShellWindows, static_cast<IClassFactory*>(m_factory.Get()),
                                             CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                             &m_registration);
    if (FAILED(hr)) {
        char message[80];
        std::snprintf(message, sizeof message, "CoRegisterClassObject(CLSID_ShellWindows) failed: 0x%08lX",
                      static_cast<unsigned long>(hr));
        throw std::runtime_error(message);
    }
    // The same list under its own class, for programs redirected to it (see the header).
    CoRegisterClassObject(StandInListClsid(), static_cast<IClassFactory*>(m_factory.Get()),
                          CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &m_standInRegistration);
    g_desktopLives = true;
}

Desktop::~Desktop()
{
    CoRevokeClassObject(m_registration);
    if (m_standInRegistration)
        CoRevokeClassObject(m_standInRegistration);
    g_desktopLives = false;
    // Registered browsers and the list hold each other.
    m_list->Clear();
}

ComPtr<Browser> Desktop::Open(const std::wstring& url, std::optional<HWND> hwnd)
{
    return Registered(Create(url, hwnd));
}

ComPtr<Browser> Desktop::Open(const std::wstring& url, RealWindow)
{
    return Registered(Create(url, kRealWindow));
}

ComPtr<Browser> Desktop::Create(const std::wstring& url, std::optional<HWND> hwnd)
{
    return MakeCom<Browser>(m_list, url, hwnd ? *hwnd : NextFakeWindow());
}

ComPtr<Browser> Desktop::Create(const std::wstring& url, RealWindow)
{
    UniqueHwnd window = CreateFrameWindow(url);
    if (!window)
        return nullptr;
    return MakeCom<Browser>(m_list, url, std::move(window));
}

void Desktop::Register(Browser& browser)
{
    m_list->Add(browser);
}

void Desktop::Revoke(Browser& browser)
{
    m_list->Remove(browser);
}

int Desktop::ListCreations() const
{
    return m_factory->Creations();
}

ComPtr<Browser> Desktop::Registered(ComPtr<Browser> browser)
{
    if (browser)
        m_list->Add(*browser.Get());
    return browser;
}

}  // namespace quellix::sim
