// norvane.exe: creates the main window and runs the program's one thread until Quit.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include "app/version.h"
#include "base/trace.h"
#include "base/trace_win.h"
#include "base/utf.h"
#include "blocker/platform_win.h"
#include "shell/main_window_win.h"
#include "shell/registry_win.h"
#include "shell/settings.h"
#include "shell/single_instance_win.h"

namespace {

// The trace is asked for with /trace on the command line, or with the setting Trace.
bool TraceAsked()
{
    int count = 0;
    if (wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
        bool asked = false;
        for (int i = 1; i < count; ++i)
            asked = asked || lstrcmpiW(arguments[i], L"/trace") == 0;
        LocalFree(arguments);
        if (asked)
            return true;
    }
    quellix::Win32Registry registry;
    return quellix::SettingsStore(registry).Option(quellix::setting::kTrace) == 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    if (TraceAsked()) {
        quellix::trace::StartToFile(quellix::Widen(quellix::DefaultListLocation("trace.log").userFolder));
        quellix::trace::Write("Quellix ", QUELLIX_VERSION_STRING,
                              " starts, tracing: ", quellix::Narrow(GetCommandLineW()));
    }
    const quellix::SingleInstance instance;
    if (!instance.First()) {
        quellix::SingleInstance::ShowRunningCopy();
        return 0;
    }
    // The monitor control is an OLE control in a single-threaded apartment.
    if (FAILED(OleInitialize(nullptr)))
        return 3;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    {
        quellix::NoZirOd main;
        switch (main.Create()) {
        case quellix::NoZirOd::StartResult::kRunning: {
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (!main.PreTranslate(message)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
            }
            exitCode = static_cast<int>(message.wParam);
            break;
        }
        case quellix::NoZirOd::StartResult::kNoMonitor:
            exitCode = 2;
            break;
        case quellix::NoZirOd::StartResult::kNoWindow:
            exitCode = 1;
            break;
        }
    }
    OleUninitialize();
    QUELLIX_TRACE("Quellix ends with code ", exitCode);
    quellix::trace::Stop();
    return exitCode;
}
