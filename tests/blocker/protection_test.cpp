#include "blocker/protection.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "tests/blocker/fakes.h"

namespace quellix::test {
namespace {

std::string TipOf(const TrayIconData& data)
{
    return std::string(data.szTip, sizeof data.szTip);
}

TEST(TrayIconDataTest, MatchesTheFirstNotifyIconDataLayoutByteForByte)
{
    EXPECT_EQ(offsetof(TrayIconData, hWnd), 4u);
    EXPECT_EQ(offsetof(TrayIconData, uID), 8u);
    EXPECT_EQ(offsetof(TrayIconData, uFlags), 12u);
    EXPECT_EQ(offsetof(TrayIconData, uCallbackMessage), 16u);
    EXPECT_EQ(offsetof(TrayIconData, hIcon), 20u);
    EXPECT_EQ(offsetof(TrayIconData, szTip), 24u);

    const TrayIconData data = MakeTrayIconData(0xA1B2C3D4, 0x00E0F000, "Enabled");
    unsigned char bytes[88];
    std::memcpy(bytes, &data, sizeof bytes);
    const unsigned char head[24] = {88, 0, 0, 0, 0xD4, 0xC3, 0xB2, 0xA1, 0,    0,    0,    0,
                                    7,  0, 0, 0, 0x78, 0x05, 0,    0,    0x00, 0xF0, 0xE0, 0};
    EXPECT_EQ(std::memcmp(bytes, head, sizeof head), 0);
    EXPECT_EQ(TipOf(data), std::string("Enabled") + '\0' + std::string(56, ' '));
}

TEST(TrayIconDataTest, ATipTooLongForTheFieldIsCutAndStillEndsInANul)
{
    const TrayIconData data = MakeTrayIconData(1, 2, std::string(100, 'x'));
    EXPECT_EQ(TipOf(data), std::string(63, 'x') + '\0');
}

TEST(TrayIconDataTest, TheRemovalRecordHoldsOnlyTheIdentity)
{
    const TrayIconData data = MakeTrayIconIdentity(0x42);
    TrayIconData expected{};
    expected.cbSize = 88;
    expected.hWnd = 0x42;
    EXPECT_EQ(std::memcmp(&data, &expected, sizeof data), 0);
}

class ProtectionTest : public ::testing::Test {
protected:
    BlockingState state;
    Options options;
    FakeView view;
    FakeTray tray;
    FakeAlerts alerts;
    Protection protection{state, options, view, tray, alerts};
};

TEST_F(ProtectionTest, TheSwitchShowsItsStateInCaptionsIconsAndTheTrayTip)
{
    protection.ToggleProtection();
    EXPECT_TRUE(state.protectionOff);
    EXPECT_EQ(view.enableCaption, "Enable");
    EXPECT_EQ(view.windowIcon, Icon::kOff);
    ASSERT_EQ(tray.calls.size(), 1u);
    EXPECT_EQ(tray.calls[0].command, TrayCommand::kModify);
    EXPECT_EQ(tray.calls[0].data.hIcon, view.IconHandle(Icon::kOff));
    EXPECT_EQ(TipOf(tray.calls[0].data).substr(0, 9), std::string("Disabled") + '\0');

    protection.ToggleProtection();
    EXPECT_FALSE(state.protectionOff);
    EXPECT_EQ(view.enableCaption, "Disable");
    EXPECT_EQ(view.windowIcon, Icon::kOn);
    EXPECT_EQ(tray.calls.back().data.hIcon, view.IconHandle(Icon::kOn));
    EXPECT_EQ(TipOf(tray.calls.back().data).substr(0, 8), std::string("Enabled") + '\0');
}

TEST_F(ProtectionTest, ABlockBeepsAndFlashesWithoutWaitingAndTheFlashEndsOnTheIconOfTheSwitch)
{
    options.beep = 1;
    options.flash = 1;
    protection.NotifyBlocked();
    EXPECT_EQ(alerts.calls, (std::vector<std::string>{"beep 800 200", "flash 100"}));
    ASSERT_EQ(tray.calls.size(), 1u);
    EXPECT_EQ(tray.calls[0].data.hIcon, view.IconHandle(Icon::kFlash));
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd (1)");

    // A second block while the picture shows: timed again, not drawn again.
    protection.NotifyBlocked();
    EXPECT_EQ(tray.calls.size(), 1u);
    EXPECT_EQ(alerts.calls.back(), "flash 100");
    protection.EndFlash();
    protection.EndFlash();
    ASSERT_EQ(tray.calls.size(), 2u);
    EXPECT_EQ(tray.calls[1].data.hIcon, view.IconHandle(Icon::kOn));
    EXPECT_EQ(TipOf(tray.calls[1].data).substr(0, 8), std::string("Enabled") + '\0');

    // Switched off during a flash, it ends on the switch's own picture.
    protection.NotifyBlocked();
    protection.ToggleProtection();
    protection.EndFlash();
    EXPECT_EQ(tray.calls.back().data.hIcon, view.IconHandle(Icon::kOff));
}

TEST_F(ProtectionTest, OptionsOtherThanExactlyOneAreOff)
{
    options.beep = 2;
    options.flash = -1;
    protection.NotifyBlocked();
    protection.NotifyBlocked();
    protection.NotifyBlocked();
    EXPECT_TRUE(alerts.calls.empty());
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd (3)");

    protection.ToggleProtection();
    protection.ToggleProtection();
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd (3)") << "switching does not reset the count";
}

TEST_F(ProtectionTest, TheCountGoesOnPastTheOld16BitLimit)
{
    for (int i = 0; i < 32'768; ++i)
        protection.NotifyBlocked();
    EXPECT_EQ(protection.BlockedCount(), 32'768u);
    EXPECT_EQ(view.frameCaption, "Blocked ZirOd (32768)");
}

TEST_F(ProtectionTest, ANoticeNamesTheSiteAtMostOnceIn30SecondsAndCountsTheRefusalsBetweenIntoTheNext)
{
    const std::string label(63, 'a');
    const std::string tail(BlockNotices::kMaxHostShown - 8, 'b');
    // One session, in order: `times` refusals at `at`, the notices they show, and the record
    // (the session's refusals numbered from 1) that a click on the latest notice shows.
    struct Step {
        std::string opener;
        std::uint32_t at;
        int times;
        std::vector<std::string> notices;
        std::uint64_t clicked;
        bool inFront = false;
        bool noticeOff = false;
        bool protectionOff = false;
    };
    const Step steps[] = {
        {"http://news.example/today", 0, 20, {"Quellix blocked a pop-up from news.example. Click to see it."}, 20},
        {"https://News.Example.:8080/x", 1000, 1, {}, 21},  // the same host, written otherwise
        {"http://www.news.example/", 2000, 1, {"Quellix blocked a pop-up from www.news.example. Click to see it."}, 22},
        {"http://news.example/", 29'999, 1, {}, 22},
        {"http://news.example/", 30'000, 1, {"Quellix blocked 22 pop-ups from news.example. Click to see them."}, 24},
        // Seen in the window, not counted; nor when the user wants no notice; nor with
        // protection off.
        {"http://www.news.example/", 40'000, 1, {}, 24, true},
        {"http://www.news.example/", 40'000, 1, {}, 24, false, true},
        {"http://www.news.example/", 40'000, 1, {}, 24, false, false, true},
        {"http://www.news.example/",
         40'001,
         1,
         {"Quellix blocked a pop-up from www.news.example. Click to see it."},
         28},
        // No host to name: no site, and one count for all such pages.
        {"", 50'000, 1, {"Quellix blocked a pop-up. Click to see it."}, 29},
        {"javascript:open()", 50'001, 1, {}, 30},
        {"http://bad\x01host.example/", 50'002, 1, {}, 31},
        // A page's long host is named by its end, where the site's own name is.
        {"http://" + label + "." + label + "." + label + "." + tail + ".example/",
         60'000,
         1,
         {"Quellix blocked a pop-up from ..." + tail + ".example. Click to see it."},
         32},
        // Across the tick counter's wrap.
        {"http://wrap.example/", 0xFFFF'F000u, 1, {"Quellix blocked a pop-up from wrap.example. Click to see it."}, 33},
        {"http://wrap.example/", 0x0000'1000u, 1, {}, 34},
    };
    std::uint64_t record = 0;
    for (const Step& step : steps) {
        view.inFront = step.inFront;
        options.notice = step.noticeOff ? 0 : 1;
        state.protectionOff = step.protectionOff;
        tray.notices.clear();
        for (int i = 0; i < step.times; ++i)
            protection.NotifyBlocked(step.opener, ++record, step.at);
        EXPECT_EQ(tray.notices, step.notices) << step.opener << " at " << step.at;
        EXPECT_EQ(protection.Notices().NoticedRecord(), step.clicked) << step.opener << " at " << step.at;
    }
}

}  // namespace
}  // namespace quellix::test
