// A list box that mirrors an address list.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "base/utf.h"
#include "blocker/url_list.h"

namespace quellix {

// Keeps a list box showing what its list holds: the main window's two lists, the log
// window's allowed sites. Entries the list holds already are added by the constructor.
class ListMirror final : public UrlListObserver {
public:
    ListMirror(UrlList& list, HWND box) : m_list(list), m_box(box)
    {
        for (const std::string& entry : m_list.Entries())
            EntryAppended(entry);
        m_list.SetObserver(this);
    }
    ~ListMirror() { m_list.SetObserver(nullptr); }

    bool EntryAppended(const std::string& text) override
    {
        const LRESULT added = SendMessageW(m_box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
        return added != LB_ERR && added != LB_ERRSPACE;
    }
    void EntryRemoved(std::size_t index) override { SendMessageW(m_box, LB_DELETESTRING, index, 0); }

    // The list box's selection, as the list's.
    void TakeSelection()
    {
        const LRESULT selected = SendMessageW(m_box, LB_GETCURSEL, 0, 0);
        m_list.Select(selected == LB_ERR ? std::nullopt : std::optional<std::size_t>(selected));
    }

private:
    UrlList& m_list;
    HWND m_box;
};

}  // namespace quellix
