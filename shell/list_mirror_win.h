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
        for (std::size_t row = 0; row < m_list.Count(); ++row)
            Insert(m_list[row], row);
        m_list.SetObserver(this);
    }
    ~ListMirror() { m_list.SetObserver(nullptr); }

    // Called before the list holds the entry: its row is the list's count, above the
    // administrator's entries.
    bool EntryAppended(const std::string& text) override { return Insert(text, m_list.Count()); }
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
    // Whether one of the list's own entries is selected, or one of the administrator's.
    bool OwnEntrySelected() const { return SelectedRow() < m_list.Count(); }
    bool FixedEntrySelected() const
    {
        const std::size_t row = SelectedRow();
        return row >= m_list.Count() && row != kNone;
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t SelectedRow() const
    {
        const LRESULT selected = SendMessageW(m_box, LB_GETCURSEL, 0, 0);
        return selected < 0 ? kNone : static_cast<std::size_t>(selected);
    }
    bool Insert(const std::string& text, std::size_t row)
    {
        const LRESULT added = SendMessageW(m_box, LB_INSERTSTRING, row, reinterpret_cast<LPARAM>(Widen(text).c_str()));
        return added != LB_ERR && added != LB_ERRSPACE;
    }

    UrlList& m_list;
    HWND m_box;
    std::size_t m_fixedRows = 0;
};

}  // namespace quellix
