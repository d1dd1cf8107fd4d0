// package_actions.dll: what the Windows Installer package does beyond its tables. It travels
// in the package's Binary table and is never installed.
//
// Windows Installer has no action that asks a program to quit, and its removal of registry
// entries cannot look at what a value points to, nor tell the removal of an older version
// during an upgrade (which must keep the user's settings) from the user's own removal. So
// these do what the setup's uninstaller does:
//
//   SetProgramFolder     sets QuellixFolder: INSTALLDIR without its final backslash, as
//                        RegisterTypeLib writes the control library's folder.
//   QuitQuellix          before anything is replaced or removed: asks every running copy to
//                        quit as its Exit command does, so that it saves its lists and its
//                        run-at-log-on value first, and waits for it to end. Sets
//                        QuellixWasRunning when one ran, so that an upgrade starts it again.
//   NoteUpgrade          in the newer package's session, before the older version is removed:
//                        says that the removal belongs to an upgrade (below).
//   RemoveMachineTraces  deferred, as the installer's own account, once the files are gone:
//                        the machine's toolbar button when it starts a program in the
//                        package's folder, the empty lists beside the program, and the
//                        folder once empty. CustomActionData: the package's folder.
//   RemoveUserTraces     deferred, as the user: the user's toolbar button and run-at-log-on
//                        value when they point into the package's folder, the user's
//                        settings, and the empty lists in the user's local application data
//                        with their folder. CustomActionData: the package's folder, "|" and
//                        the user's local application data folder.
//
// A list that holds entries is the user's work and stays, with its folder. The removal of the
// older version by an upgrade takes none of it: Windows Installer sets UPGRADINGPRODUCTCODE
// for that removal, Wine's (8.0) does not (it runs msiexec /i {older} REMOVE=ALL), so the
// newer package's session also says so itself, through NoteUpgrade.
//
// Plain buffers rather than std::wstring: the library is built without exceptions, to stay
// small (installer/CMakeLists.txt).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <strsafe.h>

#include <string_view>

#include "base/unique_handle.h"
#include "shell/settings.h"
#include "shell/single_instance_win.h"
#include "shell/toolbar.h"

namespace {

using quellix::UniqueFile;
using quellix::UniqueKernelHandle;

// A folder, a key or a program's path. A value longer than this is not one the program wrote.
constexpr DWORD kTextSize = 1024;
using Text = wchar_t[kTextSize];

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// `text` with `more` after it, a wide copy of our own ASCII names.
void Append(Text& text, std::string_view more)
{
    std::size_t length = wcslen(text);
    for (const char c : more) {
        if (length + 1 < kTextSize)
            text[length++] = static_cast<wchar_t>(c);
    }
    text[length] = L'\0';
}

struct Names {
    Text appName = L"";
    Text settingsKey = L"Software\\";
    Text toolbarKey = L"Software\\Microsoft\\Internet Explorer\\Extensions\\";

    Names()
    {
        Append(appName, quellix::kAppName);
        Append(settingsKey, quellix::kAppName);
        Append(toolbarKey, quellix::kToolbarButtonGuid);
    }
};

// False when the property is too long to be ours.
bool Property(MSIHANDLE install, const wchar_t* name, Text& value)
{
    DWORD length = kTextSize;
    return MsiGetPropertyW(install, name, value, &length) == ERROR_SUCCESS;
}

// A line in the installation's log (msiexec /l).
void Log(MSIHANDLE install, const wchar_t* text)
{
    PMSIHANDLE record = MsiCreateRecord(0);
    MsiRecordSetStringW(record, 0, text);
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

void EndWithBackslash(Text& folder)
{
    const std::size_t length = wcslen(folder);
    if (length > 0 && folder[length - 1] != L'\\')
        StringCchCatW(folder, kTextSize, L"\\");
}

// Whether a program's path, as the program writes it (quoted when it holds a blank), lies in
// `folder`, which ends in a backslash. Another copy of Quellix (a zip's, a setup's elsewhere)
// keeps what it wrote.
bool PointsInto(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* folder)
{
    Text path;
    DWORD bytes = sizeof path;
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, path, &bytes) !=
        ERROR_SUCCESS)
        return false;
    const wchar_t* start = path[0] == L'"' ? path + 1 : path;
    const int length = static_cast<int>(wcslen(folder));
    return length > 1 && static_cast<int>(wcslen(start)) > length &&
           CompareStringOrdinal(start, length, folder, length, TRUE) == CSTR_EQUAL;
}

// An event that lives as long as the process that runs the newer package's custom actions,
// which lasts as long as its session: it cannot outlive the upgrade.
constexpr wchar_t kUpgradeEvent[] = L"Local\\Quellix.PackageUpgrade";

bool Upgrading()
{
    return static_cast<bool>(UniqueKernelHandle(OpenEventW(SYNCHRONIZE, FALSE, kUpgradeEvent)));
}

void RemoveToolbarButton(HKEY root, const wchar_t* folder)
{
    const Names names;
    if (PointsInto(root, names.toolbarKey, L"Exec", folder))
        RegDeleteTreeW(root, names.toolbarKey);
}

// Whether a list holds nothing: no file, no bytes, or only the byte-order mark the program
// writes in front of an empty list in UTF-8 or UTF-16. A file that cannot be read counts as
// holding something.
bool HoldsNothing(const wchar_t* path)
{
    const UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    char bytes[4];
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes, sizeof bytes, &read, nullptr))
        return false;
    const std::string_view head(bytes, read);
    return head.empty() || head == "\xFF\xFE" || head == "\xFE\xFF" || head == "\xEF\xBB\xBF";
}

// The empty lists of `folder` (which ends in a backslash) go, and then the folder if nothing
// else is left in it. What a save that was cut short left (<list>.new) goes too, and so does
// the record of what the program folder's copy offered a list that is gone (<name>.taken.txt).
void RemoveEmptyLists(const wchar_t* folder)
{
    for (const wchar_t* name : {L"Allow", L"Sites"}) {
        Text path;
        if (FAILED(StringCchPrintfW(path, kTextSize, L"%s%s.txt", folder, name)))
            return;
        const bool gone = HoldsNothing(path) && (DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND);
        StringCchCatW(path, kTextSize, L".new");
        DeleteFileW(path);
        if (gone && SUCCEEDED(StringCchPrintfW(path, kTextSize, L"%s%s.taken.txt", folder, name)))
            DeleteFileW(path);
    }
    RemoveDirectoryW(folder);
}

}  // namespace

extern "C" UINT __stdcall SetProgramFolder(MSIHANDLE install)
{
    Text folder;
    if (!Property(install, L"INSTALLDIR", folder))
        return ERROR_INSTALL_FAILURE;
    if (const std::size_t length = wcslen(folder); length > 3 && folder[length - 1] == L'\\')
        folder[length - 1] = L'\0';
    return MsiSetPropertyW(install, L"QuellixFolder", folder);
}

extern "C" UINT __stdcall QuitQuellix(MSIHANDLE install)
{
    const UINT quitMessage = RegisterWindowMessageW(quellix::kQuitMessage);
    bool quit = false;
    // One copy per user and session; another user's copy on the same desktop (Run as) may
    // follow once the first has gone.
    for (int copies = 0; copies < 3; ++copies) {
        const HWND window = FindWindowW(quellix::kMainWindowClass, nullptr);
        if (!window)
            break;
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        const UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
        Log(install, L"Asking the running Quellix to quit");
        PostMessageW(window, quitMessage, 0, 0);
        if (process) {
            WaitForSingleObject(process.get(), 15000);
        } else {
            // No handle to wait on: the window's end will do.
            for (int tenths = 0; tenths < 150 && IsWindow(window); ++tenths)
                Sleep(100);
        }
        quit = true;
    }
    if (FindWindowW(quellix::kMainWindowClass, nullptr))
        Log(install, L"Quellix is still running: its files are replaced when Windows starts again");
    if (quit)
        MsiSetPropertyW(install, L"QuellixWasRunning", L"1");
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall NoteUpgrade(MSIHANDLE)
{
    // Never closed: it goes with the process.
    CreateEventW(nullptr, TRUE, FALSE, kUpgradeEvent);
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall RemoveMachineTraces(MSIHANDLE install)
{
    Text folder;
    if (Upgrading() || !Property(install, L"CustomActionData", folder) || !folder[0])
        return ERROR_SUCCESS;
    EndWithBackslash(folder);
    RemoveToolbarButton(HKEY_LOCAL_MACHINE, folder);
    RemoveEmptyLists(folder);
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall RemoveUserTraces(MSIHANDLE install)
{
    Text folder;
    wchar_t* bar = nullptr;
    if (Upgrading() || !Property(install, L"CustomActionData", folder) || !(bar = wcschr(folder, L'|')) ||
        bar == folder)
        return ERROR_SUCCESS;
    *bar = L'\0';
    Text userFolder;
    StringCchCopyW(userFolder, kTextSize, bar + 1);
    EndWithBackslash(folder);

    const Names names;
    RemoveToolbarButton(HKEY_CURRENT_USER, folder);
    if (PointsInto(HKEY_CURRENT_USER, kRunKey, names.appName, folder))
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, names.appName);
    RegDeleteTreeW(HKEY_CURRENT_USER, names.settingsKey);
    if (userFolder[0]) {
        EndWithBackslash(userFolder);
        Append(userFolder, quellix::kAppName);
        EndWithBackslash(userFolder);
        RemoveEmptyLists(userFolder);
    }
    return ERROR_SUCCESS;
}
