#include "blocker/popup_rules.h"

#include <gtest/gtest.h>

#include <tuple>

#include "blocker/allowed_sites.h"
#include "blocker/protection.h"
#include "blocker/url_list.h"
#include "tests/blocker/fakes.h"

namespace quellix::test {
namespace {

class PopupRulesTest : public ::testing::Test {
protected:
    void ClickAt(std::uint32_t tick, int button = vk::kLButton)
    {
        ticks.now = tick;
        keys.Press(button);
        rules.ClickWatch();
        keys.Release(button);
    }

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

TEST_F(PopupRulesTest, ClickWatchRecordsOnlyAFreshPressOfAnyMouseButton)
{
    ticks.now = 5000;
    keys.Press(vk::kMButton);
    rules.ClickWatch();
    EXPECT_EQ(state.lastClickTick, 5000u);

    // Still held at the next tick: no longer fresh, the time is not refreshed.
    ticks.now = 5032;
    rules.ClickWatch();
    EXPECT_EQ(state.lastClickTick, 5000u);

    // Pressed and released between two ticks reads 0x0001 only: not "down now".
    keys.Release(vk::kMButton);
    keys.Click(vk::kRButton);
    ticks.now = 5064;
    rules.ClickWatch();
    EXPECT_EQ(state.lastClickTick, 5000u);
}

TEST_F(PopupRulesTest, ClickWatchQueriesLeftRightMiddleAndStopsAtTheFirstFreshPress)
{
    rules.ClickWatch();
    EXPECT_EQ(keys.TakeQueries(), (std::vector<int>{vk::kLButton, vk::kRButton, vk::kMButton}));

    keys.Press(vk::kLButton);
    keys.Press(vk::kRButton);
    rules.ClickWatch();
    EXPECT_EQ(keys.TakeQueries(), (std::vector<int>{vk::kLButton}));
    // The right button's press was not consumed, so the next tick still sees it fresh.
    ticks.now = 77;
    rules.ClickWatch();
    EXPECT_EQ(state.lastClickTick, 77u);
}

TEST_F(PopupRulesTest, UserInputIsCtrlOrShiftInAnyStateOrAFreshMousePress)
{
    EXPECT_FALSE(rules.IsUserInput());
    EXPECT_EQ(keys.TakeQueries(),
              (std::vector<int>{vk::kControl, vk::kShift, vk::kLButton, vk::kRButton, vk::kMButton}));

    // Ctrl tapped and already released still reads 0x0001, once.
    keys.Click(vk::kControl);
    EXPECT_TRUE(rules.IsUserInput());
    EXPECT_EQ(keys.TakeQueries(), (std::vector<int>{vk::kControl}));
    EXPECT_FALSE(rules.IsUserInput());
    keys.TakeQueries();

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
    EXPECT_EQ(rules.NewWindow(), std::nullopt);
    EXPECT_EQ(protection.BlockedCount(), 0u);

    ticks.now = 10'400;
    EXPECT_EQ(rules.NewWindow(), true);
    EXPECT_EQ(protection.BlockedCount(), 1u);
}

TEST_F(PopupRulesTest, TheClickGraceSurvivesTheWrapOfTheTickCounter)
{
    ClickAt(0xFFFF'FF00u);
    ticks.now = 0x0000'0050u;  // 336 ms later, after the wrap
    EXPECT_EQ(rules.NewWindow(), std::nullopt);
    ticks.now = 0x0000'0090u;  // 400 ms later
    EXPECT_EQ(rules.NewWindow(), true);
}

TEST_F(PopupRulesTest, BeforeAnyClickOnlyTheKeysDecide)
{
    ticks.now = 1'000'000;
    EXPECT_EQ(rules.NewWindow(), true);
    keys.Press(vk::kControl);
    EXPECT_EQ(rules.NewWindow(), std::nullopt);
    EXPECT_EQ(protection.BlockedCount(), 1u);
}

TEST_F(PopupRulesTest, WithListsOffAPopupIsRefusedCountedAndNotListed)
{
    ticks.now = 60'000;
    state.zirodPending = true;
    EXPECT_EQ(rules.NewWindow(), true);
    EXPECT_FALSE(state.zirodPending);
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd (1)");
    EXPECT_TRUE(blocked.Empty());
}

TEST_F(PopupRulesTest, UserRequestedWindowsLeaveCancelAndTheMarkAlone)
{
    options.list = 1;
    state.zirodPending = true;
    keys.Press(vk::kShift);
    ticks.now = 60'000;
    EXPECT_EQ(rules.NewWindow(), std::nullopt);
    EXPECT_TRUE(state.zirodPending);
}

TEST_F(PopupRulesTest, WhileProtectionIsOffNothingIsRefusedClosedOrCounted)
{
    ticks.now = 60'000;
    state.protectionOff = true;
    EXPECT_EQ(rules.NewWindow(), std::nullopt);
    EXPECT_TRUE(keys.TakeQueries().empty()) << "no key state is consumed";

    options.list = 1;
    state.zirodPending = true;
    FakeBrowser popup("http://ads.example/");
    rules.BrowserCreated(popup);
    EXPECT_EQ(popup.quits, 0);
    EXPECT_EQ(protection.BlockedCount(), 0u);
}

TEST_F(PopupRulesTest, ListModeLetsThePopupOpenThenClosesItAndListsItsAddressOnce)
{
    options.list = 1;
    ticks.now = 60'000;
    EXPECT_EQ(rules.NewWindow(), false);
    EXPECT_TRUE(state.zirodPending);
    EXPECT_EQ(protection.BlockedCount(), 0u) << "nothing is counted before the window is closed";

    FakeBrowser popup("http://ads.example/");
    rules.BrowserCreated(popup);
    EXPECT_EQ(popup.quits, 1);
    EXPECT_FALSE(state.zirodPending);
    ASSERT_EQ(blocked.Count(), 1u);
    EXPECT_EQ(blocked[0], "http://ads.example/");

    EXPECT_EQ(rules.NewWindow(), false);
    FakeBrowser again("http://ads.example/");
    rules.BrowserCreated(again);
    EXPECT_EQ(again.quits, 1);
    EXPECT_EQ(blocked.Count(), 1u);
    EXPECT_EQ(protection.BlockedCount(), 2u);
}

TEST_F(PopupRulesTest, ABrowserAppearingWithoutAMarkIsLeftAlone)
{
    options.list = 1;
    FakeBrowser opened("http://ads.example/");
    rules.BrowserCreated(opened);
    EXPECT_EQ(opened.quits, 0);
    EXPECT_TRUE(blocked.Empty());
}

TEST_F(PopupRulesTest, AnAllowedPopupStaysOpenAndTakesTheMarkWithIt)
{
    options.list = 1;
    allowed.Append("http://news.example/");
    ticks.now = 60'000;
    rules.NewWindow();
    FakeBrowser popup("http://news.example/");
    rules.BrowserCreated(popup);
    EXPECT_EQ(popup.quits, 0);
    EXPECT_FALSE(state.zirodPending);
    EXPECT_EQ(protection.BlockedCount(), 0u);

    // The user's own next window, opened with Ctrl, is not taken for the pop-up.
    FakeBrowser next("http://other.example/");
    rules.BrowserCreated(next);
    EXPECT_EQ(next.quits, 0);
}

TEST_F(PopupRulesTest, TheMarkIsOneFlagNotACount)
{
    options.list = 1;
    ticks.now = 60'000;
    rules.NewWindow();
    rules.NewWindow();
    FakeBrowser first("http://a.example/"), second("http://b.example/");
    rules.BrowserCreated(first);
    rules.BrowserCreated(second);
    EXPECT_EQ(first.quits, 1);
    EXPECT_EQ(second.quits, 0);
}

TEST_F(PopupRulesTest, AnAddressIsAllowedOnlyByAnExactMatchAndAnEmptyOneAlways)
{
    options.list = 1;
    allowed.Append("http://news.example/");
    for (const char* address : {"http://NEWS.example/", "http://news.example", "http://news.example/ "}) {
        state.zirodPending = true;
        FakeBrowser popup(address);
        rules.BrowserCreated(popup);
        EXPECT_EQ(popup.quits, 1) << address;
    }
    state.zirodPending = true;
    FakeBrowser blank("");
    rules.BrowserCreated(blank);
    EXPECT_EQ(blank.quits, 0);
    EXPECT_TRUE(IsInList(UrlList(), ""));
}

TEST_F(PopupRulesTest, ABrowserThatIsGoneBeforeItsAddressIsReadClearsTheMark)
{
    options.list = 1;
    state.zirodPending = true;
    FakeBrowser gone(std::nullopt);
    rules.BrowserCreated(gone);
    EXPECT_EQ(gone.quits, 0);
    EXPECT_FALSE(state.zirodPending);
    EXPECT_EQ(protection.BlockedCount(), 0u);
    EXPECT_TRUE(blocked.Empty());
}

TEST_F(PopupRulesTest, APageOnAnAllowedSiteOpensWindowsInBothModesBeforeAnyOtherTest)
{
    sites.Add("news.example");
    ticks.now = 60'000;
    for (const int list : {0, 1}) {
        options.list = list;
        state.zirodPending = true;  // a mark left by an earlier pop-up does not close this one
        EXPECT_EQ(rules.NewWindow("http://www.news.example/today"), std::nullopt) << list;
        EXPECT_FALSE(state.zirodPending) << list;
        FakeBrowser window("http://ads.example/");
        rules.BrowserCreated(window);
        EXPECT_EQ(window.quits, 0) << list;
    }
    EXPECT_EQ(protection.BlockedCount(), 0u);
    EXPECT_TRUE(keys.TakeQueries().empty()) << "decided before the keys are read";

    options.list = 0;
    EXPECT_EQ(rules.NewWindow("http://other.example/"), true);
    EXPECT_EQ(rules.NewWindow("http://badnews.example/"), true);
    state.protectionOff = true;
    rules.NewWindow("http://www.news.example/");
    EXPECT_EQ(log[0].outcome, PopupOutcome::kAllowedSite) << "the site, before the switch";
}

TEST_F(PopupRulesTest, EveryDecisionIsLoggedNewestFirstWithItsOpenerAndWhatHappened)
{
    sites.Add("news.example");
    allowed.Append("http://wanted.example/");
    ticks.now = 60'000;
    rules.NewWindow("http://www.news.example/");
    rules.NewWindow("http://a.example/");
    keys.Press(vk::kShift);
    rules.NewWindow("http://b.example/");
    keys.Release(vk::kShift);
    state.lastClickTick = ticks.now - 100;
    rules.NewWindow("http://c.example/");
    state.lastClickTick = 0;
    options.list = 1;
    rules.NewWindow("http://d.example/");
    FakeBrowser closed("http://ads.example/");
    rules.BrowserCreated(closed);
    rules.NewWindow("http://e.example/");
    FakeBrowser wanted("http://wanted.example/");
    rules.BrowserCreated(wanted);
    rules.NewWindow("http://f.example/");
    FakeBrowser gone(std::nullopt);
    rules.BrowserCreated(gone);
    rules.NewWindow("http://g.example/");
    state.protectionOff = true;
    rules.NewWindow("http://h.example/");

    const std::tuple<std::string, std::string, PopupOutcome> expected[] = {
        {"http://h.example/", "", PopupOutcome::kProtectionOff},
        {"http://g.example/", "", PopupOutcome::kWaiting},
        {"http://f.example/", "", PopupOutcome::kWentAway},
        {"http://e.example/", "http://wanted.example/", PopupOutcome::kAllowedAddress},
        {"http://d.example/", "http://ads.example/", PopupOutcome::kClosed},
        {"http://c.example/", "", PopupOutcome::kAfterClick},
        {"http://b.example/", "", PopupOutcome::kWithKey},
        {"http://a.example/", "", PopupOutcome::kRefused},
        {"http://www.news.example/", "", PopupOutcome::kAllowedSite},
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
