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
    const std::uint32_t now = m_ticks.Now();
    const PopupOutcome outcome = Decide(opener, now);
    const std::uint64_t record = m_lists.log.Add(now, opener, outcome);
    if (outcome == PopupOutcome::kWaiting)
        m_pendingRecord = record;
    // Cancel: the browser is told not to open a refused window; one waiting to be looked at
    // opens and is closed later; the rest are the browser's to decide.
    if (outcome == PopupOutcome::kRefused)
        return true;
    if (outcome == PopupOutcome::kWaiting)
        return false;
    return std::nullopt;
}

PopupOutcome PopupRules::Decide(std::string_view opener, std::uint32_t now)
{
    if (m_lists.sites.AllowsPagesOf(opener)) {
        // Let through before any other test, and not looked at when it appears.
        m_state.zirodPending = false;
        return PopupOutcome::kAllowedSite;
    }
    if (m_state.protectionOff)
        return PopupOutcome::kProtectionOff;

    const Input input = UserInput();
    // Unsigned arithmetic keeps the difference right across the wrap of the tick counter.
    const std::uint32_t sinceClick = now - m_state.lastClickTick;
    if (input != Input::kNone || sinceClick < kClickGraceMs)
        return input == Input::kKey ? PopupOutcome::kWithKey : PopupOutcome::kAfterClick;

    if (m_options.ListOn()) {
        m_state.zirodPending = true;
        return PopupOutcome::kWaiting;
    }
    m_state.zirodPending = false;
    m_protection.NotifyBlocked();
    return PopupOutcome::kRefused;
}

void PopupRules::BrowserCreated(NewBrowser& browser)
{
    if (m_state.protectionOff || !m_state.zirodPending)
        return;

    // This window is the one that was waiting to be looked at, whatever it turns out to be:
    // left set, the mark would close the user's own next window, whatever its origin.
    const std::optional<std::string> address = browser.LocationUrl();
    PopupOutcome outcome = PopupOutcome::kClosed;
    if (!address) {
        // It went away on its own before it could be looked at: nothing is left to block.
        outcome = PopupOutcome::kWentAway;
    } else if (IsInList(m_lists.allowed, *address) ||
               (m_lists.policyAllowed && IsInList(*m_lists.policyAllowed, *address))) {
        outcome = PopupOutcome::kAllowedAddress;
    } else {
        if (!IsInList(m_lists.blocked, *address))
            m_lists.blocked.Append(*address);
        browser.Quit();
        m_protection.NotifyBlocked();
    }
    m_state.zirodPending = false;
    m_lists.log.Complete(m_pendingRecord, address ? std::string_view(*address) : std::string_view(), outcome);
}

}  // namespace quellix
