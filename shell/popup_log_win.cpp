#include "shell/popup_log_win.h"

#include <commctrl.h>

#include <algorithm>
#include <string_view>

#include "base/window.h"
#include "shell/resource.h"

namespace quellix {

namespace {

constexpr wchar_t kClassName[] = L"QuellixPopupLog";
constexpr std::string_view kSection = "Pop-up log";
// The first size, and the smallest: every button keeps room for its text.
constexpr int kWidthTwips = 9600;
constexpr int kHeightTwips = 6600;
constexpr int kMinWidthTwips = 8400;
constexpr int kMinHeightTwips = 4800;

// Margin, gap between controls, button and label heights, the sites list's height.
constexpr int kMargin = 120;
constexpr int kGap = 90;
constexpr int kButtonHeight = 375;
constexpr int kLabelHeight = 255;
constexpr int kSitesHeight = 1095;
constexpr int kRemoveWidth = 1215;

// The row of buttons under the log, left to right; the site button takes what is left.
constexpr struct {
    int id;
    int widthTwips;  // 0: the rest of the row
} kButtonRow[] = {
    {IDC_LOG_OPEN, 1335}, {IDC_LOG_ALLOWADDRESS, 1695}, {IDC_LOG_ALLOWSITE, 0},
    {IDC_LOG_COPY, 1335}, {IDC_LOG_CLEAR, 975},
};

constexpr struct {
    const wchar_t* title;
    int widthTwips;
} kColumns[] = {{L"Time", 1050}, {L"Opened by", 3000}, {L"Pop-up", 2700}, {L"What happened", 2250}};

}  // namespace

frmPopupLog::frmPopupLog(Lists lists, ShellOpener& shell, SettingsStore& settings)
    : m_lists(lists), m_shell(shell), m_settings(settings)
{
}

frmPopupLog::~frmPopupLog()
{
    m_sitesMirror.reset();
    m_window.reset();
}

void frmPopupLog::Show(HWND owner, std::uint64_t record)
{
    if (!m_window) {
        RegisterWindowClass(kClassName, WindowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        // m_window is set at WM_NCCREATE: the window is this object's from its first message.
        if (!CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, kClassName, L"Pop-up log", WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner, nullptr, ThisInstance(), this))
            return;
        Form_Load();
    }
    if (record != 0) {
        m_selectedSerial = record;
        ShowLog();
        if (const std::optional<std::size_t> index = m_lists.log.IndexOf(record))
            SendMessageW(Control(IDC_LOG_LIST), LVM_ENSUREVISIBLE, *index, FALSE);
    } else {
        LogChanged();
    }
    if (IsIconic(m_window.get()))
        ShowWindow(m_window.get(), SW_RESTORE);
    ShowWindow(m_window.get(), SW_SHOW);
    SetForegroundWindow(m_window.get());
}

void frmPopupLog::PolicyChanged()
{
    if (!m_sitesMirror)
        return;
    m_sitesMirror->ShowFixed(m_lists.sites.PolicySites());
    UpdateButtons();
}

bool frmPopupLog::PreTranslate(MSG& message)
{
    return m_window && IsWindowVisible(m_window.get()) && IsDialogMessageW(m_window.get(), &message);
}

void frmPopupLog::Form_Load()
{
    // Placed by Form_Resize, which follows the window's size; in tab order.
    static constexpr DWORD kLogStyle = WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                                       LVS_SHOWSELALWAYS;
    static constexpr ControlLayout kControls[] = {
        {WC_LISTVIEWW, L"", kLogStyle, IDC_LOG_LIST, 0, 0, 0, 0},
        {L"BUTTON", L"&Open pop-up", style::kButton, IDC_LOG_OPEN, 0, 0, 0, 0},
        {L"BUTTON", L"Allow this &address", style::kButton, IDC_LOG_ALLOWADDRESS, 0, 0, 0, 0},
        {L"BUTTON", L"Allow &pop-ups from the site", style::kButton, IDC_LOG_ALLOWSITE, 0, 0, 0, 0},
        {L"BUTTON", L"&Copy address", style::kButton, IDC_LOG_COPY, 0, 0, 0, 0},
        {L"BUTTON", L"C&lear", style::kButton, IDC_LOG_CLEAR, 0, 0, 0, 0},
        {L"STATIC", L"Allowed &sites: their pages may open windows", SS_LEFT, IDC_SITES_LABEL, 0, 0, 0, 0},
        {L"LISTBOX", L"", style::kList, IDC_SITES_LIST, 0, 0, 0, 0},
        {L"BUTTON", L"&Remove", style::kButton, IDC_SITES_REMOVE, 0, 0, 0, 0},
    };
    m_layout.AddAll(m_window.get(), kControls);
    m_icon = SetProgramIcon(m_window.get());

    const HWND log = Control(IDC_LOG_LIST);
    SendMessageW(log, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(kColumns[i].title);
        column.cx = m_layout.X(kColumns[i].widthTwips);
        SendMessageW(log, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    m_sitesMirror = std::make_unique<ListMirror>(m_lists.sites.List(), Control(IDC_SITES_LIST));
    m_sitesMirror->ShowFixed(m_lists.sites.PolicySites());

    // The size it had when it was last closed, in twips, so that it suits any resolution.
    const auto stored = [&](std::string_view key, int first, int least) {
        const std::string text = m_settings.Get(kAppName, kSection, key, "");
        return text.empty() ? first : std::max<int>(SettingToInt16(text), least);
    };
    m_layout.SizeClientArea(m_window.get(), stored("Width", kWidthTwips, kMinWidthTwips),
                            stored("Height", kHeightTwips, kMinHeightTwips));
    CentreWindow(m_window.get(), GetWindow(m_window.get(), GW_OWNER));
    UpdateButtons();
}

void frmPopupLog::Form_Resize()
{
    RECT client;
    GetClientRect(m_window.get(), &client);
    const Layout& l = m_layout;
    const int width = client.right - l.X(2 * kMargin);
    auto place = [&](int id, int left, int top, int w, int h) { MoveWindow(Control(id), left, top, w, h, TRUE); };

    // From the bottom up: the sites and their button, their label, the row of buttons; the
    // log takes the rest.
    int top = client.bottom - l.Y(kMargin + kSitesHeight);
    place(IDC_SITES_LIST, l.X(kMargin), top, width - l.X(kGap + kRemoveWidth), l.Y(kSitesHeight));
    place(IDC_SITES_REMOVE, client.right - l.X(kMargin + kRemoveWidth), top, l.X(kRemoveWidth), l.Y(kButtonHeight));
    top -= l.Y(kLabelHeight + kGap / 2);
    place(IDC_SITES_LABEL, l.X(kMargin), top, width, l.Y(kLabelHeight));
    top -= l.Y(kButtonHeight + 2 * kGap);

    int fixed = -l.X(kGap);
    for (const auto& button : kButtonRow)
        fixed += l.X(button.widthTwips + kGap);
    int left = l.X(kMargin);
    for (const auto& button : kButtonRow) {
        const int w = button.widthTwips ? l.X(button.widthTwips) : std::max(width - fixed, 0);
        place(button.id, left, top, w, l.Y(kButtonHeight));
        left += w + l.X(kGap);
    }
    place(IDC_LOG_LIST, l.X(kMargin), l.Y(kMargin), width, std::max<int>(top - l.Y(kGap + kMargin), 0));
}

void frmPopupLog::Form_Unload()
{
    RECT client;
    GetClientRect(m_window.get(), &client);
    if (IsIconic(m_window.get()) || client.right == 0)
        return;
    const auto twips = [&](int pixels) { return std::to_string(MulDiv(pixels, 1440, m_layout.Dpi())); };
    m_settings.Save(kAppName, kSection, "Width", twips(client.right));
    m_settings.Save(kAppName, kSection, "Height", twips(client.bottom));
}

void frmPopupLog::LogChanged()
{
    const PopupLog& log = m_lists.log;
    if (m_window && log.Revision() != m_shownRevision)
        ShowLog();
}

void frmPopupLog::ShowLog()
{
    const PopupLog& log = m_lists.log;
    m_shownRevision = log.Revision();

    // Records move down as new ones arrive: the selection follows its record.
    const HWND list = Control(IDC_LOG_LIST);
    m_following = true;
    SendMessageW(list, LVM_SETITEMCOUNT, log.Count(), LVSICF_NOSCROLL);
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    if (const std::optional<std::size_t> index = m_lists.log.IndexOf(m_selectedSerial)) {
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, *index, reinterpret_cast<LPARAM>(&item));
    }
    m_following = false;
    InvalidateRect(list, nullptr, FALSE);
    UpdateButtons();
}

const PopupRecord* frmPopupLog::Selected() const
{
    const std::optional<std::size_t> index = m_lists.log.IndexOf(m_selectedSerial);
    return index ? &m_lists.log[*index] : nullptr;
}

void frmPopupLog::lvwLog_ItemChanged()
{
    if (m_following)
        return;
    const auto index = SendMessageW(Control(IDC_LOG_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    const bool shown = index >= 0 && static_cast<std::size_t>(index) < m_lists.log.Count();
    m_selectedSerial = shown ? m_lists.log.SerialAt(static_cast<std::size_t>(index)) : 0;
    UpdateButtons();
}

LRESULT frmPopupLog::OnNotify(const NMHDR& header)
{
    if (header.idFrom != IDC_LOG_LIST)
        return 0;
    if (header.code == LVN_GETDISPINFOW)
        lvwLog_GetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
    else if (header.code == LVN_ITEMCHANGED)
        lvwLog_ItemChanged();
    return 0;
}

LRESULT frmPopupLog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    static constexpr struct {
        int id;
        void (frmPopupLog::*handler)();
    } kCommands[] = {
        {IDC_LOG_OPEN, &frmPopupLog::cmdOpen_Click},
        {IDC_LOG_ALLOWADDRESS, &frmPopupLog::cmdAllowAddress_Click},
        {IDC_LOG_ALLOWSITE, &frmPopupLog::cmdAllowSite_Click},
        {IDC_LOG_COPY, &frmPopupLog::cmdCopy_Click},
        {IDC_LOG_CLEAR, &frmPopupLog::cmdClear_Click},
        {IDC_SITES_REMOVE, &frmPopupLog::cmdRemove_Click},
    };
    const HWND window = m_window.get();
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SITES_LIST && HIWORD(wParam) == LBN_SELCHANGE)
            UpdateButtons();
        if (LOWORD(wParam) == IDCANCEL)  // Escape
            PostMessageW(window, WM_CLOSE, 0, 0);
        for (const auto& command : kCommands) {
            if (command.id == LOWORD(wParam) && HIWORD(wParam) == BN_CLICKED)
                (this->*command.handler)();
        }
        return 0;
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_SIZE:
        Form_Resize();
        return 0;
    case WM_GETMINMAXINFO: {
        const SIZE least = m_layout.FrameSize(window, kMinWidthTwips, kMinHeightTwips);
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {least.cx, least.cy};
        return 0;
    }
    case WM_CLOSE:
        // Hidden, not destroyed: it opens again as the user left it.
        Form_Unload();
        ShowWindow(window, SW_HIDE);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK frmPopupLog::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    frmPopupLog* const self = WindowOwner(window, message, lParam, &frmPopupLog::m_window);
    if (!self || message == WM_NCDESTROY)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

}  // namespace quellix
