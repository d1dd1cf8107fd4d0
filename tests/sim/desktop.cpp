#include "tests/sim/desktop.h"

#include <shlwapi.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace quellix::sim {

// Hands out one object to every CoCreateInstance and counts them.
class ClassRegistration::Factory final : public ComObject<IClassFactory> {
public:
    explicit Factory(ComPtr<IUnknown> object) : m_object(std::move(object)) {}

    int Creations() const { return m_creations; }
    void Answer(ComPtr<IUnknown> object) { m_object = std::move(object); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB interfaces[] = {QITABENT(Factory, IClassFactory), {}};
        return QISearch(this, interfaces, riid, object);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        RETURN_HR_IF(E_POINTER, !object);
        *object = nullptr;
        RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer);
        RETURN_HR_IF(CO_E_SERVER_EXEC_FAILURE, !m_object);
        ++m_creations;
        return m_object->QueryInterface(riid, object);
    }

    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ComPtr<IUnknown> m_object;
    int m_creations = 0;
};

ClassRegistration::ClassRegistration(const GUID& clsid, IUnknown* object)
    : m_factory(MakeCom<Factory>(ComPtr<IUnknown>(object)))
{
    if (!m_factory)
        throw std::bad_alloc();
    // For local servers too: the product may ask for the class out of process.
    const HRESULT hr = CoRegisterClassObject(clsid, static_cast<IClassFactory*>(m_factory.Get()),
                                             CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
    if (FAILED(hr)) {
        char message[80];
        std::snprintf(message, sizeof message, "CoRegisterClassObject failed: 0x%08lX", static_cast<unsigned long>(hr));
        throw std::runtime_error(message);
    }
}

ClassRegistration::~ClassRegistration()
{
    CoRevokeClassObject(m_cookie);
}

int ClassRegistration::Creations() const
{
    return m_factory->Creations();
}

void ClassRegistration::Answer(IUnknown* object)
{
    m_factory->Answer(ComPtr<IUnknown>(object));
}

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
    UniqueHwnd window(CreateWindowExW(0, kClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                                      480, nullptr, nullptr, instance, nullptr));
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
    if (!m_list)
        throw std::bad_alloc();
    // Other processes of the prefix still reach Wine's own list under its class (Wine 8),
    // so test programs that run side by side do not see each other's; a program redirected
    // to the stand-in's own class reaches this one (see the header).
    // A redirection left by a test process that was killed names a class nobody serves: every
    // creation of the list in the prefix would fail from then on.
    GUID treatedAs{};
    if (CoGetTreatAsClass(CLSID_ShellWindows, &treatedAs) == S_OK && treatedAs != StandInListClsid())
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kShellWindowsTreatAsKey);
    m_shellWindows.emplace(CLSID_ShellWindows, static_cast<IShellWindows*>(m_list.Get()));
    m_standIn.emplace(StandInListClsid(), static_cast<IShellWindows*>(m_list.Get()));
    g_desktopLives = true;
}

Desktop::~Desktop()
{
    m_shellWindows.reset();
    m_standIn.reset();
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

WindowRequestResult Desktop::RequestWindow(Browser& opener, const std::wstring& url, const WindowRequest& how)
{
    WindowRequestResult result;
    result.newWindow2 = opener.FireNewWindow2();
    if (result.newWindow2.cancel || how.cancelledAfterUs)
        return result;
    if (how.newWindow3) {
        result.newWindow3 = opener.FireNewWindow3(how.flags, opener.Url(), url);
        if (result.newWindow3->cancel)
            return result;
    }
    result.window = how.realWindow ? Create(L"", kRealWindow) : Create(L"");
    if (!result.window)
        return result;
    Register(*result.window.Get());
    if (!result.window->Quitted())
        result.window->Load(url);
    return result;
}

ComPtr<Browser> Desktop::UserWindow(const std::wstring& url)
{
    ComPtr<Browser> window = Create(L"");
    Register(*window.Get());
    window->Load(url);
    return window;
}

void Desktop::Register(Browser& browser)
{
    m_list->Add(browser);
}

void Desktop::Revoke(Browser& browser)
{
    m_list->Remove(browser);
}

void Desktop::EndShell(HRESULT answer)
{
    m_list->End(answer);
    m_shellWindows->Answer(nullptr);
    m_standIn->Answer(nullptr);
}

void Desktop::RestartShell()
{
    ComPtr<ShellWindows> list = MakeCom<ShellWindows>();
    if (!list)
        throw std::bad_alloc();
    m_list = std::move(list);
    m_shellWindows->Answer(static_cast<IShellWindows*>(m_list.Get()));
    m_standIn->Answer(static_cast<IShellWindows*>(m_list.Get()));
}

int Desktop::ListCreations() const
{
    return m_shellWindows->Creations() + m_standIn->Creations();
}

ComPtr<Browser> Desktop::Registered(ComPtr<Browser> browser)
{
    if (browser)
        m_list->Add(*browser.Get());
    return browser;
}

}  // namespace quellix::sim
