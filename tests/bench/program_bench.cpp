// Timing program for norvane.exe under Wine (run by `make bench`): start-up to the tray icon
// and to the main window; 200 pop-ups in each mode, with and without NewWindow3 (windows made,
// closed, left open); what becomes of the windows in sequences of requests that users and
// pages make; how long a refused pop-up holds the browser with the alerts off and on; the road of a pop-up from a
// browser without NewWindow3 from the new window's registration to its closing with 1 and with 50 windows open; and the
// processor time the program takes while idle.
//
//   program_bench [idle-seconds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "blocker/popup_rules.h"
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

        // 200 pop-ups in each mode on stand-ins that behave as browsers do: with NewWindow3,
        // how many windows are made for pop-ups that are refused; without it (the window
        // registers before its first address), how many are closed.
        for (const bool newWindow3 : {true, false}) {
            for (const wchar_t* list : {L"0", L"1"}) {
                SetOption(L"List", list);
                Program program(desktop);
                program.Start();
                int made = 0, closed = 0;
                for (int i = 0; i < 200; ++i) {
                    const ComPtr<sim::Browser> popup =
                        desktop.RequestWindow(page, L"http://ads.example/" + std::to_wstring(i), {0, newWindow3})
                            .window;
                    made += popup != nullptr;
                    closed += popup && PumpUntil([&] { return popup->Quitted(); }, 300);
                }
                std::printf("%s, lists %s: 200 pop-ups, %3d windows made, %3d closed, %3d left open\n",
                            newWindow3 ? "with NewWindow3   " : "without NewWindow3", *list == L'1' ? "on " : "off",
                            made, closed, made - closed);
                program.Command(IDM_EXITM);
                program.WaitForExit();
            }
        }

        // Requests as browsers and users make them, in each mode: which windows are made,
        // and which of those are closed.
        const ComPtr<sim::Browser> older = desktop.Open(L"http://older.example/", sim::kRealWindow);
        older->SetClassInfo(sim::ClassInfo::kWithoutNewWindow3);
        const sim::WindowRequest noNewWindow3{0, false};
        constexpr DWORD kUsers = nwmf::kUserInited | nwmf::kFirst;
        struct Sequence {
            const char* name;
            std::function<std::vector<ComPtr<sim::Browser>>(Program&)> run;
        };
        const Sequence sequences[] = {
            {"NewWindow3 never comes, then the user's link and Ctrl+N",
             [&](Program&) {
                 desktop.RequestWindow(page, L"http://ads.example/1");
                 desktop.RequestWindow(page, L"http://ads.example/2", {.cancelledAfterUs = true});
                 return std::vector{desktop.RequestWindow(page, L"http://news.example/story", {kUsers}).window,
                                    desktop.UserWindow(L"http://mine.example/")};
             }},
            {"NewWindow3 2.1 s after NewWindow2, then the user's link",
             [&](Program&) {
                 page->FireNewWindow2();
                 Pump(2100);
                 page->FireNewWindow3(0, page->Url(), L"http://ads.example/late");
                 return std::vector{desktop.RequestWindow(page, L"http://news.example/story", {kUsers}).window};
             }},
            {"a click opens the user's window and a second one",
             [&](Program&) {
                 input::Click();
                 Pump(40);
                 return std::vector{desktop.RequestWindow(page, L"http://news.example/story", {kUsers}).window,
                                    desktop.RequestWindow(page, L"http://ads.example/", {nwmf::kUserInited}).window};
             }},
            {"protection off while a window waits for its address",
             [&](Program& program) {
                 std::vector<ComPtr<sim::Browser>> made;
                 if (older->FireNewWindow2().cancel)
                     return made;
                 made.push_back(desktop.Create(L""));
                 desktop.Register(*made[0].Get());
                 Pump(50);
                 program.Command(IDC_ENABLE);
                 Pump(50);
                 made[0]->Load(L"http://ads.example/");
                 return made;
             }},
            {"270 requests of a browser without NewWindow3 before their windows",
             [&](Program&) {
                 std::vector<ComPtr<sim::Browser>> made;
                 for (int i = 0; i < 270; ++i) {
                     if (!older->FireNewWindow2().cancel)
                         made.push_back(desktop.Create(L""));
                 }
                 for (const ComPtr<sim::Browser>& window : made)
                     desktop.Register(*window.Get());
                 for (const ComPtr<sim::Browser>& window : made)
                     window->Load(L"http://ads.example/");
                 return made;
             }},
            {"20 pop-ups of a browser whose type information lacks NewWindow3",
             [&](Program&) {
                 std::vector<ComPtr<sim::Browser>> made;
                 for (int i = 0; i < 20; ++i)
                     made.push_back(desktop.RequestWindow(older, L"http://ads.example/", noNewWindow3).window);
                 return made;
             }},
            {"20 pop-ups of a browser without NewWindow3 nor type information",
             [&](Program&) {
                 std::vector<ComPtr<sim::Browser>> made;
                 for (int i = 0; i < 20; ++i)
                     made.push_back(desktop.RequestWindow(page, L"http://ads.example/", noNewWindow3).window);
                 return made;
             }},
        };
        std::printf("\n%-64s %-5s %5s %6s %9s\n", "sequence", "lists", "made", "closed", "left open");
        for (const Sequence& sequence : sequences) {
            for (const wchar_t* list : {L"0", L"1"}) {
                SetOption(L"List", list);
                Program program(desktop);
                program.Start();
                std::vector<ComPtr<sim::Browser>> windows = sequence.run(program);
                Pump(300);
                int made = 0, closed = 0;
                for (const ComPtr<sim::Browser>& window : windows) {
                    made += window != nullptr;
                    closed += window && window->Quitted();
                }
                std::printf("%-64s %-5s %5d %6d %9d\n", sequence.name, *list == L'1' ? "on" : "off", made, closed,
                            made - closed);
                program.Command(IDM_EXITM);
                program.WaitForExit();
            }
        }

        // How long the browser waits in its NewWindow2 and NewWindow3 calls for a refused
        // pop-up, with the beep and the flash off and on.
        SetOption(L"List", L"0");
        for (const wchar_t* alerts : {L"0", L"1"}) {
            SetOption(L"Beep", alerts);
            SetOption(L"Flash", alerts);
            Program program(desktop);
            program.Start();
            std::vector<double> waits;
            for (int i = 0; i < 20; ++i) {
                const double asked = Now();
                desktop.RequestWindow(page, L"http://ads.example/" + std::to_wstring(i));
                waits.push_back(Now() - asked);
            }
            double all = 0;
            for (const double wait : waits)
                all += wait;
            std::printf("20 refused pop-ups, beep and flash %s: the browser waits %.2f ms a call (median), %.1f ms "
                        "in all\n",
                        *alerts == L'1' ? "on " : "off", Median(waits), all);
            program.Command(IDM_EXITM);
            program.WaitForExit();
        }
        SetOption(L"Beep", L"0");
        SetOption(L"Flash", L"0");

        SetOption(L"List", L"1");
        std::vector<ComPtr<sim::Browser>> crowd;
        for (const int windows : {1, 50}) {
            while (static_cast<int>(crowd.size()) + 1 < windows)
                crowd.push_back(desktop.Open(L"http://site" + std::to_wstring(crowd.size()) + L".example/"));
            Program program(desktop);
            program.Start();
            std::vector<double> road;
            for (int i = 0; i < 200; ++i) {
                // A browser without NewWindow3: the window registers, then navigates, and is
                // closed at its address. Timed until the program closes it: what comes after
                // (the shell's revocation and its handling) no longer shows on the screen.
                page->FireNewWindow2();
                const ComPtr<sim::Browser> popup = desktop.Create(L"");
                double closed = 0;
                desktop.Calls().During(sim::Call::kQuit, [&] { closed = Now(); });
                const double registered = Now();
                desktop.Register(*popup.Get());
                popup->Load(L"http://ads.example/" + std::to_wstring(i));
                if (!PumpUntil([&] { return popup->Quitted(); }, 1000))
                    break;  // this build leaves such pop-ups open: there is no road to time
                road.push_back(closed - registered);
            }
            if (road.empty()) {
                std::printf("list mode, %2d window(s) open: the pop-up was not closed\n", windows);
                program.Command(IDM_EXITM);
                program.WaitForExit();
                continue;
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
