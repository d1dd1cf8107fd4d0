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

// Every new-window request is decided once, with the pop-up's address in hand where the
// browser gives it (NewWindow3), before the window exists. The browser raises NewWindow2
// and then, unless that was cancelled, NewWindow3; the rules take either order, either
// event alone, and pair the two by the browser that asks. A request that gets no address
// (a browser older than NewWindow3) lets its window open and judges the window that
// appears by its first real address, closing it if it is a pop-up.
class PopupRules {
public:
    // A window opened this soon after a click counts as the user's.
    static constexpr std::uint32_t kClickGraceMs = 400;
    // NewWindow3 follows NewWindow2 at once; a half of a request older than this has no
    // partner coming.
    static constexpr std::uint32_t kPairMs = 2000;
    // How long a request let open waits for its window, and a window for its first address.
    static constexpr std::uint32_t kPendingMs = 5000;
    // Requests held at once; a page that asks in a loop pushes out the oldest.
    static constexpr std::size_t kMaxRequests = 256;

    PopupRules(BlockingState& state, const Options& options, KeyStateSource& keys, TickSource& ticks, PopupLists lists,
               Protection& protection);

    // Every tick of the 32 ms click watch: three key-state queries at most.
    void ClickWatch();
    bool IsUserInput() { return UserInput() != Input::kNone; }

    // NewWindow (the browser's NewWindow2): `opener` is the address of the page that asks
    // (empty when the browser did not say). Settles what needs no address; defers the rest.
    NewWindowVerdict NewWindow(std::string_view opener = {}, BrowserKey asking = 0);
    // NewWindow3: the pop-up's address `url`, the asking page's `urlContext`, the browser's
    // NWMF flags.
    NewWindowVerdict NewWindow3(std::uint32_t flags, std::string_view urlContext, std::string_view url,
                                BrowserKey asking = 0);

    // A browser the monitor has just started tracking: the window of a request let open
    // without an address is judged by its address, or waits for its first navigation.
    void BrowserCreated(NewBrowser& browser, BrowserKey key = 0);
    // A navigation of any browser is starting (true: cancel it) or has committed. Cheap for
    // every browser but the ones waiting for their first address.
    bool BrowserNavigating(NewBrowser& browser, BrowserKey key, std::string_view url);
    void NavigateComplete(NewBrowser& browser, BrowserKey key, std::string_view url);
    bool AwaitsNavigation() const { return m_awaitingNavigation != 0; }

private:
    enum class Input { kNone, kKey, kClick };

    // One new-window request, from its first event to its decision.
    struct Request {
        enum class Stage {
            kHalf,        // one of NewWindow2 and NewWindow3 seen, decided; the other may follow
            kAwaiting,    // let open without an address: its window has not appeared
            kNavigating,  // its window appeared without an address: waits for the first one
        };
        Stage stage = Stage::kHalf;
        BrowserKey asking = 0;
        BrowserKey window = 0;
        std::uint32_t tick = 0;
        std::uint64_t record = 0;  // the log's
        bool sawNewWindow2 = false;
        bool sawNewWindow3 = false;
        Input input = Input::kNone;
        bool afterClick = false;
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
    PopupOutcome Decide(const Request& request, std::uint32_t flags, std::string_view opener, std::string_view url);
    // On the user's allow list or the organisation's.
    bool IsAllowedAddress(std::string_view url) const;
    // A refusal: the blocked list (list mode) and the announcement.
    void Block(std::string_view url);
    // Judges the window of a request by its address; false while it has none to judge by.
    bool Judge(Request& request, NewBrowser& browser, std::string_view url, bool blankIsAddress);
    // The newest request of `asking` that waits for the other half (NewWindow3 when
    // `newWindow3`, else NewWindow2); kNone when there is none.
    std::size_t Find(BrowserKey asking, bool newWindow3, std::uint32_t now) const;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    Request& Add(std::uint32_t now, BrowserKey asking);
    bool JudgeNavigated(NewBrowser& browser, BrowserKey key, std::string_view url, bool blankIsAddress);
    // Lets go of the requests whose time is up.
    void Expire(std::uint32_t now);
    void Forget(std::size_t index);
    void UpdateMark();

    BlockingState& m_state;
    const Options& m_options;
    KeyStateSource& m_keys;
    TickSource& m_ticks;
    PopupLists m_lists;
    Protection& m_protection;
    std::deque<Request> m_requests;  // oldest first
    std::size_t m_awaitingNavigation = 0;
};

}  // namespace quellix
