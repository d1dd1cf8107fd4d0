// The rules by which the main window tells a pop-up from a window the user asked for, and
// what it does with one: refuse it before it exists, or, where the browser does not say
// where a new window goes, let it open and close it once its address shows it a pop-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "blocker/blocking_state.h"
#include "blocker/options.h"
#include "blocker/popup_log.h"

namespace quellix {

class AllowedSites;
class Protection;
class UrlList;

namespace vk {
constexpr int kLButton = 0x01;
constexpr int kRButton = 0x02;
constexpr int kMButton = 0x04;
constexpr int kShift = 0x10;
constexpr int kControl = 0x11;
}  // namespace vk

// GetAsyncKeyState: bit 15 says the key is down now, bit 0 that it was pressed since the
// previous query of that key. Each query clears bit 0 for the next one, so the order of
// queries matters.
class KeyStateSource {
public:
    static constexpr std::uint16_t kDown = 0x8000;
    static constexpr std::uint16_t kPressedSince = 0x0001;

    virtual std::uint16_t Query(int virtualKey) = 0;

protected:
    ~KeyStateSource() = default;
};

// GetTickCount: milliseconds since the system started, wrapping every 2^32 ms.
class TickSource {
public:
    virtual std::uint32_t Now() = 0;

protected:
    ~TickSource() = default;
};

// A browser window that the monitor has just started tracking.
class NewBrowser {
public:
    // The current address; nothing when the browser cannot answer (it has gone already).
    virtual std::optional<std::string> LocationUrl() = 0;
    virtual void Quit() = 0;

protected:
    ~NewBrowser() = default;
};

// Tells the browsers apart without holding them: the address of a browser's COM identity
// while the monitor holds it; 0 when it is not known.
using BrowserKey = std::uintptr_t;

// The browser's own description of a new-window request (NewWindow3's dwFlags), the bits
// the rules read.
namespace nwmf {
constexpr std::uint32_t kUnloading = 0x1;   // the page is being left: the exit pop-up
constexpr std::uint32_t kUserInited = 0x2;  // during a user's action (click, key)
constexpr std::uint32_t kFirst = 0x4;       // the first window of that action
}  // namespace nwmf

// What the NewWindow handlers write into the event's Cancel.
enum class NewWindowVerdict {
    kLeave,   // as the browser gave it: the browser decides
    kRefuse,  // Cancel = True: the window is never made
    kOpen,    // Cancel = False: the window opens, to be judged later
};

// Whether a text counts as present on a list: an exact, case-sensitive match of a whole
// entry; the empty text counts as present on every list.
bool IsInList(const UrlList& list, std::string_view text);

// The lists the rules consult and keep.
struct PopupLists {
    UrlList& blocked;
    const UrlList& allowed;
    const AllowedSites& sites;
    PopupLog& log;
    const UrlList* policyAllowed = nullptr;  // the addresses an administrator allows
};

// Whether a browser raises NewWindow3 after NewWindow2, as its type information says or as
// the browsers were seen to behave.
enum class NewWindow3Support : std::uint8_t { kUnknown, kRaised, kNotRaised };

// Every new-window request is decided once, by its own events. A browser raises NewWindow2
// and, unless that was cancelled, NewWindow3 with the pop-up's address, one right after the
// other, before it makes the window: a NewWindow3 belongs to the NewWindow2 of the same
// browser just before it, and a NewWindow2 whose NewWindow3 did not come is forgotten at
// that browser's next event. Such a request never waits for a window, so no window can be
// taken for it. Only a browser without NewWindow3 (known so, or not known yet) gets a mark
// per request in list mode, and the window that appears for it is judged by its first real
// address.
class PopupRules {
public:
    // A window opened this soon after a click counts as the user's.
    static constexpr std::uint32_t kClickGraceMs = 400;
    // How long a request of a browser without NewWindow3 waits for its window.
    static constexpr std::uint32_t kPendingMs = 5000;
    // Windows awaited at once; a page that asks in a loop has its newest requests refused.
    static constexpr std::size_t kMaxRequests = 256;

    PopupRules(BlockingState& state, const Options& options, KeyStateSource& keys, TickSource& ticks, PopupLists lists,
               Protection& protection);

    // A mouse button went down, anywhere: the platform tells at once, with no polling.
    void MousePressed() { m_state.lastClickTick = m_ticks.Now(); }
    bool IsUserInput() { return UserInput() != Input::kNone; }

    // NewWindow (the browser's NewWindow2): `opener` is the address of the page that asks
    // (empty when the browser did not say), `told` what the asking browser's type information
    // says of NewWindow3. Settles what needs no address; NewWindow3 decides the rest.
    NewWindowVerdict NewWindow(std::string_view opener = {}, BrowserKey asking = 0,
                               NewWindow3Support told = NewWindow3Support::kUnknown);
    // NewWindow3: the pop-up's address `url`, the asking page's `urlContext`, the browser's
    // NWMF flags.
    NewWindowVerdict NewWindow3(std::uint32_t flags, std::string_view urlContext, std::string_view url,
                                BrowserKey asking = 0);
    // Any other event of a browser: a NewWindow2 of it that waits for NewWindow3 has none
    // coming. Only needed while AwaitsEvent().
    void BrowserEvent(BrowserKey key);
    bool AwaitsEvent() const { return !m_halves.empty() || m_deferred != 0; }

    // A browser the monitor has just started tracking: the window of a request let open
    // without an address is judged by its address, or waits for its first navigation.
    void BrowserCreated(NewBrowser& browser, BrowserKey key = 0);
    // A navigation of any browser is starting (true: cancel it) or has committed. Cheap for
    // every browser but the ones waiting for their first address.
    bool BrowserNavigating(NewBrowser& browser, BrowserKey key, std::string_view url);
    void NavigateComplete(NewBrowser& browser, BrowserKey key, std::string_view url);
    bool AwaitsNavigation() const { return m_awaitingNavigation != 0; }
    // A browser closed: a window waiting for its address waits no more, and a request of it
    // no longer expects its NewWindow3.
    void BrowserDestroyed(BrowserKey key);

private:
    enum class Input { kNone, kKey, kClick };

    struct Request {
        BrowserKey asking = 0;
        BrowserKey window = 0;     // once its window appeared
        std::uint32_t tick = 0;    // when the page asked
        std::string opener;        // the asking page
        std::uint64_t record = 0;  // the log's, once logged
        bool logged = false;
        NewWindow3Support support = NewWindow3Support::kUnknown;
        bool told = false;  // the support from the browser's type information, not learnt
        Input input = Input::kNone;
        bool afterClick = false;
        std::uint32_t clickAgeMs = 0;        // at the request, for the trace
        std::optional<std::uint32_t> flags;  // NewWindow3's, once it came
        PopupOutcome outcome = PopupOutcome::kWaiting;
    };

    static bool IsFreshPress(std::uint16_t state)
    {
        return state == (KeyStateSource::kDown | KeyStateSource::kPressedSince);
    }
    bool AnyFreshMousePress();
    Input UserInput();
    // Reads the user's input once for a request: each query consumes a press.
    void TakeInput(Request& request, std::uint32_t now);
    // What needs no address: the site, the switch, the keys. kWaiting when that settles nothing.
    PopupOutcome Settle(Request& request, std::uint32_t now);
    PopupOutcome Decide(const Request& request, std::uint32_t flags, std::string_view url) const;
    // On the user's allow list or the organisation's.
    bool IsAllowedAddress(std::string_view url) const;
    void Log(Request& request, PopupOutcome outcome, std::string_view url = {});
    // Why, for the trace: the facts a decision went by.
    void TraceDecision(const Request& request, PopupOutcome outcome, std::string_view url) const;
    void Learn(NewWindow3Support support, const char* why);
    // A refusal of a logged request: the blocked list (list mode) and the announcement.
    void Block(const Request& request, std::string_view url);
    // Judges the window of a request by its address; false while it has none to judge by.
    bool Judge(Request& request, NewBrowser& browser, std::string_view url, bool blankIsAddress);
    bool JudgeNavigated(NewBrowser& browser, BrowserKey key, std::string_view url, bool blankIsAddress);
    // Takes out the request of `asking` that still expects its NewWindow3, if any: the
    // half of a request, or a mark not yet known to have no NewWindow3.
    std::optional<Request> TakeHalf(BrowserKey asking);
    void ForgetHalf(BrowserKey asking);
    // Marks of requests whose window did not come in time are let go.
    void Expire(std::uint32_t now);
    void UpdateMark();

    BlockingState& m_state;
    const Options& m_options;
    KeyStateSource& m_keys;
    TickSource& m_ticks;
    PopupLists m_lists;
    Protection& m_protection;
    NewWindow3Support m_learned = NewWindow3Support::kUnknown;
    // NewWindow2s waiting for their NewWindow3: one a browser at most.
    std::vector<Request> m_halves;
    // Requests let open without an address, oldest first: awaiting their window, or their
    // window awaiting its first address.
    std::deque<Request> m_marks;
    std::size_t m_awaitingNavigation = 0;
    std::size_t m_deferred = 0;  // marks that NewWindow3 may still decide
};

}  // namespace quellix
