#include "blocker/popup_rules.h"

#include "blocker/allowed_sites.h"
#include "blocker/protection.h"
#include "blocker/url_list.h"

namespace quellix {

bool IsInList(const UrlList& list, std::string_view text)
{
    return text.empty() || list.Contains(text);
}

PopupRules::PopupRules(BlockingState& state, const Options& options, KeyStateSource& keys, TickSource& ticks,
                       PopupLists lists, Protection& protection)
    : m_state(state), m_options(options), m_keys(keys), m_ticks(ticks), m_lists(lists), m_protection(protection)
{
}

bool PopupRules::AnyFreshMousePress()
{
    // Stops at the first fresh press: every query consumes that button's pressed-since bit.
    for (const int button : {vk::kLButton, vk::kRButton, vk::kMButton}) {
        if (IsFreshPress(m_keys.Query(button)))
            return true;
    }
    return false;
}

void PopupRules::ClickWatch()
{
    if (AnyFreshMousePress())
        m_state.lastClickTick = m_ticks.Now();
}

PopupRules::Input PopupRules::UserInput()
{
    if (m_keys.Query(vk::kControl) != 0 || m_keys.Query(vk::kShift) != 0)
        return Input::kKey;
    return AnyFreshMousePress() ? Input::kClick : Input::kNone;
}

std::optional<bool> PopupRules::NewWindow(std::string_view opener)
{
    PopupOutcome outcome = PopupOutcome::kRefused;
    const std::optional<bool> cancel = Decide(opener, outcome);
    const std::uint64_t record = m_lists.log.Add(m_ticks.Now(), opener, outcome);
    if (outcome == PopupOutcome::kWaiting)
        m_pendingRecord = record;
    return cancel;
}

std::optional<bool> PopupRules::Decide(std::string_view opener, PopupOutcome& outcome)
{
    if (m_lists.sites.AllowsPagesOf(opener)) {
        // Let through before any other test, and not looked at when it appears.
        m_state.zirodPending = false;
        outcome = PopupOutcome::kAllowedSite;
        return std::nullopt;
    }
    if (m_state.protectionOff) {
        outcome = PopupOutcome::kProtectionOff;
        return std::nullopt;
    }

    const Input input = UserInput();
    // Unsigned arithmetic keeps the difference right across the wrap of the tick counter.
    const std::uint32_t sinceClick = m_ticks.Now() - m_state.lastClickTick;
    if (input != Input::kNone || sinceClick < kClickGraceMs) {
        outcome = input == Input::kKey ? PopupOutcome::kWithKey : PopupOutcome::kAfterClick;
        return std::nullopt;
    }

    if (m_options.ListOn()) {
        m_state.zirodPending = true;
        outcome = PopupOutcome::kWaiting;
        return false;
    }
    m_state.zirodPending = false;
    m_protection.NotifyBlocked();
    outcome = PopupOutcome::kRefused;
    return true;
}

void PopupRules::BrowserCreated(NewBrowser& browser)
{
    if (m_state.protectionOff || !m_state.zirodPending)
        return;

    const std::optional<std::string> address = browser.LocationUrl();
    if (!address) {
        // The window went away on its own before it could be looked at: nothing is left to
        // block, and the mark must not stay behind for the next window the user opens.
        m_state.zirodPending = false;
        m_lists.log.Complete(m_pendingRecord, {}, PopupOutcome::kWentAway);
        return;
    }
    if (IsInList(m_lists.allowed, *address)) {
        // This window was the one waiting to be looked at; left set, the mark would close
        // the user's own next window, whatever its origin.
        m_state.zirodPending = false;
        m_lists.log.Complete(m_pendingRecord, *address, PopupOutcome::kAllowedAddress);
        return;
    }

    if (!IsInList(m_lists.blocked, *address))
        m_lists.blocked.Append(*address);
    browser.Quit();
    m_protection.NotifyBlocked();
    m_state.zirodPending = false;
    m_lists.log.Complete(m_pendingRecord, *address, PopupOutcome::kClosed);
}

}  // namespace quellix
