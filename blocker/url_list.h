// An address list of the main window: the blocked list, the allow list, the allowed sites.
// Entries keep the order in which they were appended and are never sorted; a list holds at
// most kMaxEntries (list-box positions are 16-bit), each at most kMaxEntryBytes long, far
// more than any web address. At most one entry is selected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellix {

// Mirrors a list on screen; the Win32 list box implements it.
class UrlListObserver {
public:
    // False when the screen cannot take the entry: the list then refuses it too.
    virtual bool EntryAppended(const std::string& text) = 0;
    virtual void EntryRemoved(std::size_t index) = 0;

protected:
    ~UrlListObserver() = default;
};

class UrlList {
public:
    static constexpr std::size_t kMaxEntries = 32767;
    static constexpr std::size_t kMaxEntryBytes = 8192;

    std::size_t Count() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    bool Full() const { return m_entries.size() >= kMaxEntries; }
    const std::string& operator[](std::size_t index) const { return m_entries[index]; }
    const std::vector<std::string>& Entries() const { return m_entries; }

    // Appends at the end; a full list, or one whose screen cannot take the entry, refuses
    // (and returns false), as it refuses an entry that is too long.
    bool Append(std::string text);
    void Remove(std::size_t index);
    // Counts every change, so that a saved list can tell whether it changed since.
    std::uint64_t Revision() const { return m_revision; }
    // The revision the entry's Append made: whether it was added (again) since a save.
    std::uint64_t AppendedAt(std::size_t index) const { return m_appendedAt[index]; }

    // Exact, case-sensitive comparison of whole texts, independent of the list's length.
    bool Contains(std::string_view text) const;

    std::optional<std::size_t> Selected() const { return m_selected; }
    void Select(std::optional<std::size_t> index);
    // The selected entry, or the empty text when none is selected.
    std::string_view SelectedText() const;

    void SetObserver(UrlListObserver* observer) { m_observer = observer; }

private:
    // Where each entry sits, found by its text's hash: open addressing with linear probing,
    // at most half full. A lookup hashes once and compares with the entries themselves, and
    // an entry costs no allocation beyond its own text.
    struct Slot {
        std::uint32_t position;
        std::uint32_t hash;
    };
    static constexpr std::uint32_t kFree = UINT32_MAX;

    static std::uint32_t HashOf(std::string_view text);
    std::size_t Mask() const { return m_slots.size() - 1; }
    void Index(std::uint32_t position, std::uint32_t hash);
    void Unindex(std::size_t position);

    std::vector<std::string> m_entries;
    std::vector<std::uint64_t> m_appendedAt;  // by entry
    std::vector<Slot> m_slots;
    std::optional<std::size_t> m_selected;
    UrlListObserver* m_observer = nullptr;
    std::uint64_t m_revision = 0;
};

}  // namespace quellix
