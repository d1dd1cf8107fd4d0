// The whole program as a user meets it: norvane.exe in a process of its own, watching
// browsers that live in this process (the stand-in environment, reached through COM from
// norvane's side as the real shell's list is), driven with real input and read back the way
// a user sees it: window texts, list contents, which browser windows exist and show, the
// files and registry values left behind.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/unique_handle.h"
#include "tests/monitor/host.h"
#include "tests/monitor/ocx.h"
#include "tests/sim/desktop.h"

namespace quellix::e2e {

// Handles this thread's messages for `milliseconds`: norvane's calls into the stand-in
// browsers arrive here as messages, and a window's timers tick.
void Pump(DWORD milliseconds);
// What a list box shows, line by line (one of another process's too).
std::vector<std::wstring> ListBoxEntries(HWND box);
// Pumps until `done` holds or `timeoutMs` passes; returns whether it held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// What a shell that (re)starts tells every top-level window once its task bar is up.
void BroadcastTaskbarCreated();
// The balloon the shell shows over a notification-area icon, and its text; null and empty
// while none shows. Under Wine it is a tooltip window of the shell's own process, shown a
// moment (2 s) after it was asked for.
std::pair<HWND, std::wstring> Balloon();

// Where norvane.exe and tessaly.ocx were built (or QUELLIX_PROGRAM_FOLDER, if set).
using tessaly::test::ProgramFolder;

// The prefix's side of the stand-in: tessaly.ocx registered, and CLSID_ShellWindows
// treated as the stand-in list's class. Undone by the destructor.
class Environment {
public:
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;
};

// Settings of the program (HKCU\Software\Quellix\Options) and its other traces.
void SetOption(const wchar_t* name, const wchar_t* value);
std::wstring Option(const wchar_t* name);
std::optional<std::wstring> RunAtLogOnValue();
void ForgetEverything();  // settings, run value, Allow.txt, the trace
std::string TraceFile();
std::optional<std::string> AllowFile();
void WriteAllowFile(const std::string& bytes);

// One run of norvane.exe.
class Program {
public:
    explicit Program(sim::Desktop& desktop);
    ~Program();  // quits the program if it still runs

    // When, after the process was created, the tray icon and the main window appeared.
    struct StartTimes {
        double trayIconMs = -1;
        double windowMs = -1;
    };

    // Starts norvane.exe and waits until it watches every open browser.
    bool Start(StartTimes* times = nullptr);
    bool Running() const;
    // Waits for the process to end; its exit code, or nothing on a timeout.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = 10000);

    HWND Main() const { return m_main; }
    HWND Item(int id) const { return GetDlgItem(m_main, id); }
    std::wstring Text(int id) const;
    std::vector<std::wstring> ListEntries(int id) const;
    bool Visible() const { return IsWindowVisible(m_main) != FALSE; }
    // Whether the tray icon (main window, 0) is there.
    bool TrayIconPresent() const;

    // The user's ways in: a button or menu command, posted as the click would send it.
    void Command(int id) const;
    // A double-click on an entry of a list.
    void DoubleClickEntry(int listId, int index) const;
    // The tray icon: a right-click opens the menu, a double-click opens the window.
    void TrayRightClick() const;
    void TrayDoubleClick() const;

    // A window of the program with this caption (one of its modal windows by default), once
    // it shows.
    HWND WaitForWindow(const wchar_t* caption, const wchar_t* windowClass = L"QuellixModalWindow",
                       DWORD timeoutMs = 5000) const;

    HANDLE Process() const { return m_process.handle.get(); }

private:
    struct Child {
        UniqueFile handle;
        DWORD id = 0;
    };

    static BOOL CALLBACK FindMain(HWND window, LPARAM self);

    sim::Desktop& m_desktop;
    Child m_process;
    HWND m_main = nullptr;
};

// The monitor control in a process of its own (tessaly-host.exe), its events recorded
// here: the shell's stand-in, in this process, is then in another one than the control, as
// the real shell is.
class RemoteControl {
public:
    // Orders to the host (thread messages), and the report of its result (an event with
    // the result as its one argument).
    static constexpr UINT kEnable = WM_APP + 1;  // wParam: on or off
    static constexpr UINT kQuit = WM_APP + 2;
    static constexpr DISPID kDone = 1000;

    // From the built tessaly.ocx, or from `ocx`.
    explicit RemoteControl(const std::wstring& ocx = {});
    ~RemoteControl();  // ends the host if it still runs

    // Whether the host started and connected to the control's events.
    bool Started() const { return m_started; }
    HRESULT SetEnabled(bool on);
    // Lets go of the control and ends the host: whether the library could then be unloaded.
    bool End();

    // The events that arrived, reports left out.
    std::vector<tessaly::test::EventSink::Event> Events() const;

private:
    HRESULT Await();

    ComPtr<tessaly::test::EventSink> m_recorder;
    GUID m_class{};
    std::optional<sim::ClassRegistration> m_registration;
    UniqueKernelHandle m_process;
    DWORD m_thread = 0;
    std::optional<HRESULT> m_result;
    bool m_started = false;
};

// Real input, as a person gives it.
namespace input {
void Click();  // the left button, held about 100 ms
void Press(WORD key);
void Release(WORD key);
void Chord(std::initializer_list<WORD> keys);  // pressed in order, released in reverse
}  // namespace input

}  // namespace quellix::e2e
