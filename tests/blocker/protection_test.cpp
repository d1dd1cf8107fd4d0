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

}  // namespace
}  // namespace quellix::test
