// window_probe: looks at a running norvane.exe from outside, as a setup program or a user
// would, for the script tests and tools/screenshot.
//
//   window_probe wait SECONDS   waits for the main window to be shown and its program idle;
//                               prints the window, its X11 window under Wine, the program's
//                               path and the screen's dots per inch
//   window_probe layout DPI     checks the main window's controls at that resolution:
//                               inside the client area, lists, buttons and banner clear of
//                               one another, each list inside its frame, captions not cut
//   window_probe caption        checks that title bars can draw their buttons: the close
//                               box's glyph is a cross, not the letter "r"
//   window_probe quit SECONDS   sends the Exit command and waits for the program to end;
//                               succeeds when it ended with exit code 0
//   window_probe allowed        prints the allow list's entries, one a line
//   window_probe remove N       removes the allow list's entry N (from 0) as a user does:
//                               a double-click on it and "Remove" in the dialog
//   window_probe log            opens the pop-up log as the Tools menu does; prints its
//                               window as `wait` prints the main window
//   window_probe remove-site N  removes the allowed site N (from 0) in the pop-up log as a
//                               user does: selects it and clicks "Remove"
//   window_probe hold FILE MS   holds FILE open, sharing nothing, for MS milliseconds
//                               (as a scanner or a backup tool does); prints "held" first
//   window_probe uninstall ROOT runs Quellix's QuietUninstallString under ROOT (HKLM or
//                               HKCU) as Add/Remove Programs does, and waits for it;
//                               its exit code is the uninstaller's
//
// Exit code 0 when all is well, 1 when a check failed, 2 on a usage error.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "shell/resource.h"

namespace {

constexpr wchar_t kMainClass[] = L"NoZirOd";
// The client area, in twips.
constexpr int kClientWidthTwips = 8535;
constexpr int kClientHeightTwips = 4335;

int g_faults = 0;

void Fault(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::printf("FAULT: ");
    std::vprintf(format, arguments);
    std::printf("\n");
    va_end(arguments);
    ++g_faults;
}

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

std::wstring Text(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

HWND FindMainWindow(bool mustBeVisible)
{
    HWND window = FindWindowW(kMainClass, nullptr);
    return window && (!mustBeVisible || IsWindowVisible(window)) ? window : nullptr;
}

HANDLE OpenProgram(HWND window, DWORD access)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process ? OpenProcess(access, FALSE, process) : nullptr;
}

// A top-level window, its X11 window under Wine (one of its properties there), the screen's
// resolution and the window's frame, on one line.
void Describe(HWND window)
{
    RECT frame{};
    GetWindowRect(window, &frame);
    const auto x11 = reinterpret_cast<UINT_PTR>(GetPropW(window, L"__wine_x11_whole_window"));
    std::printf("window=%p x11=0x%lx dpi=%d frame=%ld,%ld,%ld,%ld\n", static_cast<void*>(window),
                static_cast<unsigned long>(x11), ScreenDpi(), frame.left, frame.top, frame.right, frame.bottom);
}

int Wait(int seconds)
{
    HWND window = nullptr;
    for (int tries = 0; tries < seconds * 10 && !(window = FindMainWindow(true)); ++tries)
        Sleep(100);
    if (!window) {
        Fault("no visible %ls window after %d s", kMainClass, seconds);
        return 1;
    }
    HANDLE program = OpenProgram(window, PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE);
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (program) {
        // Idle: the start-up sequence is over and the window has painted.
        WaitForInputIdle(program, static_cast<DWORD>(seconds) * 1000);
        QueryFullProcessImageNameW(program, 0, path, &size);
        CloseHandle(program);
    }
    Describe(window);
    std::printf("program=%s\n", Narrow(path).c_str());
    return 0;
}

// Opens the pop-up log as the Tools menu does; `then` gets its window once it shows.
int WithPopupLog(int (*then)(HWND log, int number), int number)
{
    HWND main = FindMainWindow(false);
    if (!main) {
        Fault("no %ls window", kMainClass);
        return 1;
    }
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_POPUPLOG, 0), 0);
    HWND log = nullptr;
    for (int tries = 0; tries < 100 && !(log && IsWindowVisible(log)); ++tries) {
        Sleep(50);
        log = FindWindowW(L"QuellixPopupLog", L"Pop-up log");
    }
    if (!log || !IsWindowVisible(log)) {
        Fault("no pop-up log after Tools, Pop-up log");
        return 1;
    }
    return then(log, number);
}

int ShowLog(HWND log, int)
{
    Sleep(300);  // painted
    Describe(log);
    return 0;
}

int RemoveSite(HWND log, int index)
{
    const HWND sites = GetDlgItem(log, IDC_SITES_LIST);
    if (SendMessageW(sites, LB_SETCURSEL, index, 0) == LB_ERR) {
        Fault("the allowed sites have no entry %d", index);
        return 1;
    }
    const LRESULT before = SendMessageW(sites, LB_GETCOUNT, 0, 0);
    SendMessageW(log, WM_COMMAND, MAKEWPARAM(IDC_SITES_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(sites));
    SendMessageW(GetDlgItem(log, IDC_SITES_REMOVE), BM_CLICK, 0, 0);
    if (SendMessageW(sites, LB_GETCOUNT, 0, 0) != before - 1)
        Fault("the site was not removed");
    PostMessageW(log, WM_CLOSE, 0, 0);
    return g_faults ? 1 : 0;
}

int Quit(int seconds)
{
    HWND window = FindMainWindow(false);
    if (!window) {
        Fault("no %ls window to quit", kMainClass);
        return 1;
    }
    HANDLE program = OpenProgram(window, PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE);
    if (!program) {
        Fault("cannot open the program's process (error %lu)", GetLastError());
        return 1;
    }
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    const DWORD waited = WaitForSingleObject(program, static_cast<DWORD>(seconds) * 1000);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(program, &exitCode);
    CloseHandle(program);
    if (waited != WAIT_OBJECT_0)
        Fault("the program still runs %d s after Exit", seconds);
    else if (exitCode != 0)
        Fault("the program ended with exit code %lu", exitCode);
    if (IsWindow(window))
        Fault("the main window is still there");
    std::printf("exit-code=%lu\n", exitCode);
    return g_faults ? 1 : 0;
}

// --- layout --------------------------------------------------------------------------------

enum class Kind { kList, kButton, kFrame, kBanner, kOther };

struct Control {
    HWND window;
    Kind kind;
    std::wstring text;
    RECT place;  // in the main window's client pixels
};

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::kList:
        return "list";
    case Kind::kButton:
        return "button";
    case Kind::kFrame:
        return "frame";
    case Kind::kBanner:
        return "banner";
    case Kind::kOther:
        break;
    }
    return "other";
}

Kind KindOf(HWND window)
{
    const std::wstring name = ClassOf(window);
    if (_wcsicmp(name.c_str(), L"ListBox") == 0)
        return Kind::kList;
    if (_wcsicmp(name.c_str(), L"TessalyBanner") == 0)
        return Kind::kBanner;
    if (_wcsicmp(name.c_str(), L"Button") == 0)
        return (GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX ? Kind::kFrame : Kind::kButton;
    return Kind::kOther;
}

struct Children {
    HWND parent;
    std::vector<Control> controls;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context)
{
    auto& children = *reinterpret_cast<Children*>(context);
    // Direct children only, and only those a user can see.
    if (GetAncestor(child, GA_PARENT) != children.parent || !IsWindowVisible(child))
        return TRUE;
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, children.parent, reinterpret_cast<POINT*>(&place), 2);
    children.controls.push_back({child, KindOf(child), Text(child), place});
    return TRUE;
}

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::string Describe(const Control& control)
{
    char text[200];
    std::snprintf(text, sizeof text, "%s \"%s\" (%ld,%ld)-(%ld,%ld)", KindName(control.kind),
                  Narrow(control.text).c_str(), control.place.left, control.place.top, control.place.right,
                  control.place.bottom);
    return text;
}

int Layout(int expectedDpi)
{
    HWND main = FindMainWindow(true);
    if (!main) {
        Fault("no visible %ls window", kMainClass);
        return 1;
    }
    const int dpi = ScreenDpi();
    if (dpi != expectedDpi) {
        Fault("the screen has %d dots per inch, not %d: the setting did not take", dpi, expectedDpi);
        return 1;
    }
    RECT client{};
    GetClientRect(main, &client);
    std::printf("client %ldx%ld at %d dpi\n", client.right, client.bottom, dpi);
    if (client.right != MulDiv(kClientWidthTwips, dpi, 1440) || client.bottom != MulDiv(kClientHeightTwips, dpi, 1440))
        Fault("the client area is %ldx%ld, not laid out for %d dpi", client.right, client.bottom, dpi);

    Children children{main, {}};
    EnumChildWindows(main, CollectChild, reinterpret_cast<LPARAM>(&children));
    const std::vector<Control>& controls = children.controls;

    int counts[5] = {};
    for (const Control& control : controls) {
        std::printf("  %s\n", Describe(control).c_str());
        ++counts[static_cast<int>(control.kind)];
        if (!Inside(control.place, client))
            Fault("%s reaches outside the client area", Describe(control).c_str());
    }
    const int expected[5] = {2, 3, 2, 1, 0};
    for (int kind = 0; kind < 5; ++kind)
        if (counts[kind] != expected[kind])
            Fault("%d %s controls shown, %d expected", counts[kind], KindName(static_cast<Kind>(kind)), expected[kind]);

    // Lists, buttons and the banner stand clear of one another; the frames lie behind.
    for (std::size_t a = 0; a < controls.size(); ++a) {
        for (std::size_t b = a + 1; b < controls.size(); ++b) {
            if (controls[a].kind == Kind::kFrame || controls[b].kind == Kind::kFrame)
                continue;
            RECT common;
            if (IntersectRect(&common, &controls[a].place, &controls[b].place))
                Fault("%s overlaps %s", Describe(controls[a]).c_str(), Describe(controls[b]).c_str());
        }
    }

    // Captions measured in the font a user sees in dialogs, which is the one the program
    // asks for: the message font at this resolution.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const quellix::UniqueHfont font(CreateFontIndirectW(&metrics.lfMessageFont));
    const quellix::ScopedGetDC screen(nullptr);
    const HDC dc = screen.get();
    const quellix::ScopedSelectObject selected(dc, font.get());
    auto extent = [dc](const std::wstring& text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    };
    const int edge = MulDiv(4, dpi, 96);  // a button's border and its focus rectangle
    for (const Control& control : controls) {
        const SIZE text = extent(control.text);
        const long width = control.place.right - control.place.left;
        const long height = control.place.bottom - control.place.top;
        if (control.kind == Kind::kButton && (text.cx > width - 2 * edge || text.cy > height - 2 * edge))
            Fault("the caption of %s needs %ldx%ld pixels", Describe(control).c_str(), text.cx, text.cy);
        if (control.kind == Kind::kFrame && text.cx > width - 4 * edge)
            Fault("the caption of %s needs %ld pixels", Describe(control).c_str(), text.cx);
        if (control.kind != Kind::kList)
            continue;
        // Each list inside a frame, below the frame's caption and clear of its lines.
        bool framed = false;
        for (const Control& frame : controls) {
            if (frame.kind != Kind::kFrame)
                continue;
            const RECT inside = {frame.place.left + 1, frame.place.top + extent(frame.text).cy, frame.place.right - 1,
                                 frame.place.bottom - 1};
            framed = framed || Inside(control.place, inside);
        }
        if (!framed)
            Fault("%s is not inside a frame, below its caption", Describe(control).c_str());
    }

    std::printf(g_faults ? "%d fault(s)\n" : "layout fine\n", g_faults);
    return g_faults ? 1 : 0;
}

// --- the title bar ---------------------------------------------------------------------------

// Wine draws the title-bar buttons as the letters "0 1 r" in a font it asks for by the name
// Marlett, where they are a dash, a box and a cross. Where that font is missing GDI gives
// another, and every title bar shows the letters as they are. So the check draws what the
// close box gets, an "r" in the font named Marlett: a cross is symmetric left to right and
// top to bottom, an "r" is neither.

// The share of the glyph's pixels, in percent, whose mirror image (left to right, or top
// to bottom, within the glyph's bounds) is not part of the glyph.
int Lopsidedness(const std::vector<POINT>& glyph, bool leftToRight)
{
    RECT bounds = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
    for (const POINT& p : glyph) {
        bounds.left = std::min(bounds.left, p.x);
        bounds.top = std::min(bounds.top, p.y);
        bounds.right = std::max(bounds.right, p.x);
        bounds.bottom = std::max(bounds.bottom, p.y);
    }
    int unmatched = 0;
    for (const POINT& p : glyph) {
        const POINT mirror = leftToRight ? POINT{bounds.left + bounds.right - p.x, p.y}
                                         : POINT{p.x, bounds.top + bounds.bottom - p.y};
        const bool found = std::any_of(glyph.begin(), glyph.end(),
                                       [&](const POINT& q) { return q.x == mirror.x && q.y == mirror.y; });
        unmatched += found ? 0 : 1;
    }
    return glyph.empty() ? 100 : unmatched * 100 / static_cast<int>(glyph.size());
}

int CaptionGlyphs()
{
    constexpr int kSize = 48;  // large enough that smoothing cannot hide the shape
    LOGFONTW wanted{};
    wanted.lfHeight = kSize;
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcscpy(wanted.lfFaceName, L"Marlett");
    const quellix::UniqueHfont font(CreateFontIndirectW(&wanted));

    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = kSize;
    format.bmiHeader.biHeight = -kSize;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const quellix::UniqueHdc memory(CreateCompatibleDC(nullptr));
    const quellix::UniqueHbitmap picture(CreateDIBSection(memory.get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!font || !memory || !picture || !bits) {
        Fault("no font or bitmap to draw the close box's glyph");
        return 1;
    }
    wchar_t face[LF_FACESIZE] = {};
    {
        const quellix::ScopedSelectObject drawn(memory.get(), picture.get());
        const quellix::ScopedSelectObject selected(memory.get(), font.get());
        GetTextFaceW(memory.get(), LF_FACESIZE, face);
        RECT all = {0, 0, kSize, kSize};
        FillRect(memory.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetTextColor(memory.get(), RGB(0, 0, 0));
        SetBkMode(memory.get(), TRANSPARENT);
        TextOutW(memory.get(), 0, 0, L"r", 1);
    }
    GdiFlush();

    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    std::vector<POINT> glyph;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const std::uint32_t p = pixels[y * kSize + x];
            if ((299 * ((p >> 16) & 0xFF) + 587 * ((p >> 8) & 0xFF) + 114 * (p & 0xFF)) / 1000 < 128)
                glyph.push_back({x, y});
        }
    const int across = Lopsidedness(glyph, true);
    const int down = Lopsidedness(glyph, false);
    std::printf("the close box's glyph: \"r\" in %s, %zu pixels, %d%% lopsided across, %d%% down\n",
                Narrow(face).c_str(), glyph.size(), across, down);
    // Marlett's cross comes out within a few percent; an "r" in any other font is lopsided by
    // a half or more.
    if (glyph.size() < 20 || std::max(across, down) > 25) {
        Fault("title bars show \"0 1 r\" instead of their buttons: no Marlett font (tools/bootstrap installs "
              "fonts-wine)");
        return 1;
    }
    return 0;
}

// --- the allow list, and a file held by another program -----------------------------------

int Allowed()
{
    HWND main = FindMainWindow(false);
    if (!main) {
        Fault("no %ls window", kMainClass);
        return 1;
    }
    const HWND list = GetDlgItem(main, IDC_WHITELIST);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        std::printf("%s\n", Narrow(text).c_str());
    }
    return 0;
}

int Remove(int index)
{
    HWND main = FindMainWindow(false);
    if (!main) {
        Fault("no %ls window", kMainClass);
        return 1;
    }
    const HWND list = GetDlgItem(main, IDC_WHITELIST);
    if (SendMessageW(list, LB_SETCURSEL, index, 0) == LB_ERR) {
        Fault("the allow list has no entry %d", index);
        return 1;
    }
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_WHITELIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    HWND dialog = nullptr;
    for (int tries = 0; tries < 100 && !(dialog && IsWindowVisible(dialog)); ++tries) {
        Sleep(50);
        dialog = FindWindowW(L"QuellixModalWindow", L"Dialog Caption");
    }
    if (!dialog || !IsWindowVisible(dialog)) {
        Fault("no dialog after the double-click");
        return 1;
    }
    const LRESULT before = SendMessageW(list, LB_GETCOUNT, 0, 0);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    for (int tries = 0; tries < 100 && SendMessageW(list, LB_GETCOUNT, 0, 0) == before; ++tries)
        Sleep(50);
    if (SendMessageW(list, LB_GETCOUNT, 0, 0) != before - 1)
        Fault("the entry was not removed");
    return g_faults ? 1 : 0;
}

int Hold(const char* file, int milliseconds)
{
    const HANDLE held = CreateFileA(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        Fault("cannot open %s (error %lu)", file, GetLastError());
        return 1;
    }
    std::printf("held\n");
    Sleep(static_cast<DWORD>(milliseconds));
    CloseHandle(held);
    return 0;
}

int Uninstall(const std::string& root)
{
    wchar_t command[2048] = {};
    DWORD size = sizeof command;
    if (RegGetValueW(root == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellix", L"QuietUninstallString",
                     RRF_RT_REG_SZ, nullptr, command, &size) != ERROR_SUCCESS) {
        Fault("no QuietUninstallString under %s", root.c_str());
        return 1;
    }
    std::printf("%s\n", Narrow(command).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        Fault("cannot start it (error %lu)", GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

}  // namespace

int main(int argc, char** argv)
{
    // Coordinates and resolution as they really are, not scaled for an unaware program.
    SetProcessDPIAware();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string command = argc > 1 ? argv[1] : "";
    const int number = argc > 2 ? std::atoi(argv[2]) : 0;
    if (command == "wait" && argc == 3)
        return Wait(number);
    if (command == "layout" && argc == 3)
        return Layout(number);
    if (command == "quit" && argc == 3)
        return Quit(number);
    if (command == "caption" && argc == 2)
        return CaptionGlyphs();
    if (command == "allowed" && argc == 2)
        return Allowed();
    if (command == "remove" && argc == 3)
        return Remove(number);
    if (command == "log" && argc == 2)
        return WithPopupLog(ShowLog, 0);
    if (command == "remove-site" && argc == 3)
        return WithPopupLog(RemoveSite, number);
    if (command == "hold" && argc == 4)
        return Hold(argv[2], std::atoi(argv[3]));
    if (command == "uninstall" && argc == 3)
        return Uninstall(argv[2]);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr,
                     "usage: window_probe wait SECONDS | layout DPI | caption | quit SECONDS | allowed | remove N | "
                     "log | remove-site N | hold FILE MS | uninstall ROOT\n");
        return 2;
    }
    std::fprintf(stderr, "window_probe: unknown command %s\n", command.c_str());
    return 2;
}
