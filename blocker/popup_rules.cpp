#include "blocker/popup_rules.h"

#include <algorithm>

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
    // Ctrl and Shift count while they are held: their pressed-since bit would let the next
    // pop-up through after a capital letter typed an hour ago.
    if ((m_keys.Query(vk::kControl) & KeyStateSource::kDown) || (m_keys.Query(vk::kShift) & KeyStateSource::kDown))
        return Input::kKey;
    return AnyFreshMousePress() ? Input::kClick : Input::kNone;
}

void PopupRules::TakeInput(Request& request, std::uint32_t now)
{
    request.input = UserInput();
    // Unsigned arithmetic keeps the difference right across the wrap of the tick counter.
    request.afterClick = request.input == Input::kClick || now - m_state.lastClickTick < kClickGraceMs;
}

std::size_t PopupRules::Find(BrowserKey asking, bool newWindow3, std::uint32_t now) const
{
    for (std::size_t i = m_requests.size(); i-- > 0;) {
        const Request& request = m_requests[i];
        const bool half = newWindow3 ? request.sawNewWindow2 && !request.sawNewWindow3
                                     : request.sawNewWindow3 && !request.sawNewWindow2;
        if (half && request.asking == asking && request.stage != Request::Stage::kNavigating &&
            now - request.tick < kPairMs)
            return i;
    }
    return kNone;
}

PopupRules::Request& PopupRules::Add(std::uint32_t now, BrowserKey asking)
{
    if (m_requests.size() >= kMaxRequests)
        Forget(0);
    Request& request = m_requests.emplace_back();
    request.asking = asking;
    request.tick = now;
    return request;
}

void PopupRules::Forget(std::size_t index)
{
    const Request& request = m_requests[index];
    // A window let open and never judged: the log says so rather than "waiting" for ever.
    if (request.stage != Request::Stage::kHalf)
        m_lists.log.Complete(request.record, {}, PopupOutcome::kUnjudged);
    m_requests.erase(m_requests.begin() + static_cast<std::ptrdiff_t>(index));
}

void PopupRules::Expire(std::uint32_t now)
{
    for (std::size_t i = m_requests.size(); i-- > 0;) {
        const Request& request = m_requests[i];
        const std::uint32_t limit = request.stage == Request::Stage::kHalf ? kPairMs : kPendingMs;
        if (now - request.tick >= limit)
            Forget(i);
    }
    UpdateMark();
}

void PopupRules::UpdateMark()
{
    m_awaitingNavigation = 0;
    bool pending = false;
    for (const Request& request : m_requests) {
        pending = pending || request.stage != Request::Stage::kHalf;
        m_awaitingNavigation += request.stage == Request::Stage::kNavigating;
    }
    m_state.zirodPending = pending;
}

NewWindowVerdict PopupRules::NewWindow(std::string_view opener, BrowserKey asking)
{
    const std::uint32_t now = m_ticks.Now();
    Expire(now);
    if (const std::size_t decided = Find(asking, false, now); decided != kNone) {
        // NewWindow3 came first and decided; this is its other half.
        const bool refused = IsRefusal(m_requests[decided].outcome);
        m_requests.erase(m_requests.begin() + static_cast<std::ptrdiff_t>(decided));
        UpdateMark();
        return refused ? NewWindowVerdict::kRefuse : NewWindowVerdict::kLeave;
    }

    Request& request = Add(now, asking);
    request.sawNewWindow2 = true;
    if (m_lists.sites.AllowsPagesOf(opener)) {
        // Let through before any other test.
        request.outcome = PopupOutcome::kAllowedSite;
    } else if (m_state.protectionOff) {
        request.outcome = PopupOutcome::kProtectionOff;
    } else {
        TakeInput(request, now);
        if (request.input == Input::kKey)
            request.outcome = PopupOutcome::kWithKey;
        else if (request.afterClick)
            request.outcome = PopupOutcome::kAfterClick;
        else
            request.stage = Request::Stage::kAwaiting;  // NewWindow3 decides, or its window is judged
    }
    request.record = m_lists.log.Add(now, opener, request.outcome);
    UpdateMark();
    return request.stage == Request::Stage::kAwaiting ? NewWindowVerdict::kOpen : NewWindowVerdict::kLeave;
}

PopupOutcome PopupRules::Decide(const Request& request, std::uint32_t flags, std::string_view opener,
                                std::string_view url)
{
    if (request.outcome == PopupOutcome::kAllowedSite || m_lists.sites.AllowsPagesOf(opener))
        return PopupOutcome::kAllowedSite;
    if (m_state.protectionOff)
        return PopupOutcome::kProtectionOff;
    if (request.input == Input::kKey)
        return PopupOutcome::kWithKey;
    // Counted in both modes once the address is known, as allowed sites are.
    if (IsAllowedAddress(url))
        return PopupOutcome::kAllowedAddress;
    // A window that a page opens as it is being left is a pop-up even right after a click:
    // the click was the user leaving.
    if (flags & nwmf::kUnloading)
        return PopupOutcome::kRefusedUnloading;
    const std::uint32_t direct = nwmf::kUserInited | nwmf::kFirst;
    if ((flags & direct) == direct)
        return PopupOutcome::kAskedFor;
    return request.afterClick ? PopupOutcome::kAfterClick : PopupOutcome::kRefused;
}

NewWindowVerdict PopupRules::NewWindow3(std::uint32_t flags, std::string_view urlContext, std::string_view url,
                                        BrowserKey asking)
{
    const std::uint32_t now = m_ticks.Now();
    Expire(now);
    const std::size_t paired = Find(asking, true, now);
    Request& request = paired != kNone ? m_requests[paired] : Add(now, asking);
    if (paired == kNone) {
        if (!m_state.protectionOff && !m_lists.sites.AllowsPagesOf(urlContext))
            TakeInput(request, now);
        request.record = m_lists.log.Add(now, urlContext, PopupOutcome::kWaiting);
    }
    request.sawNewWindow3 = true;
    const PopupOutcome outcome = Decide(request, flags, urlContext, url);
    const std::uint64_t record = request.record;
    if (paired != kNone) {
        m_requests.erase(m_requests.begin() + static_cast<std::ptrdiff_t>(paired));
    } else {
        request.outcome = outcome;
        request.stage = Request::Stage::kHalf;  // NewWindow2 may follow
    }
    UpdateMark();

    m_lists.log.Complete(record, url, outcome);
    if (!IsRefusal(outcome))
        return NewWindowVerdict::kLeave;
    Block(url);
    return NewWindowVerdict::kRefuse;
}

bool PopupRules::IsAllowedAddress(std::string_view url) const
{
    // Unlike IsInList, an empty address is none: it is no pop-up's address.
    return !url.empty() &&
           (m_lists.allowed.Contains(url) || (m_lists.policyAllowed && m_lists.policyAllowed->Contains(url)));
}

void PopupRules::Block(std::string_view url)
{
    if (m_options.ListOn() && !IsInList(m_lists.blocked, url))
        m_lists.blocked.Append(std::string(url));
    m_protection.NotifyBlocked();
}

bool PopupRules::Judge(Request& request, NewBrowser& browser, std::string_view url, bool blankIsAddress)
{
    // A new window shows nothing, or about:blank, before its first navigation: that is no
    // address to judge a pop-up by, unless the window stays there.
    if (url.empty() || (!blankIsAddress && url == "about:blank"))
        return false;
    if (IsAllowedAddress(url)) {
        request.outcome = PopupOutcome::kAllowedAddress;
    } else {
        browser.Quit();
        Block(url);
        request.outcome = PopupOutcome::kClosed;
    }
    m_lists.log.Complete(request.record, url, request.outcome);
    return true;
}

void PopupRules::BrowserCreated(NewBrowser& browser, BrowserKey key)
{
    const std::uint32_t now = m_ticks.Now();
    Expire(now);
    if (m_state.protectionOff)
        return;
    // The oldest request let open without an address: browsers make windows in the order
    // they were asked for. A browser that nobody is waiting for is the user's.
    const auto awaiting = std::find_if(m_requests.begin(), m_requests.end(),
                                       [](const Request& r) { return r.stage == Request::Stage::kAwaiting; });
    if (awaiting == m_requests.end())
        return;
    // Out of the queue while the browser is asked: the call lets other events in.
    Request request = *awaiting;
    m_requests.erase(awaiting);
    UpdateMark();

    const std::optional<std::string> address = browser.LocationUrl();
    if (!address) {
        // It went away on its own before it could be looked at: nothing is left to block.
        m_lists.log.Complete(request.record, {}, PopupOutcome::kWentAway);
    } else if (!Judge(request, browser, *address, false)) {
        request.stage = Request::Stage::kNavigating;
        request.window = key;
        request.tick = now;
        m_requests.push_back(request);
    }
    UpdateMark();
}

bool PopupRules::BrowserNavigating(NewBrowser& browser, BrowserKey key, std::string_view url)
{
    return m_awaitingNavigation != 0 && JudgeNavigated(browser, key, url, false);
}

void PopupRules::NavigateComplete(NewBrowser& browser, BrowserKey key, std::string_view url)
{
    if (m_awaitingNavigation != 0)
        JudgeNavigated(browser, key, url, true);
}

bool PopupRules::JudgeNavigated(NewBrowser& browser, BrowserKey key, std::string_view url, bool blankIsAddress)
{
    Expire(m_ticks.Now());
    if (key == 0 || url.empty() || (!blankIsAddress && url == "about:blank"))
        return false;
    const auto waiting = std::find_if(m_requests.begin(), m_requests.end(), [key](const Request& r) {
        return r.stage == Request::Stage::kNavigating && r.window == key;
    });
    if (waiting == m_requests.end())
        return false;
    Request request = *waiting;
    m_requests.erase(waiting);
    UpdateMark();
    Judge(request, browser, url, blankIsAddress);
    return request.outcome == PopupOutcome::kClosed;
}

}  // namespace quellix
