#include "blocker/popup_log.h"

#include <algorithm>

namespace quellix {

namespace {

// Cut at a character's start: "Allow this address" would otherwise put a broken text on
// the allow list.
std::string_view Bounded(std::string_view text)
{
    std::size_t end = std::min(text.size(), PopupLog::kMaxTextBytes);
    while (end < text.size() && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

std::string_view OutcomeText(PopupOutcome outcome)
{
    switch (outcome) {
    case PopupOutcome::kRefused:
        return "refused";
    case PopupOutcome::kClosed:
        return "closed";
    case PopupOutcome::kAfterClick:
        return "let through after a click";
    case PopupOutcome::kWithKey:
        return "let through with Ctrl or Shift";
    case PopupOutcome::kAllowedAddress:
        return "allowed address";
    case PopupOutcome::kAllowedSite:
        return "allowed site";
    case PopupOutcome::kProtectionOff:
        return "protection off";
    case PopupOutcome::kWaiting:
        return "opened, waiting for its address";
    case PopupOutcome::kAskedFor:
        return "let through: the user's click or key";
    case PopupOutcome::kRefusedUnloading:
        return "refused: opened as its page was left";
    case PopupOutcome::kUnjudged:
        return "let open: no address came to judge it by";
    case PopupOutcome::kWentAway:
        return "closed before it could be looked at";
    case PopupOutcome::kRefusedSecond:
        return "refused: not the first window of the user's click";
    }
    return "";
}

// Serial n lives in slot (n - 1) % kCapacity: the ring needs no index of its own.
const PopupRecord& PopupLog::operator[](std::size_t newestFirst) const
{
    return m_records[(m_nextSerial - 2 - newestFirst) % kCapacity];
}

std::uint64_t PopupLog::Add(std::uint32_t tick, std::string_view opener, PopupOutcome outcome)
{
    const std::uint64_t serial = m_nextSerial++;
    PopupRecord& record = m_records[(serial - 1) % kCapacity];
    record.tick = tick;
    record.opener.assign(Bounded(opener));
    record.popup.clear();
    record.outcome = outcome;
    if (m_count < kCapacity)
        ++m_count;
    ++m_revision;
    return serial;
}

std::optional<std::size_t> PopupLog::IndexOf(std::uint64_t serial) const
{
    if (serial == 0 || serial >= m_nextSerial || m_nextSerial - serial > m_count)
        return std::nullopt;
    return static_cast<std::size_t>(m_nextSerial - 1 - serial);
}

void PopupLog::Complete(std::uint64_t serial, std::string_view popup, PopupOutcome outcome)
{
    if (!IndexOf(serial))
        return;
    PopupRecord& record = m_records[(serial - 1) % kCapacity];
    record.popup.assign(Bounded(popup));
    record.outcome = outcome;
    ++m_revision;
}

void PopupLog::Clear()
{
    m_count = 0;
    ++m_revision;
}

}  // namespace quellix
