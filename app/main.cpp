// norvane.exe: creates the main window and runs the program's one thread until Quit.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "shell/main_window_win.h"
#include "shell/single_instance_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
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
    return exitCode;
}
