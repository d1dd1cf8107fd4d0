// A list box that mirrors an address list.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/utf.h"
#include "blocker/url_list.h"

namespace quellix {

// Keeps a list box showing what its list holds: the main window's two lists, the log
// window's allowed sites. Entries the list holds already are added by the constructor.
// Below them it may show entries an administrator set, marked so, which the list does not
// hold and the user cannot select for removal.
class ListMirror final : public UrlListObserver {
public:
    ListMirror(UrlList& list, HWND box) : m_list(list), m_box(box)
    {
        for (const std::string& entry : m_list.Entries())
            EntryAppended(entry);
        m_list.SetObserver(this);
    }
    ~ListMirror() { m_list.SetObserver(nullptr); }

    // Called before the list holds the entry: its row is the list's count.
    bool EntryAppended(const std::string& text) override
    {
        const LRESULT added = SendMessageW(m_box, LB_INSERTSTRING, m_list.Count(),
                                           reinterpret_cast<LPARAM>(Widen(text).c_str()));
        return added != LB_ERR && added != LB_ERRSPACE;
    }
    void EntryRemoved(std::size_t index) override { SendMessageW(m_box, LB_DELETESTRING, index, 0); }

    // The administrator's entries, in place of those shown before.
    void ShowFixed(const std::vector<std::string>& entries)
    {
        for (std::size_t row = m_list.Count() + m_fixedRows; row-- > m_list.Count();)
            SendMessageW(m_box, LB_DELETESTRING, row, 0);
        m_fixedRows = 0;
        for (const std::string& entry : entries) {
            const std::wstring text = Widen(entry) + L"  (set by your organisation)";
            if (SendMessageW(m_box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())) < 0)
                break;
            ++m_fixedRows;
        }
    }

    // The list box's selection, as the list's: an administrator's entry is none of its own.
    void TakeSelection()
    {
        const LRESULT selected = SendMessageW(m_box, LB_GETCURSEL, 0, 0);
        m_list.Select(selected == LB_ERR ? std::nullopt : std::optional<std::size_t>(selected));
    }
    // Whether one of the list's own entries is selected.
    bool OwnEntrySelected() const
    {
        const LRESULT selected = SendMessageW(m_box, LB_GETCURSEL, 0, 0);
        return selected != LB_ERR && static_cast<std::size_t>(selected) < m_list.Count();
    }

private:
    UrlList& m_list;
    HWND m_box;
    std::size_t m_fixedRows = 0;
};

}  // namespace quellix
