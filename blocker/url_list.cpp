#include "blocker/url_list.h"

namespace quellix {

bool UrlList::Append(std::string text)
{
    if (Full() || text.size() > kMaxEntryBytes)
        return false;
    if (m_observer && !m_observer->EntryAppended(text))
        return false;
    ++m_occurrences[text];
    m_entries.push_back(std::move(text));
    ++m_revision;
    return true;
}

void UrlList::Remove(std::size_t index)
{
    if (index >= m_entries.size())
        return;
    const auto found = m_occurrences.find(m_entries[index]);
    if (--found->second == 0)
        m_occurrences.erase(found);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    ++m_revision;

    // A list box forgets its selection when the selected row goes, and the rows below move up.
    if (m_selected) {
        if (*m_selected == index)
            m_selected.reset();
        else if (*m_selected > index)
            --*m_selected;
    }
    if (m_observer)
        m_observer->EntryRemoved(index);
}

bool UrlList::Contains(std::string_view text) const
{
    return m_occurrences.find(text) != m_occurrences.end();
}

void UrlList::Select(std::optional<std::size_t> index)
{
    m_selected = index && *index < m_entries.size() ? index : std::nullopt;
}

std::string_view UrlList::SelectedText() const
{
    return m_selected ? std::string_view(m_entries[*m_selected]) : std::string_view();
}

}  // namespace quellix
