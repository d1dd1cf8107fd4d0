// One test's browser environment: the shell's window list, answered in this process for
// every CoCreateInstance(CLSID_ShellWindows), and the browsers registered in it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/com.h"
#include "tests/sim/browser.h"
#include "tests/sim/shell_windows.h"

namespace quellix::sim {

// An object that CoCreateInstance of a class answers with, in this process and, as a local
// server, in the other processes of the prefix; revoked with the registration.
class ClassRegistration {
public:
    // Throws std::runtime_error if the class object cannot be registered.
    ClassRegistration(const GUID& clsid, IUnknown* object);
    ~ClassRegistration();
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;
    // How many times CoCreateInstance was answered.
    int Creations() const;
    // What later creations get; with none, they fail as when the class's server cannot start.
    void Answer(IUnknown* object);

private:
    class Factory;
    ComPtr<Factory> m_factory;
    DWORD m_cookie = 0;
};

// The stand-in list's own class: a program of this prefix whose CLSID_ShellWindows is
// treated as this one (HKLM\Software\Classes\CLSID\{ShellWindows}\TreatAs) reaches the
// list of whichever process holds a Desktop, out of process, as it reaches the real one.
// A new one for every test process: a process that was killed leaves its class with the
// RPC service, and a later process that registered the same class would never be reached.
const GUID& StandInListClsid();
inline constexpr wchar_t kShellWindowsTreatAsKey[] =
    L"Software\\Classes\\CLSID\\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\\TreatAs";

// Asks Open or Create for a browser in a real, visible top-level window of the browser's
// frame class ("IEFrame"), titled with its address; Quit destroys the window.
struct RealWindow {};
inline constexpr RealWindow kRealWindow;

// A page's request for a new window, as the real browser handles it.
struct WindowRequest {
    DWORD flags = 0;          // NewWindow3's NWMF flags
    bool newWindow3 = true;   // false: a browser older than NewWindow3, which raises only NewWindow2
    bool realWindow = false;  // the new browser in a real window (see RealWindow)
    // Another add-on's handler, called after ours, cancels NewWindow2: nothing follows.
    bool cancelledAfterUs = false;
};
struct WindowRequestResult {
    NewWindowResult newWindow2{};
    std::optional<NewWindowResult> newWindow3;  // when it was raised
    ComPtr<Browser> window;                     // the new browser; null when it was never made
};

// Needs COM initialised (apartment-threaded) on the thread. The class object it registers
// answers the whole process, so there is one Desktop at a time.
class Desktop {
public:
    // Throws std::logic_error while another Desktop lives, std::runtime_error if the class
    // object cannot be registered.
    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // A browser at `url`, registered in the list (subscribers hear WindowRegistered before
    // this returns). get_HWND reports `hwnd`, or by default a value of its own that is no
    // real window; several browsers may share one value, as tabs of one frame do.
    ComPtr<Browser> Open(const std::wstring& url, std::optional<HWND> hwnd = {});
    // The same in a real window; null if no window can be made (no display).
    ComPtr<Browser> Open(const std::wstring& url, RealWindow);
    // A browser the list does not know (a frame, or one to register later).
    ComPtr<Browser> Create(const std::wstring& url, std::optional<HWND> hwnd = {});
    ComPtr<Browser> Create(const std::wstring& url, RealWindow);

    // `opener`'s page asks for a window at `url`: NewWindow2, then, unless that was cancelled
    // (and unless the browser has no NewWindow3), NewWindow3 with the flags, the page's
    // address and `url`; unless cancelled, the new browser is registered with the list
    // before its first navigation, its address empty, as browsers do, then goes to `url`.
    WindowRequestResult RequestWindow(Browser& opener, const std::wstring& url, const WindowRequest& how = {});
    WindowRequestResult RequestWindow(const ComPtr<Browser>& opener, const std::wstring& url,
                                      const WindowRequest& how = {})
    {
        return RequestWindow(*opener.Get(), url, how);
    }

    // A window the user opens with no event of any page (Ctrl+N, a shortcut): registered with
    // an empty address, then at `url`.
    ComPtr<Browser> UserWindow(const std::wstring& url);

    // Adds the browser (once) and fires WindowRegistered with its new cookie.
    void Register(Browser& browser);
    // Removes a registered browser and fires WindowRevoked; ignores any other.
    void Revoke(Browser& browser);

    // The shell's process ends (ShellWindows::End with `answer`); until RestartShell the
    // list's class answers nobody, as with no shell running.
    void EndShell(HRESULT answer = RPC_E_DISCONNECTED);
    // A new shell: a new list, with no windows and no subscribers, for every later
    // CoCreateInstance. The browsers opened from now on register with it.
    void RestartShell();

    // The list of the shell that runs, or last ran.
    ShellWindows& List() { return *m_list.Get(); }
    // How many times CoCreateInstance(CLSID_ShellWindows) was answered.
    int ListCreations() const;
    // DShellWindowsEvents connections currently advised.
    int ListSubscribers() const { return m_list->Subscribers(); }
    // Those and the subscriptions to each of `browsers`' events.
    long Subscriptions(const std::vector<ComPtr<Browser>>& browsers) const
    {
        long count = ListSubscribers();
        for (const ComPtr<Browser>& browser : browsers)
            count += browser->Subscribers();
        return count;
    }
    // Every call made into the environment, and re-entrant events on demand.
    CallWatch& Calls() { return m_list->Calls(); }

private:
    ComPtr<Browser> Registered(ComPtr<Browser> browser);

    ComPtr<ShellWindows> m_list;
    std::optional<ClassRegistration> m_shellWindows;
    std::optional<ClassRegistration> m_standIn;
};

}  // namespace quellix::sim
