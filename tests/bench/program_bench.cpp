// Timing program for norvane.exe under Wine (run by `make bench`): start-up to the tray icon
// and to the main window, the road of a pop-up in list mode from the new browser's
// registration to its closing with 1 and with 50 windows open, and the processor time the
// program takes while idle.
//
//   program_bench [idle-seconds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "shell/resource.h"
#include "tests/e2e/harness.h"

using namespace quellix;
using namespace quellix::e2e;

namespace {

double Now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double CpuMs(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    auto ms = [](FILETIME time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
               10'000.0;
    };
    return ms(kernel) + ms(user);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int idleSeconds = argc > 1 ? _wtoi(argv[1]) : 60;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        Environment environment;
        ForgetEverything();
        sim::Desktop desktop;
        const ComPtr<sim::Browser> page = desktop.Open(L"http://page.example/", sim::kRealWindow);

        std::vector<double> tray, window;
        for (int run = 0; run < 7; ++run) {
            Program program(desktop);
            Program::StartTimes times;
            program.Start(&times);
            tray.push_back(times.trayIconMs);
            window.push_back(times.windowMs);
            program.Command(IDM_EXITM);
            program.WaitForExit();
        }
        std::printf("start-up, median of 7 runs: tray icon after %.0f ms, main window after %.0f ms\n", Median(tray),
                    Median(window));

        SetOption(L"List", L"1");
        std::vector<ComPtr<sim::Browser>> crowd;
        for (const int windows : {1, 50}) {
            while (static_cast<int>(crowd.size()) + 1 < windows)
                crowd.push_back(desktop.Open(L"http://site" + std::to_wstring(crowd.size()) + L".example/"));
            Program program(desktop);
            program.Start();
            std::vector<double> road;
            for (int i = 0; i < 200; ++i) {
                page->FireNewWindow2();
                const ComPtr<sim::Browser> popup = desktop.Create(L"http://ads.example/" + std::to_wstring(i));
                // Until the program closes it: what comes after (the shell's revocation and its
                // handling) no longer shows on the screen.
                double closed = 0;
                desktop.Calls().During(sim::Call::kQuit, [&] { closed = Now(); });
                const double registered = Now();
                desktop.Register(*popup.Get());
                PumpUntil([&] { return popup->Quitted(); }, 5000);
                road.push_back(closed - registered);
            }
            std::printf("list mode, %2d window(s) open, registration to closing over 200 pop-ups: median %.2f ms, "
                        "worst %.2f ms\n",
                        windows, Median(road), *std::max_element(road.begin(), road.end()));
            program.Command(IDM_EXITM);
            program.WaitForExit();
        }
        Program program(desktop);
        program.Start();

        const double before = CpuMs(program.Process());
        const double started = Now();
        Pump(static_cast<DWORD>(idleSeconds) * 1000);
        const double cpu = CpuMs(program.Process()) - before;
        const double wall = Now() - started;
        std::printf("idle for %d s: %.0f ms of processor time (%.3f %% of one core)\n", idleSeconds, cpu,
                    100.0 * cpu / wall);
        program.Command(IDM_EXITM);
        program.WaitForExit();
        ForgetEverything();
    }
    CoUninitialize();
    return 0;
}
