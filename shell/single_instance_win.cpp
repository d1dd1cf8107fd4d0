#include "shell/single_instance_win.h"

#include <sddl.h>

#include <string>

namespace quellix {

namespace {

// "Local\" is the session's own namespace; the user's SID keeps two users who share a
// session (Run as) apart.
std::wstring MutexName()
{
    std::wstring name = L"Local\\Quellix.norvane";
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return name;
    const UniqueKernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    wchar_t* sid = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        name += L".";
        name += sid;
        LocalFree(sid);
    }
    return name;
}

}  // namespace

SingleInstance::SingleInstance() : m_mutex(CreateMutexW(nullptr, FALSE, MutexName().c_str()))
{
    m_first = !m_mutex || GetLastError() != ERROR_ALREADY_EXISTS;
}

void SingleInstance::ShowRunningCopy()
{
    // The first copy may still be starting: its window comes a moment after its mutex.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (const HWND window = FindWindowW(kMainWindowClass, nullptr)) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            // Only the program in the foreground may hand the foreground on.
            AllowSetForegroundWindow(process);
            PostMessageW(window, RegisterWindowMessageW(kShowMainWindowMessage), 0, 0);
            return;
        }
        Sleep(100);
    }
}

}  // namespace quellix
