// frmPopupLog's handlers: what each button does with the selected record, the list view's
// cells, and which buttons can act.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "base/utf.h"
#include "blocker/web_address.h"
#include "shell/dialogs_win.h"
#include "shell/popup_log_win.h"
#include "shell/resource.h"

namespace quellix {

namespace {

using UniqueHglobal = UniqueHandle<NullTraits<HGLOBAL, GlobalFree>>;

// A page's address as the log shows it: control characters (a page may put any in an
// address, NUL included) become visible marks instead of cutting or breaking the line.
std::wstring Shown(std::string_view address)
{
    std::wstring text = Widen(address);
    std::replace_if(
        text.begin(), text.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; }, L'\xFFFD');
    return text;
}

// The local time at which the tick count read `tick` (within the last 49 days).
std::wstring TimeOfTick(std::uint32_t tick)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time{{now.dwLowDateTime, now.dwHighDateTime}};
    time.QuadPart -= static_cast<ULONGLONG>(GetTickCount() - tick) * 10'000;
    const FILETIME then{time.LowPart, time.HighPart};
    SYSTEMTIME universal, local;
    wchar_t text[64] = {};
    if (FileTimeToSystemTime(&then, &universal) && SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, text, 64);
    return text;
}

void CopyToClipboard(HWND owner, const std::wstring& text)
{
    if (!OpenClipboard(owner))
        return;
    EmptyClipboard();
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueHglobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (void* data = memory ? GlobalLock(memory.get()) : nullptr) {
        std::memcpy(data, text.c_str(), bytes);
        GlobalUnlock(memory.get());
        if (SetClipboardData(CF_UNICODETEXT, memory.get()))
            memory.release();  // the clipboard's now
    }
    CloseClipboard();
}

}  // namespace

void frmPopupLog::UpdateButtons()
{
    // Read before any button is greyed: greying the focused button leaves no focus at all.
    const HWND focus = GetFocus();
    const PopupRecord* record = Selected();
    const bool popupKnown = record && !record->popup.empty();
    const std::optional<std::string> site = record ? WebHost(record->opener) : std::nullopt;
    EnableWindow(Control(IDC_LOG_OPEN), popupKnown && ShellSafeWebAddress(record->popup).has_value());
    EnableWindow(Control(IDC_LOG_ALLOWADDRESS), popupKnown && !m_lists.allowed.Contains(record->popup));
    EnableWindow(Control(IDC_LOG_ALLOWSITE), site && !m_lists.sites.AllowsPagesOf(record->opener));
    EnableWindow(Control(IDC_LOG_COPY), record != nullptr);
    EnableWindow(Control(IDC_LOG_CLEAR), m_lists.log.Count() > 0);
    EnableWindow(Control(IDC_SITES_REMOVE), m_sitesMirror && m_sitesMirror->OwnEntrySelected());

    // "Allow pop-ups from SITE", the site named as far as the button has room.
    std::wstring caption = L"Allow &pop-ups from the site";
    if (site) {
        const std::wstring name = Widen(*site);
        caption = L"Allow &pop-ups from " + (name.size() > 40 ? name.substr(0, 39) + L"\x2026" : name);
    }
    SetWindowTextW(Control(IDC_LOG_ALLOWSITE), caption.c_str());

    // A button that has just acted may have greyed itself: the keyboard goes back to the log.
    if (focus && IsChild(m_window.get(), focus) && !IsWindowEnabled(focus))
        SetFocus(Control(IDC_LOG_LIST));
}

void frmPopupLog::lvwLog_GetDispInfo(NMLVDISPINFOW& info)
{
    if (!(info.item.mask & LVIF_TEXT) || info.item.iItem < 0 ||
        static_cast<std::size_t>(info.item.iItem) >= m_lists.log.Count())
        return;
    const PopupRecord& record = m_lists.log[static_cast<std::size_t>(info.item.iItem)];
    switch (info.item.iSubItem) {
    case 0:
        m_cellText = TimeOfTick(record.tick);
        break;
    case 1:
        m_cellText = Shown(record.opener);
        break;
    case 2:
        m_cellText = Shown(record.popup);
        break;
    default:
        m_cellText = Widen(OutcomeText(record.outcome));
        break;
    }
    info.item.pszText = m_cellText.data();
}

void frmPopupLog::cmdOpen_Click()
{
    if (const PopupRecord* record = Selected())
        OpenWebAddress(m_shell, record->popup);
}

void frmPopupLog::cmdAllowAddress_Click()
{
    const PopupRecord* record = Selected();
    if (record && !record->popup.empty() && !m_lists.allowed.Contains(record->popup) &&
        !m_lists.allowed.Append(record->popup))
        TellListIsFull(m_window.get(), FullList::kAllowList);
    UpdateButtons();
}

void frmPopupLog::cmdAllowSite_Click()
{
    const PopupRecord* record = Selected();
    const std::optional<std::string> site = record ? WebHost(record->opener) : std::nullopt;
    if (site && !m_lists.sites.AllowsPagesOf(record->opener) && !m_lists.sites.Add(*site))
        TellListIsFull(m_window.get(), FullList::kAllowedSites);
    UpdateButtons();
}

void frmPopupLog::cmdCopy_Click()
{
    if (const PopupRecord* record = Selected())
        CopyToClipboard(m_window.get(), Widen(record->popup.empty() ? record->opener : record->popup));
}

void frmPopupLog::cmdClear_Click()
{
    m_lists.log.Clear();
    LogChanged();
}

void frmPopupLog::cmdRemove_Click()
{
    const auto index = SendMessageW(Control(IDC_SITES_LIST), LB_GETCURSEL, 0, 0);
    if (m_sitesMirror && m_sitesMirror->OwnEntrySelected()) {
        m_lists.sites.List().Remove(static_cast<std::size_t>(index));
        m_lists.sites.Refresh();
    }
    UpdateButtons();
}

}  // namespace quellix
