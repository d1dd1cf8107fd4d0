#include "blocker/url_list.h"

#include <algorithm>
#include <functional>

namespace quellix {

bool UrlList::Append(std::string text)
{
    if (Full() || text.size() > kMaxEntryBytes)
        return false;
    if (m_observer && !m_observer->EntryAppended(text))
        return false;
    m_entries.push_back(std::move(text));
    m_appendedAt.push_back(m_revision + 1);
    Index(static_cast<std::uint32_t>(m_entries.size() - 1), HashOf(m_entries.back()));
    ++m_revision;
    return true;
}

void UrlList::Remove(std::size_t index)
{
    if (index >= m_entries.size())
        return;
    Unindex(index);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    m_appendedAt.erase(m_appendedAt.begin() + static_cast<std::ptrdiff_t>(index));
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
    if (m_slots.empty())
        return false;
    const std::uint32_t hash = HashOf(text);
    for (std::size_t i = hash & Mask(); m_slots[i].position != kFree; i = (i + 1) & Mask()) {
        if (m_slots[i].hash == hash && m_entries[m_slots[i].position] == text)
            return true;
    }
    return false;
}

std::uint32_t UrlList::HashOf(std::string_view text)
{
    return static_cast<std::uint32_t>(std::hash<std::string_view>{}(text));
}

void UrlList::Index(std::uint32_t position, std::uint32_t hash)
{
    if (2 * m_entries.size() > m_slots.size()) {
        std::vector<Slot> old(std::max<std::size_t>(16, 2 * m_slots.size()), Slot{kFree, 0});
        old.swap(m_slots);
        for (const Slot& slot : old) {
            if (slot.position != kFree)
                Index(slot.position, slot.hash);
        }
    }
    std::size_t i = hash & Mask();
    while (m_slots[i].position != kFree)
        i = (i + 1) & Mask();
    m_slots[i] = {position, hash};
}

void UrlList::Unindex(std::size_t position)
{
    std::size_t hole = HashOf(m_entries[position]) & Mask();
    while (m_slots[hole].position != position)
        hole = (hole + 1) & Mask();
    // Close the gap: a later slot of the same run moves back into it unless that would
    // put it before its own home.
    for (std::size_t i = (hole + 1) & Mask(); m_slots[i].position != kFree; i = (i + 1) & Mask()) {
        const std::size_t home = m_slots[i].hash & Mask();
        if (((i - home) & Mask()) >= ((i - hole) & Mask())) {
            m_slots[hole] = m_slots[i];
            hole = i;
        }
    }
    m_slots[hole].position = kFree;
    // The entries below move up a row.
    if (position + 1 == m_entries.size())
        return;
    for (Slot& slot : m_slots) {
        if (slot.position != kFree && slot.position > position)
            --slot.position;
    }
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
