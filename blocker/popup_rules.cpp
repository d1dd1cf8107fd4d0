#include "blocker/popup_rules.h"

#include "blocker/protection.h"
#include "blocker/url_list.h"

namespace quellix {

bool IsInList(const UrlList& list, std::string_view text)
{
    return text.empty() || list.Contains(text);
}

PopupRules::PopupRules(BlockingState& state, const Options& options, KeyStateSource& keys, TickSource& ticks,
                       UrlList& blocked, UrlList& allowed, Protection& protection)
    : m_state(state), m_options(options), m_keys(keys), m_ticks(ticks), m_blocked(blocked), m_allowed(allowed),
      m_protection(protection)
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

bool PopupRules::IsUserInput()
{
    return m_keys.Query(vk::kControl) != 0 || m_keys.Query(vk::kShift) != 0 || AnyFreshMousePress();
}

std::optional<bool> PopupRules::NewWindow()
{
    if (m_state.protectionOff)
        return std::nullopt;

    const bool userInput = IsUserInput();
    // Unsigned arithmetic keeps the difference right across the wrap of the tick counter.
    const std::uint32_t sinceClick = m_ticks.Now() - m_state.lastClickTick;
    if (userInput || sinceClick < kClickGraceMs)
        return std::nullopt;

    if (m_options.ListOn()) {
        m_state.zirodPending = true;
        return false;
    }
    m_state.zirodPending = false;
    m_protection.NotifyBlocked();
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
        return;
    }
    if (IsInList(m_allowed, *address)) {
        // This window was the one waiting to be looked at; left set, the mark would close
        // the user's own next window, whatever its origin.
        m_state.zirodPending = false;
        return;
    }

    if (!IsInList(m_blocked, *address))
        m_blocked.Append(*address);
    browser.Quit();
    m_protection.NotifyBlocked();
    m_state.zirodPending = false;
}

}  // namespace quellix
