#include "blocker/platform_win.h"

#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>

#include "base/utf.h"

namespace quellix {

std::uint16_t Win32KeyState::Query(int virtualKey)
{
    return static_cast<std::uint16_t>(GetAsyncKeyState(virtualKey));
}

std::uint32_t Win32Ticks::Now()
{
    return GetTickCount();
}

namespace {

// One tone at a time: a burst of blocks sounds as one tone, not as a queue of them that
// goes on long after the burst.
std::atomic<bool> g_tonePlaying{false};

void CALLBACK PlayTone(PTP_CALLBACK_INSTANCE, void* context)
{
    const auto tone = reinterpret_cast<std::uintptr_t>(context);
    ::Beep(static_cast<DWORD>(tone >> 16), static_cast<DWORD>(tone & 0xFFFF));
    g_tonePlaying = false;
}

}  // namespace

void Win32Alerts::Beep(unsigned frequencyHz, unsigned durationMs)
{
    if (g_tonePlaying.exchange(true))
        return;
    // Both fit 16 bits: the tone travels in the context pointer, and nothing is allocated.
    const auto tone = (static_cast<std::uintptr_t>(frequencyHz & 0xFFFF) << 16) | (durationMs & 0xFFFF);
    if (!TrySubmitThreadpoolCallback(PlayTone, reinterpret_cast<void*>(tone), nullptr))
        g_tonePlaying = false;
}

void Win32Alerts::TimeFlash(unsigned durationMs)
{
    SetTimer(m_owner, kFlashTimer, durationMs, nullptr);
}

void Win32ShellOpener::Open(const std::string& address)
{
    // Wine's ShellExecute (8.0) overruns a buffer of its own with an address of about a
    // thousand characters and takes the process down; Windows takes the browser's 2,083.
    static const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (underWine && address.size() > 900)
        return;
    ShellExecuteW(m_owner, L"open", Widen(address).c_str(), nullptr, nullptr, SW_SHOW);
}

std::optional<std::string> Win32CodePage::FromUtf8(std::string_view utf8)
{
    if (GetACP() == CP_UTF8)
        return std::string(utf8);
    const std::wstring wide = Widen(utf8);
    if (wide.empty())
        return std::string();
    const int size = static_cast<int>(wide.size());
    // Without best-fit mapping a character with no exact 8-bit form shows up as the default
    // character, which is what tells us to keep the text as UTF-8 instead.
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr,
                                           &lossy);
    if (length == 0 || lossy)
        return std::nullopt;
    std::string bytes(length, '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, bytes.data(), length, nullptr, &lossy);
    return lossy ? std::nullopt : std::optional<std::string>(std::move(bytes));
}

std::string Win32CodePage::ToUtf8(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    std::wstring wide(MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), static_cast<int>(wide.size()));
    return Narrow(wide);
}

std::wstring ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(path.find_last_of(L'\\') == std::wstring::npos ? 0 : path.find_last_of(L'\\'));
    return path;
}

ListLocation DefaultListLocation(std::string_view fileName)
{
    const std::string program = Narrow(ProgramFolder());
    wchar_t localAppData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, localAppData)))
        return ListLocationFor(program, program, fileName);
    return ListLocationFor(program, Narrow(localAppData) + "\\Quellix", fileName);
}

}  // namespace quellix
