#include "blocker/popup_rules.h"

#include <algorithm>
#include <cstdio>

#include "base/trace.h"
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
    request.clickAgeMs = now - m_state.lastClickTick;
    request.afterClick = request.input == Input::kClick || request.clickAgeMs < kClickGraceMs;
}

PopupOutcome PopupRules::Settle(Request& request, std::uint32_t now)
{
    // An allowed site lets through before any other test, and reads no key.
    if (m_lists.sites.AllowsPagesOf(request.opener))
        return PopupOutcome::kAllowedSite;
    if (m_state.protectionOff)
        return PopupOutcome::kProtectionOff;
    TakeInput(request, now);
    if (request.input == Input::kKey)
        return PopupOutcome::kWithKey;
    // Without NewWindow3 the click is all there is; with it, the browser's flags say more.
    if (request.afterClick && request.support == NewWindow3Support::kNotRaised)
        return PopupOutcome::kAfterClick;
    return PopupOutcome::kWaiting;
}

PopupOutcome PopupRules::Decide(const Request& request, std::uint32_t flags, std::string_view url) const
{
    if (request.outcome == PopupOutcome::kAllowedSite || m_lists.sites.AllowsPagesOf(request.opener))
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
    // The browser knows which window the user's action asked for, better than the clock:
    // the first is the user's, any other the page's, however soon after the click.
    if (flags & nwmf::kUserInited)
        return (flags & nwmf::kFirst) ? PopupOutcome::kAskedFor : PopupOutcome::kRefusedSecond;
    return request.afterClick ? PopupOutcome::kAfterClick : PopupOutcome::kRefused;
}

bool PopupRules::IsAllowedAddress(std::string_view url) const
{
    // Unlike IsInList, an empty address is none: it is no pop-up's address.
    return !url.empty() &&
           (m_lists.allowed.Contains(url) || (m_lists.policyAllowed && m_lists.policyAllowed->Contains(url)));
}

void PopupRules::Log(Request& request, PopupOutcome outcome, std::string_view url)
{
    QUELLIX_TRACE_CALL(TraceDecision(request, outcome, url));
    request.outcome = outcome;
    if (!request.logged) {
        request.record = m_lists.log.Add(request.tick, request.opener, outcome);
        request.logged = true;
    }
    if (!url.empty() || outcome != PopupOutcome::kWaiting)
        m_lists.log.Complete(request.record, url, outcome);
}

namespace {

const char* SupportText(NewWindow3Support support)
{
    switch (support) {
    case NewWindow3Support::kRaised:
        return "raises NewWindow3";
    case NewWindow3Support::kNotRaised:
        return "raises no NewWindow3";
    case NewWindow3Support::kUnknown:
        break;
    }
    return "not known to raise NewWindow3";
}

}  // namespace

void PopupRules::TraceDecision(const Request& request, PopupOutcome outcome, std::string_view url) const
{
    const char* input = request.input == Input::kKey     ? "Ctrl or Shift held"
                        : request.input == Input::kClick ? "a button pressed"
                                                         : "no key held";
    std::string flags = "no flags";
    if (request.flags) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(*request.flags));
        flags = std::string("flags ") + hex;
    }
    const char* matched = "";
    if (outcome == PopupOutcome::kAllowedAddress)
        matched = m_lists.allowed.Contains(url) ? ", on the allow list" : ", on the organisation's allow list";
    trace::Write("decision: ", OutcomeText(outcome), " | request of browser ", request.asking, " from ",
                 request.opener.empty() ? "(no address)" : request.opener, " for ", url.empty() ? "(no address)" : url,
                 " | lists ", m_options.ListOn() ? "on" : "off", ", protection ", m_state.protectionOff ? "off" : "on",
                 ", browser ", SupportText(request.support), request.told ? " (its type information)" : " (learnt)",
                 ", ", input, ", last click ", request.clickAgeMs, " ms before, ", flags, matched);
}

void PopupRules::Learn(NewWindow3Support support, const char* why)
{
    if (support != m_learned)
        QUELLIX_TRACE("learnt: the browsers ", SupportText(support), ": ", why);
    m_learned = support;
}

void PopupRules::Block(const Request& request, std::string_view url)
{
    if (m_options.ListOn() && !IsInList(m_lists.blocked, url))
        m_lists.blocked.Append(std::string(url));
    m_protection.NotifyBlocked(request.opener, request.record, m_ticks.Now());
}

NewWindowVerdict PopupRules::NewWindow(std::string_view opener, BrowserKey asking, NewWindow3Support told)
{
    const std::uint32_t now = m_ticks.Now();
    Expire(now);
    // The browser's previous request, if it still expected its NewWindow3, has none coming.
    ForgetHalf(asking);

    Request request;
    request.asking = asking;
    request.tick = now;
    request.opener = opener;
    request.told = told != NewWindow3Support::kUnknown;
    request.support = request.told ? told : m_learned;
    const PopupOutcome settled = Settle(request, now);
    if (settled != PopupOutcome::kWaiting || request.support == NewWindow3Support::kRaised) {
        // Decided, or NewWindow3 decides. Either way nothing waits for a window: kept only
        // to be paired with the NewWindow3 that may follow, and logged once decided.
        if (settled != PopupOutcome::kWaiting)
            Log(request, settled);
        m_halves.push_back(std::move(request));
        return NewWindowVerdict::kLeave;
    }
    // A browser without NewWindow3 says no more than this: lists off, the window is refused
    // here; in list mode it opens and is judged by its address. The marks are bounded, and
    // it is the newest request that goes unjudged then: refused.
    const bool refuse = (request.support == NewWindow3Support::kNotRaised && !m_options.ListOn()) ||
                        m_marks.size() >= kMaxRequests;
    if (refuse) {
        Log(request, PopupOutcome::kRefused);
        Block(request, {});
        return NewWindowVerdict::kRefuse;
    }
    // The window opens, to be judged by its address; where it is not known yet whether
    // NewWindow3 comes, NewWindow3 decides instead if it does.
    Log(request, PopupOutcome::kWaiting);
    m_marks.push_back(std::move(request));
    UpdateMark();
    return NewWindowVerdict::kOpen;
}

NewWindowVerdict PopupRules::NewWindow3(std::uint32_t flags, std::string_view urlContext, std::string_view url,
                                        BrowserKey asking)
{
    const std::uint32_t now = m_ticks.Now();
    Expire(now);
    Learn(NewWindow3Support::kRaised, "a NewWindow3 came");
    std::optional<Request> half = TakeHalf(asking);
    Request request;
    if (half) {
        request = std::move(*half);
        if (!request.logged && request.opener.empty())
            request.opener = urlContext;
    } else {
        request.asking = asking;
        request.tick = now;
        request.opener = urlContext;
        Settle(request, now);
    }
    // Settled by NewWindow2 (the site, the switch, a key): that stands, and the record
    // gains the address.
    request.flags = flags;
    const bool settled = request.logged && request.outcome != PopupOutcome::kWaiting;
    const PopupOutcome outcome = settled ? request.outcome : Decide(request, flags, url);
    Log(request, outcome, url);
    UpdateMark();
    if (!IsRefusal(outcome))
        return NewWindowVerdict::kLeave;
    Block(request, url);
    return NewWindowVerdict::kRefuse;
}

std::optional<PopupRules::Request> PopupRules::TakeHalf(BrowserKey asking)
{
    const auto half = std::find_if(m_halves.begin(), m_halves.end(),
                                   [asking](const Request& r) { return r.asking == asking; });
    if (half != m_halves.end()) {
        Request request = std::move(*half);
        m_halves.erase(half);
        return request;
    }
    const auto mark = std::find_if(m_marks.begin(), m_marks.end(), [asking](const Request& r) {
        return r.asking == asking && r.window == 0 && r.support == NewWindow3Support::kUnknown;
    });
    if (mark == m_marks.end())
        return std::nullopt;
    Request request = std::move(*mark);
    m_marks.erase(mark);
    UpdateMark();
    return request;
}

void PopupRules::ForgetHalf(BrowserKey asking)
{
    // A mark of a browser not known to raise NewWindow3 goes with it: it must not take a
    // window it was never paired with.
    std::optional<Request> half = TakeHalf(asking);
    if (!half)
        return;
    QUELLIX_TRACE("forgotten: the request of browser ", asking, " got no NewWindow3 before the browser's next event");
    if (half->outcome == PopupOutcome::kWaiting && half->logged)
        m_lists.log.Complete(half->record, {}, PopupOutcome::kUnjudged);
}

void PopupRules::BrowserEvent(BrowserKey key)
{
    if (AwaitsEvent())
        ForgetHalf(key);
}

void PopupRules::Expire(std::uint32_t now)
{
    bool expired = false;
    for (std::size_t i = m_marks.size(); i-- > 0;) {
        const Request& mark = m_marks[i];
        if (mark.window == 0 && now - mark.tick >= kPendingMs) {
            // A window let open and never judged: the log says so rather than "waiting".
            QUELLIX_TRACE("expired: no window came for the request of browser ", mark.asking, " within ", kPendingMs,
                          " ms");
            m_lists.log.Complete(mark.record, {}, PopupOutcome::kUnjudged);
            m_marks.erase(m_marks.begin() + static_cast<std::ptrdiff_t>(i));
            expired = true;
        }
    }
    if (expired)
        UpdateMark();
}

void PopupRules::UpdateMark()
{
    m_awaitingNavigation = 0;
    m_deferred = 0;
    for (const Request& mark : m_marks) {
        m_awaitingNavigation += mark.window != 0;
        m_deferred += mark.window == 0 && mark.support == NewWindow3Support::kUnknown;
    }
    m_state.zirodPending = !m_marks.empty();
}

bool PopupRules::Judge(Request& request, NewBrowser& browser, std::string_view url, bool blankIsAddress)
{
    // A new window shows nothing, or about:blank, before its first navigation: that is no
    // address to judge a pop-up by, unless the window stays there.
    if (url.empty() || (!blankIsAddress && url == "about:blank"))
        return false;
    // Judged by the switch and the lists as they are now, not as they were at the request.
    PopupOutcome outcome = PopupOutcome::kClosed;
    if (m_state.protectionOff)
        outcome = PopupOutcome::kProtectionOff;
    else if (IsAllowedAddress(url))
        outcome = PopupOutcome::kAllowedAddress;
    Log(request, outcome, url);
    if (outcome == PopupOutcome::kClosed) {
        browser.Quit();
        Block(request, url);
    }
    return true;
}

void PopupRules::BrowserCreated(NewBrowser& browser, BrowserKey key)
{
    const std::uint32_t now = m_ticks.Now();
    Expire(now);
    // The oldest request let open without an address: browsers make windows in the order
    // they were asked for. A browser that nobody is waiting for is the user's.
    const auto awaiting = std::find_if(m_marks.begin(), m_marks.end(), [](const Request& r) { return r.window == 0; });
    if (awaiting == m_marks.end())
        return;
    // Out of the queue while the browser is asked: the call lets other events in.
    Request request = std::move(*awaiting);
    m_marks.erase(awaiting);
    UpdateMark();
    if (request.support == NewWindow3Support::kUnknown)
        Learn(NewWindow3Support::kNotRaised, "a window joined after a NewWindow2, with no NewWindow3 between");

    if (request.afterClick) {
        // Not known to raise NewWindow3 when asked: the click is all there is to go by.
        Log(request, PopupOutcome::kAfterClick);
        return;
    }
    const std::optional<std::string> address = browser.LocationUrl();
    if (!address) {
        // It went away on its own before it could be looked at: nothing is left to block.
        Log(request, PopupOutcome::kWentAway);
    } else if (!Judge(request, browser, *address, false)) {
        request.window = key;
        m_marks.push_back(std::move(request));
        UpdateMark();
    }
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
    if (key == 0 || url.empty() || (!blankIsAddress && url == "about:blank"))
        return false;
    const auto waiting = std::find_if(m_marks.begin(), m_marks.end(),
                                      [key](const Request& r) { return r.window == key; });
    if (waiting == m_marks.end())
        return false;
    Request request = std::move(*waiting);
    m_marks.erase(waiting);
    UpdateMark();
    Judge(request, browser, url, blankIsAddress);
    return request.outcome == PopupOutcome::kClosed;
}

void PopupRules::BrowserDestroyed(BrowserKey key)
{
    if (key == 0)
        return;
    ForgetHalf(key);
    const auto waiting = std::find_if(m_marks.begin(), m_marks.end(),
                                      [key](const Request& r) { return r.window == key; });
    if (waiting == m_marks.end())
        return;
    m_lists.log.Complete(waiting->record, {}, PopupOutcome::kWentAway);
    m_marks.erase(waiting);
    UpdateMark();
}

}  // namespace quellix
