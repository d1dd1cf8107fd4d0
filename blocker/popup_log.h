// The pop-up log: the last decisions of the pop-up rules, in memory only (it is the user's
// browsing), for the log window to show.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "blocker/url_list.h"

namespace quellix {

enum class PopupOutcome : std::uint8_t {
    kRefused,           // the browser was told not to open it
    kClosed,            // it opened, its address showed it a pop-up, it was closed
    kAfterClick,        // opened within the grace time of a click
    kWithKey,           // opened with Ctrl or Shift held
    kAllowedAddress,    // its address is on the allow list
    kAllowedSite,       // the page that opened it lies on an allowed site
    kProtectionOff,     // protection was switched off
    kWaiting,           // let open, its address not seen yet
    kWentAway,          // it closed before its address could be read
    kAskedFor,          // the browser says the user's click or key opened it
    kRefusedUnloading,  // refused: its page opened it while being left
    kUnjudged,          // let open, and no window or address came to judge it by
    kRefusedSecond,     // refused: a window of the user's action, but not its first
};

// Whether the window was kept from opening.
constexpr bool IsRefusal(PopupOutcome outcome)
{
    return outcome == PopupOutcome::kRefused || outcome == PopupOutcome::kRefusedUnloading ||
           outcome == PopupOutcome::kRefusedSecond;
}

// How the log window names an outcome.
std::string_view OutcomeText(PopupOutcome outcome);

struct PopupRecord {
    std::uint32_t tick = 0;  // the tick count when the page asked for the window
    std::string opener;      // the opening page's address, as the browser reported it
    std::string popup;       // the pop-up's address, where known
    PopupOutcome outcome = PopupOutcome::kRefused;
};

class PopupLog {
public:
    static constexpr std::size_t kCapacity = 1000;
    // Longer addresses are kept this long, which the allow list could not take anyway.
    static constexpr std::size_t kMaxTextBytes = UrlList::kMaxEntryBytes;

    std::size_t Count() const { return m_count; }
    // Newest first: 0 is the latest decision.
    const PopupRecord& operator[](std::size_t newestFirst) const;
    // A record's serial number, and where the record with a serial stands while it is held.
    std::uint64_t SerialAt(std::size_t newestFirst) const { return m_nextSerial - 1 - newestFirst; }
    std::optional<std::size_t> IndexOf(std::uint64_t serial) const;

    // Records a decision, over the oldest once the log is full; returns its serial number.
    // The records' strings keep their storage, so a full log only allocates for an address
    // longer than the one it replaces.
    std::uint64_t Add(std::uint32_t tick, std::string_view opener, PopupOutcome outcome);
    // Completes a list-mode record once the pop-up has been looked at; a record that has
    // left the log (or been cleared) is not there to complete.
    void Complete(std::uint64_t serial, std::string_view popup, PopupOutcome outcome);
    void Clear();

    // Counts every change, for the window to see when to redraw.
    std::uint64_t Revision() const { return m_revision; }

private:
    std::array<PopupRecord, kCapacity> m_records;
    std::size_t m_count = 0;
    std::uint64_t m_nextSerial = 1;
    std::uint64_t m_revision = 0;
};

}  // namespace quellix
