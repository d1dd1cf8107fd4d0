// frmPopupLog, the pop-up log window: every decision of the pop-up rules, newest first, with
// what the user can do about one (open the pop-up anyway, allow its address, allow the
// site that opened it, copy the address), and the allowed sites. Not modal: it can stay
// open beside the browser and follows the log as it grows. Resizable; its size is kept.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/unique_handle.h"
#include "blocker/allow_prompt.h"
#include "blocker/allowed_sites.h"
#include "blocker/popup_log.h"
#include "shell/layout_win.h"
#include "shell/list_mirror_win.h"
#include "shell/settings.h"

namespace quellix {

class frmPopupLog {
public:
    // What the window shows and changes.
    struct Lists {
        PopupLog& log;
        UrlList& allowed;
        AllowedSites& sites;
    };

    frmPopupLog(Lists lists, ShellOpener& shell, SettingsStore& settings);
    frmPopupLog(const frmPopupLog&) = delete;
    frmPopupLog& operator=(const frmPopupLog&) = delete;
    ~frmPopupLog();

    // Shows the window in front; it is made at its first opening, at the size it last had.
    // A `record` (its serial in the log) is selected and scrolled into view.
    void Show(HWND owner, std::uint64_t record = 0);
    HWND Window() const { return m_window.get(); }

    // The log has changed: the list follows it, keeping the selected record selected.
    void LogChanged();
    // The sites an administrator allows have changed: they are shown below the user's.
    void PolicyChanged();
    // Tab, Escape and the buttons' letters, for the program's message loop.
    bool PreTranslate(MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(const NMHDR& header);

    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void lvwLog_GetDispInfo(NMLVDISPINFOW& info);
    void lvwLog_ItemChanged();
    void cmdOpen_Click();
    void cmdAllowAddress_Click();
    void cmdAllowSite_Click();
    void cmdCopy_Click();
    void cmdClear_Click();
    void cmdRemove_Click();

    // The selected record, or null.
    const PopupRecord* Selected() const;
    // The list as the log is now, the selected record selected.
    void ShowLog();
    // Each button enabled when it can act on the selection; the site button names the site.
    void UpdateButtons();
    HWND Control(int id) const { return GetDlgItem(m_window.get(), id); }

    Lists m_lists;
    ShellOpener& m_shell;
    SettingsStore& m_settings;
    const Layout& m_layout = ProgramLayout();
    UniqueHwnd m_window;
    UniqueHicon m_icon;
    std::unique_ptr<ListMirror> m_sitesMirror;
    std::uint64_t m_shownRevision = 0;
    std::uint64_t m_selectedSerial = 0;  // the selected record's, 0 for none
    bool m_following = false;            // LogChanged is moving the selection
    std::wstring m_cellText;             // a cell's text, until the list view asks for the next
};

}  // namespace quellix
