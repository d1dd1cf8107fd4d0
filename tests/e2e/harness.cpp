#include "tests/e2e/harness.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include "base/utf.h"
#include "shell/single_instance_win.h"
#include "tests/monitor/ocx.h"

namespace quellix::e2e {

namespace {

constexpr wchar_t kOptionsKey[] = L"Software\\Quellix\\Options";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr UINT kTrayCallbackMessage = 1400;

std::wstring UserFolder()
{
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + L"\\Quellix";
}

// A copy left running by a test that was killed would take every later start for a second
// copy, and end it.
void EndLeftoverCopies()
{
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"norvane.exe") != 0)
            continue;
        const UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process && TerminateProcess(process.get(), 98))
            WaitForSingleObject(process.get(), 5000);
    }
}

void SendKey(WORD key, bool up)
{
    INPUT event{};
    event.type = INPUT_KEYBOARD;
    event.ki.wVk = key;
    event.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &event, sizeof event);
}

}  // namespace

void Pump(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Pump(5);
    }
    return true;
}

void BroadcastTaskbarCreated()
{
    SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
}

Environment::Environment()
{
    tessaly::test::CallExport("DllRegisterServer");
    wchar_t standIn[40];
    StringFromGUID2(sim::StandInListClsid(), standIn, 40);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, sim::kShellWindowsTreatAsKey, nullptr, REG_SZ, standIn,
                    static_cast<DWORD>((wcslen(standIn) + 1) * sizeof(wchar_t)));
}

Environment::~Environment()
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, sim::kShellWindowsTreatAsKey);
    tessaly::test::CallExport("DllUnregisterServer");
}

void SetOption(const wchar_t* name, const wchar_t* value)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, kOptionsKey, name, REG_SZ, value,
                    static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

std::wstring Option(const wchar_t* name)
{
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kOptionsKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return value;
}

std::optional<std::wstring> RunAtLogOnValue()
{
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"Quellix", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void ForgetEverything()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quellix");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Quellix");
    for (const std::wstring& folder : {ProgramFolder(), UserFolder()}) {
        DeleteFileW((folder + L"\\Allow.txt").c_str());
        DeleteFileW((folder + L"\\Sites.txt").c_str());
    }
    DeleteFileW((UserFolder() + L"\\trace.log").c_str());
    DeleteFileW((UserFolder() + L"\\trace.log.old").c_str());
}

std::string TraceFile()
{
    UniqueFile file(CreateFileW((UserFolder() + L"\\trace.log").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    std::string text(1 << 20, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr))
        read = 0;
    text.resize(read);
    return text;
}

std::optional<std::string> AllowFile()
{
    UniqueFile file(CreateFileW((ProgramFolder() + L"\\Allow.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file)
        return std::nullopt;
    std::string bytes(GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

void WriteAllowFile(const std::string& bytes)
{
    UniqueFile file(CreateFileW((ProgramFolder() + L"\\Allow.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                nullptr));
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// --- Program --------------------------------------------------------------------------------

Program::Program(sim::Desktop& desktop) : m_desktop(desktop) {}

Program::~Program()
{
    if (Running()) {
        PostMessageW(m_main, RegisterWindowMessageW(kQuitMessage), 0, 0);
        if (!WaitForExit(10000))
            TerminateProcess(m_process.handle.get(), 99);
    }
}

bool Program::Start(StartTimes* times)
{
    LARGE_INTEGER frequency, started;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    auto elapsedMs = [&] {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - started.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    };
    StartTimes ignored;
    if (!times)
        times = &ignored;

    EndLeftoverCopies();
    const long walksBefore = m_desktop.Calls().Count(sim::Call::kNewEnum);
    std::wstring commandLine = L"\"" + ProgramFolder() + L"\\norvane.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    m_process.handle.reset(process.hProcess);
    m_process.id = process.dwProcessId;

    // Ready once its window is there and the monitor has walked the window list twice (the
    // tracker's first walk, then the one that fills the list) and the hot key is in place.
    auto find = [this] {
        m_main = nullptr;
        EnumWindows(FindMain, reinterpret_cast<LPARAM>(this));
        return m_main != nullptr;
    };
    // The start-up sequence ends by showing the window; one that starts hidden is ready a
    // moment after its second walk of the window list.
    auto note = [&] {
        if (!m_main)
            return;
        if (times->trayIconMs < 0 && TrayIconPresent())
            times->trayIconMs = elapsedMs();
        if (times->windowMs < 0 && Visible())
            times->windowMs = elapsedMs();
    };
    if (!PumpUntil(
            [&] {
                const bool ready = !Running() ||
                                   (find() && m_desktop.Calls().Count(sim::Call::kNewEnum) >= walksBefore + 2);
                note();
                return ready;
            },
            20000))
        return false;
    if (!PumpUntil(
            [&] {
                note();
                return !Running() || Visible();
            },
            1000))
        Pump(300);
    note();
    return Running();
}

BOOL CALLBACK Program::FindMain(HWND window, LPARAM self)
{
    auto* program = reinterpret_cast<Program*>(self);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (owner == program->m_process.id && wcscmp(name, L"NoZirOd") == 0) {
        program->m_main = window;
        return FALSE;
    }
    return TRUE;
}

bool Program::Running() const
{
    return m_process.handle && WaitForSingleObject(m_process.handle.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Program::WaitForExit(DWORD timeoutMs)
{
    if (!m_process.handle)
        return std::nullopt;
    if (!PumpUntil([this] { return !Running(); }, timeoutMs))
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(m_process.handle.get(), &code);
    return code;
}

std::wstring Program::Text(int id) const
{
    wchar_t text[512] = {};
    GetWindowTextW(Item(id), text, 512);
    return text;
}

std::pair<HWND, std::wstring> Balloon()
{
    for (HWND tip = nullptr; (tip = FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr));) {
        DWORD process = 0;
        GetWindowThreadProcessId(tip, &process);
        if (process == GetCurrentProcessId() || !IsWindowVisible(tip))
            continue;
        // A tooltip answers WM_GETTEXT with the tip it shows; GetWindowText would not ask it.
        wchar_t text[256] = {};
        DWORD_PTR length = 0;
        if (SendMessageTimeoutW(tip, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000,
                                &length) &&
            text[0])
            return {tip, text};
    }
    return {};
}

std::vector<std::wstring> ListBoxEntries(HWND box)
{
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<std::size_t>(SendMessageW(box, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        const LRESULT length = SendMessageW(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        entries.push_back(text);
    }
    return entries;
}

std::vector<std::wstring> Program::ListEntries(int id) const
{
    return ListBoxEntries(Item(id));
}

bool Program::TrayIconPresent() const
{
    // Modifying nothing succeeds only for an icon that is there.
    NOTIFYICONDATAW identity{};
    identity.cbSize = NOTIFYICONDATAW_V1_SIZE;
    identity.hWnd = m_main;
    return Shell_NotifyIconW(NIM_MODIFY, &identity) != FALSE;
}

void Program::Command(int id) const
{
    PostMessageW(m_main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void Program::DoubleClickEntry(int listId, int index) const
{
    // What a double-click delivers to the list box, at the middle of the entry.
    const HWND list = Item(listId);
    RECT entry{};
    SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&entry));
    const LPARAM at = MAKELPARAM((entry.left + entry.right) / 2, (entry.top + entry.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
}

void Program::TrayRightClick() const
{
    PostMessageW(m_main, kTrayCallbackMessage, 0, WM_RBUTTONUP);
}

void Program::TrayDoubleClick() const
{
    PostMessageW(m_main, kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
}

HWND Program::WaitForWindow(const wchar_t* caption, const wchar_t* windowClass, DWORD timeoutMs) const
{
    HWND found = nullptr;
    PumpUntil(
        [&] {
            found = FindWindowW(windowClass, caption);
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    return found && IsWindowVisible(found) ? found : nullptr;
}

// --- RemoteControl --------------------------------------------------------------------------

RemoteControl::RemoteControl(const std::wstring& ocx) : m_recorder(MakeCom<tessaly::test::EventSink>())
{
    m_recorder->handler = [this](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id == kDone && args.size() == 1)
            m_result = args[0]->lVal;
    };
    CoCreateGuid(&m_class);
    m_registration.emplace(m_class, static_cast<IDispatch*>(m_recorder.Get()));
    wchar_t name[40];
    StringFromGUID2(m_class, name, 40);
    wchar_t host[MAX_PATH];
    GetFullPathNameW((ProgramFolder() + L"\\" QUELLIX_HOST_FROM_BIN).c_str(), MAX_PATH, host, nullptr);
    std::wstring commandLine = L"\"" + std::wstring(host) + L"\" " + name;
    if (!ocx.empty())
        commandLine += L" \"" + ocx + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    m_process.reset(process.hProcess);
    m_thread = process.dwThreadId;
    m_started = Await() == S_OK;
}

RemoteControl::~RemoteControl()
{
    if (m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT && !End())
        TerminateProcess(m_process.get(), 99);
}

HRESULT RemoteControl::Await()
{
    // The host calls in to report; this thread must take its calls meanwhile.
    if (!PumpUntil([this] { return m_result || WaitForSingleObject(m_process.get(), 0) != WAIT_TIMEOUT; }, 60000))
        return E_ABORT;
    const HRESULT result = m_result.value_or(E_ABORT);
    m_result.reset();
    return result;
}

HRESULT RemoteControl::SetEnabled(bool on)
{
    if (!PostThreadMessageW(m_thread, kEnable, on, 0))
        return HRESULT_FROM_WIN32(GetLastError());
    return Await();
}

bool RemoteControl::End()
{
    if (!PostThreadMessageW(m_thread, kQuit, 0, 0))
        return false;
    const HRESULT unloadable = Await();
    PumpUntil([this] { return WaitForSingleObject(m_process.get(), 0) != WAIT_TIMEOUT; }, 10000);
    return unloadable == S_OK;
}

std::vector<tessaly::test::EventSink::Event> RemoteControl::Events() const
{
    std::vector<tessaly::test::EventSink::Event> events;
    for (const auto& event : m_recorder->events) {
        if (event.id != kDone)
            events.push_back(event);
    }
    return events;
}

// --- input ------------------------------------------------------------------------------------

namespace input {

void Click()
{
    INPUT event{};
    event.type = INPUT_MOUSE;
    event.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &event, sizeof event);
    Pump(100);
    event.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &event, sizeof event);
}

void Press(WORD key)
{
    SendKey(key, false);
}

void Release(WORD key)
{
    SendKey(key, true);
}

void Chord(std::initializer_list<WORD> keys)
{
    for (const WORD key : keys)
        Press(key);
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
        Release(*key);
}

}  // namespace input

}  // namespace quellix::e2e
