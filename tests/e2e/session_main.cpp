// quellix-session.exe: what `make run` starts. It plays a short browsing session against
// norvane.exe as built: a page opens pop-ups, the user follows a link, an address is moved
// to the allow list, the pop-up log allows a site. It says what happened, saves pictures of
// the main window and the log, and then either ends the program (no real display) or
// leaves it to the user until it is quit. With --notice-picture it plays only a refusal
// while the program sits in the notification area, and saves a picture of the notice.
//
//   quellix-session [--picture <main.bmp>] [--log-picture <log.bmp>] [--stay]
//   quellix-session --notice-picture <notice.bmp>
#include <windows.h>

#include <cstdio>
#include <string>

#include "shell/resource.h"
#include "tests/e2e/harness.h"

using namespace quellix;
using namespace quellix::e2e;

namespace {

void Say(const char* format, const std::wstring& text = {})
{
    std::printf(format, std::string(text.begin(), text.end()).c_str());
    std::fflush(stdout);
}

// A part of the screen as it shows, as a 24-bit bitmap file.
bool SavePicture(const RECT& area, const std::wstring& path)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const ScopedGetDC screen(nullptr);
    UniqueHbitmap bitmap(CreateDIBSection(screen.get(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                          nullptr, 0));
    UniqueHdc memory(CreateCompatibleDC(screen.get()));
    {
        const ScopedSelectObject selected(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    }

    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    header.biSizeImage = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof header + header.biSizeImage), 0,
                          0, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof header)};
    UniqueFile out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return out && WriteFile(out.get(), &file, sizeof file, &written, nullptr) &&
           WriteFile(out.get(), &header, sizeof header, &written, nullptr) &&
           WriteFile(out.get(), bits, header.biSizeImage, &written, nullptr);
}

// A window as it shows on the screen.
bool SavePicture(HWND window, const std::wstring& path)
{
    RECT area;
    GetWindowRect(window, &area);
    return SavePicture(area, path);
}

// The notice of a refusal, as the user meets it: the window hidden, a page's pop-up refused.
int NoticeSession(const std::wstring& picture)
{
    Environment environment;
    sim::Desktop desktop;
    const ComPtr<sim::Browser> page = desktop.Open(L"http://news.example/today", sim::kRealWindow);
    Program program(desktop);
    if (!page || !program.Start()) {
        Say("norvane.exe did not start\n");
        return 1;
    }
    program.Command(IDC_HIDE);
    Pump(100);
    desktop.RequestWindow(page, L"http://ads.example/win", {0, true, true});
    HWND balloon = nullptr;
    PumpUntil([&] { return (balloon = Balloon().first) != nullptr; }, 10000);
    if (balloon) {
        Pump(500);  // painted
        Say("the notice says: %s\n", Balloon().second);
    }
    // With the icon it points at (under Wine without a task bar, in a window of its own), and
    // a margin.
    RECT area{};
    GetWindowRect(balloon, &area);
    if (const HWND tray = FindWindowW(nullptr, L"Wine System Tray"); tray && IsWindowVisible(tray)) {
        RECT icons;
        GetWindowRect(tray, &icons);
        UnionRect(&area, &area, &icons);
    }
    InflateRect(&area, 8, 8);
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&area, &area, &screen);  // the screen holds nothing beyond its edge
    const bool saved = balloon && SavePicture(area, picture);
    Say(saved ? "picture of the notice saved\n" : "no notice to picture\n");
    program.Command(IDM_EXITM);
    program.WaitForExit();
    ForgetEverything();
    return saved ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring picture;
    std::wstring logPicture;
    bool stay = false;
    std::wstring noticePicture;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--picture" && i + 1 < argc)
            picture = argv[++i];
        else if (std::wstring(argv[i]) == L"--log-picture" && i + 1 < argc)
            logPicture = argv[++i];
        else if (std::wstring(argv[i]) == L"--stay")
            stay = true;
        else if (std::wstring(argv[i]) == L"--notice-picture" && i + 1 < argc)
            noticePicture = argv[++i];
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = 0;
    if (!noticePicture.empty()) {
        result = NoticeSession(noticePicture);
        CoUninitialize();
        return result;
    }
    {
        Environment environment;
        sim::Desktop desktop;
        const ComPtr<sim::Browser> page = desktop.Open(L"http://news.example/today", sim::kRealWindow);
        SetOption(L"List", L"1");  // the session shows the lists at work

        Program program(desktop);
        Program::StartTimes times;
        if (!page || !program.Start(&times)) {
            Say("norvane.exe did not start\n");
            return 1;
        }
        Say("norvane.exe runs: its window and its tray icon are up; it watches the page %s\n", page->Url());

        const sim::WindowRequest inWindows{0, true, true};
        for (const wchar_t* address :
             {L"http://ads.example/win", L"http://casino.example/", L"http://ads.example/win"}) {
            const ComPtr<sim::Browser> popup = desktop.RequestWindow(page, address, inWindows).window;
            Say(!popup ? "a pop-up to %s was refused before its window existed\n" : "a pop-up to %s was NOT refused\n",
                address);
        }
        // A browser from before NewWindow3 says where a new window goes only once it is there.
        const ComPtr<sim::Browser> oldPage = desktop.Open(L"http://old.example/", sim::kRealWindow);
        oldPage->SetClassInfo(sim::ClassInfo::kWithoutNewWindow3);
        const ComPtr<sim::Browser> flash =
            desktop.RequestWindow(oldPage, L"http://ads.example/old", {0, false, true}).window;
        Say(flash && flash->Quitted() ? "an older browser's pop-up to %s was closed at its first address\n"
                                      : "an older browser's pop-up to %s was NOT closed\n",
            L"http://ads.example/old");

        input::Click();
        Pump(40);
        const ComPtr<sim::Browser> story = desktop.RequestWindow(page, L"http://news.example/story", inWindows).window;
        Say(story && !story->Quitted() ? "the user clicked a link: its window %s opened and stays\n"
                                       : "the window the user asked for did not stay%s\n",
            story ? story->Url() : std::wstring());

        program.DoubleClickEntry(IDC_BLOCKEDURLS, 1);
        if (const HWND dialog = program.WaitForWindow(L"Dialog Caption")) {
            PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            PumpUntil([&] { return !program.ListEntries(IDC_WHITELIST).empty(); });
        }
        for (const std::wstring& entry : program.ListEntries(IDC_BLOCKEDURLS))
            Say("blocked list: %s\n", entry);
        for (const std::wstring& entry : program.ListEntries(IDC_WHITELIST))
            Say("allow list:   %s\n", entry);
        Say("%s\n", program.Text(IDC_FRAME1));

        if (!picture.empty()) {
            Pump(300);
            Say(SavePicture(program.Main(), picture) ? "picture of the main window saved\n"
                                                     : "the picture could not be saved\n");
        }

        // The log, with a pop-up from a page the user then allows in two clicks.
        const ComPtr<sim::Browser> shop = desktop.Open(L"http://shop.example/basket", sim::kRealWindow);
        desktop.RequestWindow(shop, L"http://shop.example/pay", inWindows);
        program.Command(IDM_POPUPLOG);
        if (const HWND log = program.WaitForWindow(L"Pop-up log", L"QuellixPopupLog")) {
            const HWND rows = GetDlgItem(log, IDC_LOG_LIST);
            PostMessageW(rows, WM_KEYDOWN, VK_HOME, 0);  // the newest record, as the user selects it
            PostMessageW(GetDlgItem(log, IDC_LOG_ALLOWSITE), BM_CLICK, 0, 0);
            Pump(300);
            // Not in a real window: it would cover the log in its picture.
            const ComPtr<sim::Browser> payment = desktop.RequestWindow(shop, L"http://shop.example/pay").window;
            const bool opens = payment && !payment->Quitted();
            Say(opens ? "pop-ups from %s are allowed in the pop-up log: the next one opens\n"
                      : "allowing %s in the pop-up log did NOT let its next pop-up open\n",
                L"shop.example");
            if (!logPicture.empty()) {
                Pump(300);
                Say(SavePicture(log, logPicture) ? "picture of the pop-up log saved\n"
                                                 : "the picture could not be saved\n");
            }
        }

        if (stay) {
            Say("Quellix is running: quit it with Quit, File Exit or Exit in its tray menu.\n");
            program.WaitForExit(INFINITE);
        } else {
            program.Command(IDM_EXITM);
            const std::optional<DWORD> code = program.WaitForExit();
            Say(code == 0u ? "norvane.exe quit cleanly%s\n" : "norvane.exe did not quit cleanly%s\n");
            result = code == 0u ? 0 : 1;
        }
        ForgetEverything();
    }
    CoUninitialize();
    return result;
}
