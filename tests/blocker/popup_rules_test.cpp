#include "blocker/popup_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

#include "blocker/allowed_sites.h"
#include "blocker/protection.h"
#include "blocker/url_list.h"
#include "tests/blocker/fakes.h"

namespace quellix::test {
namespace {

class PopupRulesTest : public ::testing::Test {
protected:
    void ClickAt(std::uint32_t tick)
    {
        ticks.now = tick;
        rules.MousePressed();
    }

    // A page asks for a window as the browser reports it: NewWindow2, then (unless that was
    // cancelled, and unless the browser is older than NewWindow3) NewWindow3 with the
    // pop-up's address. Whether the browser ends up refusing the window (kRefuse), or (kLeave)
    // opening it; kOpen only from a NewWindow2 that has no NewWindow3 after it.
    enum class Order { k2Then3, kOnly3, kOnly2 };
    NewWindowVerdict Ask(const std::string& url, std::uint32_t flags = 0, Order order = Order::k2Then3,
                         const std::string& opener = "http://page.example/")
    {
        if (order == Order::kOnly2)
            return rules.NewWindow(opener, kPage, told);
        if (order == Order::kOnly3)
            return rules.NewWindow3(flags, opener, url, kPage);
        const NewWindowVerdict second = rules.NewWindow(opener, kPage, told);
        if (second == NewWindowVerdict::kRefuse)
            return second;
        // Cancel stays False either way when the window opens: what counts is whether it does.
        return rules.NewWindow3(flags, opener, url, kPage) == NewWindowVerdict::kRefuse ? NewWindowVerdict::kRefuse
                                                                                        : NewWindowVerdict::kLeave;
    }

    static constexpr BrowserKey kPage = 1;
    NewWindow3Support told = NewWindow3Support::kUnknown;  // by the asking browser's type information
    BlockingState state;
    Options options;
    FakeKeys keys;
    FakeTicks ticks;
    FakeView view;
    FakeTray tray;
    FakeAlerts alerts;
    UrlList blocked;
    UrlList allowed;
    AllowedSites sites;
    PopupLog log;
    Protection protection{state, options, view, tray, alerts};
    PopupRules rules{state, options, keys, ticks, {blocked, allowed, sites, log}, protection};
};

TEST_F(PopupRulesTest, UserInputIsCtrlOrShiftWhileHeldOrAFreshMousePress)
{
    EXPECT_FALSE(rules.IsUserInput());
    EXPECT_EQ(keys.TakeQueries(),
              (std::vector<int>{vk::kControl, vk::kShift, vk::kLButton, vk::kRButton, vk::kMButton}));

    // A Shift typed long ago and released still reads 0x0001: it lets nothing through.
    keys.Click(vk::kShift);
    keys.Click(vk::kControl);
    EXPECT_FALSE(rules.IsUserInput());
    ticks.now = 3'600'000;
    EXPECT_EQ(Ask("http://ads.example/"), NewWindowVerdict::kRefuse);

    keys.Press(vk::kShift);
    EXPECT_TRUE(rules.IsUserInput());
    EXPECT_TRUE(rules.IsUserInput());
    keys.Release(vk::kShift);

    keys.Press(vk::kMButton);
    EXPECT_TRUE(rules.IsUserInput());
    EXPECT_FALSE(rules.IsUserInput()) << "a held button is fresh only once";
}

TEST_F(PopupRulesTest, AWindowWithin399msOfAClickIsTheUsersAndAt400msAPopup)
{
    ClickAt(10'000);
    ticks.now = 10'399;
    EXPECT_EQ(Ask("http://story.example/"), NewWindowVerdict::kLeave);
    EXPECT_EQ(protection.BlockedCount(), 0u);

    ticks.now = 10'400;
    EXPECT_EQ(Ask("http://ads.example/"), NewWindowVerdict::kRefuse);
    EXPECT_EQ(protection.BlockedCount(), 1u);

    // Across the wrap of the tick counter.
    ClickAt(0xFFFF'FF00u);
    ticks.now = 0x0000'0050u;  // 336 ms later
    EXPECT_EQ(Ask("http://story.example/"), NewWindowVerdict::kLeave);
    ticks.now = 0x0000'0090u;  // 400 ms later
    EXPECT_EQ(Ask("http://ads.example/"), NewWindowVerdict::kRefuse);
}

TEST_F(PopupRulesTest, EveryOrderOfTheTwoEventsRefusesAPopupBeforeItExistsInBothModes)
{
    ticks.now = 1'000'000;
    std::uint32_t count = 0;
    for (const int list : {0, 1}) {
        options.list = list;
        for (const Order order : {Order::k2Then3, Order::kOnly3}) {
            const std::string url = "http://ads.example/" + std::to_string(count);
            EXPECT_EQ(Ask(url, 0, order), NewWindowVerdict::kRefuse) << list << static_cast<int>(order);
            EXPECT_EQ(protection.BlockedCount(), ++count);
            EXPECT_EQ(log[0].popup, url) << "the refused record carries the address";
            EXPECT_EQ(log[0].outcome, PopupOutcome::kRefused);
            EXPECT_EQ(log[0].opener, "http://page.example/");
            EXPECT_FALSE(state.zirodPending) << "nothing waits: no window is made";
        }
    }
    // List mode lists each address once; lists off lists none.
    EXPECT_EQ(blocked.Entries(), (std::vector<std::string>{"http://ads.example/2", "http://ads.example/3"}));
    EXPECT_EQ(Ask("http://ads.example/3", 0, Order::kOnly3), NewWindowVerdict::kRefuse);
    EXPECT_EQ(blocked.Count(), 2u);
    EXPECT_EQ(log.Count(), 5u) << "one record per request, whatever the order";
}

TEST_F(PopupRulesTest, TheBrowsersFlagsTellAWindowTheUserAskedForFromAnExitPopup)
{
    ticks.now = 1'000'000;
    for (const Order order : {Order::k2Then3, Order::kOnly3}) {
        // A link followed with the keyboard: no click, but the browser says the user did it.
        EXPECT_EQ(Ask("http://story.example/", nwmf::kUserInited | nwmf::kFirst, order), NewWindowVerdict::kLeave);
        EXPECT_EQ(log[0].outcome, PopupOutcome::kAskedFor);
        EXPECT_EQ(Ask("http://ads.example/", nwmf::kUserInited, order), NewWindowVerdict::kRefuse)
            << "a second window of the same action is not the user's";

        // The page opens a window as it is left, right after the click that left it.
        ClickAt(ticks.now += 1000);
        EXPECT_EQ(Ask("http://exit.example/", nwmf::kUnloading | nwmf::kUserInited | nwmf::kFirst, order),
                  NewWindowVerdict::kRefuse);
        EXPECT_EQ(log[0].outcome, PopupOutcome::kRefusedUnloading);
        EXPECT_EQ(log[0].popup, "http://exit.example/");
        // Unless Ctrl or Shift is held.
        keys.Press(vk::kControl);
        EXPECT_EQ(Ask("http://exit.example/", nwmf::kUnloading, order), NewWindowVerdict::kLeave);
        keys.Release(vk::kControl);
        ticks.now += 1000;
    }
}

TEST_F(PopupRulesTest, AllowedAddressesAndSitesCountInBothModesAndProtectionOffLetsEverythingBe)
{
    allowed.Append("http://news.example/");
    sites.Add("shop.example");
    ticks.now = 60'000;
    for (const int list : {0, 1}) {
        options.list = list;
        EXPECT_EQ(Ask("http://news.example/"), NewWindowVerdict::kLeave) << list;
        EXPECT_EQ(log[0].outcome, PopupOutcome::kAllowedAddress);
        // Exact, case-sensitive, whole: nothing else is allowed, and an empty address never.
        for (const char* url : {"http://NEWS.example/", "http://news.example", ""})
            EXPECT_EQ(Ask(url), NewWindowVerdict::kRefuse) << url;
        keys.TakeQueries();
        EXPECT_EQ(Ask("http://ads.example/", 0, Order::k2Then3, "http://www.shop.example/"), NewWindowVerdict::kLeave);
        EXPECT_EQ(log[0].outcome, PopupOutcome::kAllowedSite);
        EXPECT_TRUE(keys.TakeQueries().empty()) << "decided before the keys are read";
    }
    const std::uint32_t blockedSoFar = protection.BlockedCount();
    state.protectionOff = true;
    for (const Order order : {Order::k2Then3, Order::kOnly3, Order::kOnly2})
        EXPECT_EQ(Ask("http://ads.example/", 0, order), NewWindowVerdict::kLeave);
    for (const Order order : {Order::k2Then3, Order::kOnly2}) {
        Ask("http://ads.example/", 0, order, "http://www.shop.example/");
        EXPECT_EQ(log[0].outcome, PopupOutcome::kAllowedSite) << "the site, before the switch";
    }
    FakeBrowser window("http://ads.example/");
    rules.BrowserCreated(window, 9);
    EXPECT_EQ(window.quits, 0);
    EXPECT_EQ(protection.BlockedCount(), blockedSoFar);
    EXPECT_TRUE(keys.TakeQueries().empty()) << "no key state is consumed";
}

TEST_F(PopupRulesTest, WithoutNewWindow3TheWindowIsJudgedByItsFirstRealAddressOneRequestEach)
{
    ticks.now = 60'000;
    told = NewWindow3Support::kNotRaised;
    // Lists off, such a pop-up is refused before its window exists: the click is all there is.
    EXPECT_EQ(Ask("", 0, Order::kOnly2), NewWindowVerdict::kRefuse);
    EXPECT_EQ(log[0].outcome, PopupOutcome::kRefused);
    state.lastClickTick = ticks.now - 100;
    EXPECT_EQ(Ask("", 0, Order::kOnly2), NewWindowVerdict::kLeave);
    state.lastClickTick = 0;

    options.list = 1;
    // Two pop-ups at once, the windows registered before they navigate, as browsers do.
    EXPECT_EQ(Ask("", 0, Order::kOnly2), NewWindowVerdict::kOpen);
    EXPECT_EQ(Ask("", 0, Order::kOnly2), NewWindowVerdict::kOpen);
    EXPECT_TRUE(state.zirodPending);
    FakeBrowser first(""), second("about:blank");
    rules.BrowserCreated(first, 10);
    rules.BrowserCreated(second, 11);
    EXPECT_EQ(first.quits + second.quits, 0) << "not judged by an empty address";
    EXPECT_FALSE(rules.BrowserNavigating(first, 12, "http://ads.example/a")) << "another browser";
    EXPECT_FALSE(rules.BrowserNavigating(first, 10, "about:blank"));
    EXPECT_TRUE(rules.BrowserNavigating(first, 10, "http://ads.example/a")) << "its navigation is cancelled";
    rules.NavigateComplete(second, 11, "about:blank");  // it stays on a blank page
    EXPECT_EQ(first.quits, 1);
    EXPECT_EQ(second.quits, 1);
    EXPECT_FALSE(state.zirodPending);
    EXPECT_FALSE(rules.AwaitsNavigation());
    EXPECT_EQ(log[0].popup, "about:blank");
    EXPECT_EQ(log[1].popup, "http://ads.example/a");
    EXPECT_EQ(log[1].outcome, PopupOutcome::kClosed);
    EXPECT_EQ(protection.BlockedCount(), 3u);
    EXPECT_EQ(blocked.Entries(), (std::vector<std::string>{"http://ads.example/a", "about:blank"}));

    // An allowed address stays, a browser nobody waits for is the user's, and a window
    // already at its address is judged at once.
    allowed.Append("http://news.example/");
    Ask("", 0, Order::kOnly2);
    FakeBrowser news("http://news.example/"), mine("http://ads.example/a");
    rules.BrowserCreated(news, 13);
    rules.BrowserCreated(mine, 14);
    EXPECT_EQ(news.quits + mine.quits, 0);
    EXPECT_EQ(log[0].outcome, PopupOutcome::kAllowedAddress);
}

// What the browsers and the user do, step by step, and what each step leads to: the verdict
// of a request, or whether a window that appears or navigates is closed.
TEST_F(PopupRulesTest, EachRequestIsJudgedByItsOwnEventsAndNeverTakesAnotherWindow)
{
    enum What { k2, k3, kJoin, kNavigate, kClose, kOther, kClick, kOff, kCtrl };
    struct Step {
        What what;
        BrowserKey browser;  // the one that asks, or the window
        std::uint32_t flags;
        const char* url;
        // With lists off, then on: L(eave), R(efuse), O(pen); a window S(tays) or is Q(uit).
        const char* expect;
    };
    struct Row {
        const char* name;
        NewWindow3Support told;
        std::vector<Step> steps;
        std::vector<std::string> blocked;  // in list mode
    };
    constexpr BrowserKey A = 1, B = 2, W = 10, U = 11;
    constexpr std::uint32_t kMine = nwmf::kUserInited | nwmf::kFirst;
    const Row rows[] = {
        {"a NewWindow2 whose NewWindow3 never came takes neither the link's window nor one with no event",
         NewWindow3Support::kUnknown,
         {{k2, A, 0, "", "OO"},
          {k3, A, 0, "http://ads.example/", "RR"},
          {k2, A, 0, "", "LL"},  // another add-on cancels it after us: no NewWindow3, no window
          {k2, A, 0, "", "LL"},
          {k3, A, kMine, "http://story.example/", "LL"},
          {kJoin, W, 0, "", "SS"},
          {kNavigate, W, 0, "http://story.example/", "SS"},
          {kJoin, U, 0, "http://mine.example/", "SS"}},  // Ctrl+N
         {"http://ads.example/"}},
        {"a request not known to have a NewWindow3 coming is forgotten at its browser's next event",
         NewWindow3Support::kUnknown,
         {{k2, A, 0, "", "OO"}, {kOther, A, 0, "", "--"}, {kJoin, U, 0, "http://mine.example/", "SS"}},
         {}},
        {"a late NewWindow3 is a request of its own and pairs with nothing after it",
         NewWindow3Support::kRaised,
         {{k2, A, 0, "", "LL"},
          {kOther, A, 0, "", "--"},
          {k3, A, 0, "http://ads.example/", "RR"},
          {k2, A, 0, "", "LL"},
          {k3, A, kMine, "http://story.example/", "LL"}},
         {"http://ads.example/"}},
        {"a NewWindow3 pairs only with its own browser's NewWindow2",
         NewWindow3Support::kRaised,
         {{kCtrl, 0, 1, "", "--"},
          {k2, A, 0, "", "LL"},
          {kCtrl, 0, 0, "", "--"},
          {k3, B, 0, "http://ads.example/", "RR"},
          {k3, A, 0, "http://story.example/", "LL"}},
         {"http://ads.example/"}},
        {"a NewWindow3 once seen is not unlearnt by a window that joins while a NewWindow2 waits",
         NewWindow3Support::kUnknown,
         {{k2, A, 0, "", "OO"},
          {k3, A, 0, "http://ads.example/", "RR"},
          {k2, A, 0, "", "LL"},  // cancelled by another add-on; then the user's Ctrl+N
          {kJoin, W, 0, "http://ads.example/2", "SS"},
          {k2, A, 0, "", "LL"},
          {k3, A, nwmf::kUserInited | nwmf::kFirst, "http://story.example/", "LL"}},
         {"http://ads.example/"}},
        {"the second window of one click is the page's",
         NewWindow3Support::kRaised,
         {{kClick, 0, 0, "", "--"},
          {k2, A, 0, "", "LL"},
          {k3, A, kMine, "http://story.example/", "LL"},
          {k2, A, 0, "", "LL"},
          {k3, A, nwmf::kUserInited, "http://ads.example/", "RR"}},
         {"http://ads.example/"}},
        {"a browser known to lack NewWindow3 has its pop-up refused, or closed at its address",
         NewWindow3Support::kNotRaised,
         {{k2, A, 0, "", "RO"}, {kJoin, W, 0, "", "SS"}, {kNavigate, W, 0, "http://ads.example/", "SQ"}},
         {"http://ads.example/"}},
        {"not known yet: the first request waits for NewWindow3 or for its window, then it is known",
         NewWindow3Support::kUnknown,
         {{k2, A, 0, "", "OO"},
          {kJoin, W, 0, "", "SS"},
          {kNavigate, W, 0, "http://ads.example/", "QQ"},
          {k2, A, 0, "", "RO"}},
         {"http://ads.example/"}},
        {"a window is judged by the switch as it is when its address comes",
         NewWindow3Support::kUnknown,
         {{k2, A, 0, "", "OO"},
          {kJoin, W, 0, "", "SS"},
          {kOff, 0, 0, "", "--"},
          {kNavigate, W, 0, "http://ads.example/", "SS"}},
         {}},
        {"a window that closes while it waits is forgotten, and a new one with its key is not taken for it",
         NewWindow3Support::kUnknown,
         {{k2, A, 0, "", "OO"},
          {kJoin, W, 0, "", "SS"},
          {kClose, W, 0, "", "--"},
          {kJoin, W, 0, "", "SS"},
          {kNavigate, W, 0, "http://ads.example/", "SS"}},
         {}},
    };
    const auto verdict = [](NewWindowVerdict v) {
        return v == NewWindowVerdict::kLeave ? 'L' : v == NewWindowVerdict::kRefuse ? 'R' : 'O';
    };
    for (const Row& row : rows) {
        for (const int list : {0, 1}) {
            SCOPED_TRACE(std::string(row.name) + (list ? ", lists on" : ", lists off"));
            BlockingState fresh;
            UrlList freshBlocked;
            PopupLog freshLog;
            Protection freshSwitch{fresh, options, view, tray, alerts};
            PopupRules rules{fresh, options, keys, ticks, {freshBlocked, allowed, sites, freshLog}, freshSwitch};
            options.list = static_cast<std::int16_t>(list);
            ticks.now = 1'000'000;
            std::map<BrowserKey, std::unique_ptr<FakeBrowser>> windows;
            for (const Step& step : row.steps) {
                const char expect = step.expect[list];
                ticks.now += 10;
                switch (step.what) {
                case k2:
                    EXPECT_EQ(verdict(rules.NewWindow("http://page.example/", step.browser, row.told)), expect);
                    break;
                case k3:
                    EXPECT_EQ(verdict(rules.NewWindow3(step.flags, "http://page.example/", step.url, step.browser)),
                              expect);
                    break;
                case kJoin:
                    windows[step.browser] = std::make_unique<FakeBrowser>(step.url);
                    rules.BrowserCreated(*windows[step.browser], step.browser);
                    EXPECT_EQ(windows[step.browser]->quits ? 'Q' : 'S', expect) << step.url;
                    break;
                case kNavigate: {
                    FakeBrowser& window = *windows[step.browser];
                    const bool cancelled = rules.BrowserNavigating(window, step.browser, step.url);
                    EXPECT_EQ(cancelled, window.quits == 1);
                    EXPECT_EQ(window.quits ? 'Q' : 'S', expect) << step.url;
                    break;
                }
                case kClose:
                    rules.BrowserDestroyed(step.browser);
                    break;
                case kOther:
                    rules.BrowserEvent(step.browser);
                    break;
                case kClick:
                    fresh.lastClickTick = ticks.now;
                    break;
                case kOff:
                    fresh.protectionOff = true;
                    break;
                case kCtrl:
                    step.flags ? keys.Press(vk::kControl) : keys.Release(vk::kControl);
                    break;
                }
            }
            EXPECT_EQ(freshBlocked.Entries(), list ? row.blocked : std::vector<std::string>{});
        }
    }
}

TEST_F(PopupRulesTest, AMarkWhoseWindowNeverCameIsDroppedAndNeverTakesTheUsersNextWindow)
{
    options.list = 1;
    told = NewWindow3Support::kNotRaised;
    ticks.now = 60'000;
    Ask("", 0, Order::kOnly2);
    ticks.now += PopupRules::kPendingMs - 1;
    Ask("", 0, Order::kOnly2);
    ticks.now += 1;
    FakeBrowser mine("http://mine.example/");
    rules.BrowserCreated(mine, 10);
    EXPECT_EQ(mine.quits, 1) << "the second request's window, still awaited";
    EXPECT_EQ(log[1].outcome, PopupOutcome::kUnjudged) << "the first one's time was up";
    rules.BrowserCreated(mine, 11);
    EXPECT_EQ(mine.quits, 1);
    EXPECT_FALSE(state.zirodPending);

    // One that went away before it could be read takes its own mark with it.
    Ask("", 0, Order::kOnly2);
    FakeBrowser gone(std::nullopt);
    rules.BrowserCreated(gone, 12);
    EXPECT_EQ(log[0].outcome, PopupOutcome::kWentAway);
    EXPECT_FALSE(state.zirodPending);
    EXPECT_EQ(protection.BlockedCount(), 1u);

    // A page asking in a loop holds a bounded number of marks: the newest is refused, and
    // the oldest still waits for its window.
    for (std::size_t i = 0; i < PopupRules::kMaxRequests; ++i)
        ASSERT_EQ(Ask("", 0, Order::kOnly2), NewWindowVerdict::kOpen) << i;
    EXPECT_EQ(Ask("", 0, Order::kOnly2), NewWindowVerdict::kRefuse);
    EXPECT_EQ(log[PopupRules::kMaxRequests].outcome, PopupOutcome::kWaiting);
    EXPECT_EQ(log[0].tick, ticks.now) << "stamped when the page asked";
}

TEST_F(PopupRulesTest, EveryDecisionIsLoggedNewestFirstWithItsOpenerAndWhatHappened)
{
    sites.Add("news.example");
    allowed.Append("http://wanted.example/");
    ticks.now = 60'000;
    Ask("http://x.example/", 0, Order::k2Then3, "http://www.news.example/");
    Ask("http://y.example/", 0, Order::k2Then3, "http://a.example/");
    keys.Press(vk::kShift);
    Ask("http://z.example/", 0, Order::kOnly3, "http://b.example/");
    keys.Release(vk::kShift);
    state.lastClickTick = ticks.now - 100;
    Ask("http://story.example/", 0, Order::k2Then3, "http://c.example/");
    state.lastClickTick = 0;
    Ask("http://wanted.example/", 0, Order::kOnly3, "http://d.example/");
    told = NewWindow3Support::kNotRaised;
    options.list = 1;
    Ask("", 0, Order::kOnly2, "http://e.example/");
    FakeBrowser closed("http://ads.example/");
    rules.BrowserCreated(closed, 10);
    told = NewWindow3Support::kUnknown;
    state.protectionOff = true;
    Ask("http://w.example/", 0, Order::k2Then3, "http://h.example/");

    const std::tuple<std::string, std::string, PopupOutcome> expected[] = {
        {"http://h.example/", "http://w.example/", PopupOutcome::kProtectionOff},
        {"http://e.example/", "http://ads.example/", PopupOutcome::kClosed},
        {"http://d.example/", "http://wanted.example/", PopupOutcome::kAllowedAddress},
        {"http://c.example/", "http://story.example/", PopupOutcome::kAfterClick},
        {"http://b.example/", "http://z.example/", PopupOutcome::kWithKey},
        {"http://a.example/", "http://y.example/", PopupOutcome::kRefused},
        {"http://www.news.example/", "http://x.example/", PopupOutcome::kAllowedSite},
    };
    ASSERT_EQ(log.Count(), std::size(expected));
    for (std::size_t i = 0; i < log.Count(); ++i) {
        EXPECT_EQ(std::tie(log[i].opener, log[i].popup, log[i].outcome), expected[i]) << i;
        EXPECT_EQ(log[i].tick, 60'000u);
    }
}

TEST(PopupLogTest, TheLogKeepsTheLastThousandAndCompletesOnlyARecordItStillHolds)
{
    PopupLog log;
    const std::uint64_t first = log.Add(1, "http://first.example/", PopupOutcome::kWaiting);
    for (std::uint32_t i = 2; i <= PopupLog::kCapacity + 5; ++i)
        log.Add(i, "http://page" + std::to_string(i) + ".example/", PopupOutcome::kRefused);
    ASSERT_EQ(log.Count(), PopupLog::kCapacity);
    EXPECT_EQ(log[0].tick, PopupLog::kCapacity + 5);
    EXPECT_EQ(log[PopupLog::kCapacity - 1].tick, 6u);
    EXPECT_EQ(log[PopupLog::kCapacity - 1].opener, "http://page6.example/");

    const std::uint64_t revision = log.Revision();
    log.Complete(first, "http://late.example/", PopupOutcome::kClosed);
    EXPECT_EQ(log.Revision(), revision) << "the first record has left the log";
    for (std::size_t i = 0; i < log.Count(); ++i)
        EXPECT_TRUE(log[i].popup.empty()) << i;

    // Addresses of any length are kept bounded; a cleared log completes nothing.
    const std::uint64_t last = log.Add(7, std::string(100'000, 'x'), PopupOutcome::kWaiting);
    EXPECT_EQ(log[0].opener.size(), PopupLog::kMaxTextBytes);
    log.Clear();
    EXPECT_EQ(log.Count(), 0u);
    log.Complete(last, "http://late.example/", PopupOutcome::kClosed);
    log.Add(8, "http://next.example/", PopupOutcome::kRefused);
    ASSERT_EQ(log.Count(), 1u);
    EXPECT_TRUE(log[0].popup.empty());

    // The oldest of a full log is still there to complete; one more record and it is gone,
    // and the record in its slot starts without its address. A cut never splits a character.
    const std::uint64_t oldest = log.Add(9, "http://oldest.example/", PopupOutcome::kWaiting);
    for (std::size_t i = 1; i < PopupLog::kCapacity; ++i)
        log.Add(10, std::string(PopupLog::kMaxTextBytes - 1, 'x') + "\u00E9", PopupOutcome::kRefused);
    log.Complete(oldest, "http://popup.example/", PopupOutcome::kClosed);
    EXPECT_EQ(log[PopupLog::kCapacity - 1].popup, "http://popup.example/");
    EXPECT_EQ(log[0].opener.size(), PopupLog::kMaxTextBytes - 1);
    log.Add(11, "http://newest.example/", PopupOutcome::kRefused);
    const std::uint64_t revision2 = log.Revision();
    log.Complete(oldest, "http://late.example/", PopupOutcome::kClosed);
    EXPECT_EQ(log.Revision(), revision2);
    EXPECT_TRUE(log[0].popup.empty());
}

}  // namespace
}  // namespace quellix::test
