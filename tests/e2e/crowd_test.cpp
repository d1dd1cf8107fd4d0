// The monitor on a crowded desktop, with the shell's stand-in in this process and the control
// in another, as the shell and a program are on Windows: the shell's events come in while
// the control waits on a call into the shell.
#include <windows.h>
#include <exdisp.h>

#include <gtest/gtest.h>

#include <memory>

#include "monitor/tessaly.h"
#include "tests/e2e/environment_test.h"

namespace quellix::e2e {
namespace {

using sim::Browser;
using sim::Call;
using tessaly::test::Identity;

class CrowdTest : public EnvironmentTest {
protected:
    void SetUp() override
    {
        desktop = std::make_unique<sim::Desktop>();
        for (int i = 0; i < 50; ++i)
            open.push_back(desktop->Open(L"http://site" + std::to_wstring(i) + L".example/"));
        control = std::make_unique<RemoteControl>();
        ASSERT_TRUE(control->Started());
        ASSERT_EQ(control->SetEnabled(true), S_OK);
    }

    void TearDown() override
    {
        // Switched off, the control holds no subscription anywhere; released, nothing of the
        // library is left alive.
        EXPECT_EQ(control->SetEnabled(false), S_OK);
        EXPECT_EQ(desktop->ListSubscribers(), 0);
        EXPECT_EQ(Subscriptions(), 0);
        EXPECT_TRUE(control->End()) << "DllCanUnloadNow answers S_FALSE";
        control.reset();
        open.clear();
        desktop.reset();
    }

    long Subscriptions() const { return desktop->Subscriptions(open); }

    std::vector<IUnknown*> Created() const
    {
        std::vector<IUnknown*> created;
        for (const auto& event : control->Events()) {
            if (event.id == tessaly::kBrowserCreated)
                created.push_back(Identity(event.browser.Get()));
        }
        return created;
    }

    long Destroyed() const
    {
        long count = 0;
        for (const auto& event : control->Events())
            count += event.id == tessaly::kBrowserDestroyed;
        return count;
    }

    std::unique_ptr<sim::Desktop> desktop;
    std::vector<ComPtr<Browser>> open;
    std::unique_ptr<RemoteControl> control;
};

TEST_F(CrowdTest, WindowsThatComeAndGoWhileTheControlWaitsOnTheShellAreEachAnnouncedOnce)
{
    std::vector<ComPtr<Browser>> joined;
    for (int i = 0; i < 6; ++i)
        joined.push_back(desktop->Create(L"http://" + std::to_wstring(i) + L".example/"));

    // A registration inside the control's Advise on the window that joined before it, and
    // one inside its reading of that window from the list.
    desktop->Calls().During(Call::kAdvise, [&] { desktop->Register(*joined[1].Get()); });
    desktop->Register(*joined[0].Get());
    desktop->Calls().During(Call::kItem, [&] { desktop->Register(*joined[3].Get()); });
    desktop->Register(*joined[2].Get());
    // A registration inside the walk of the whole list that a revocation takes, and a
    // revocation inside the reading of a new window's handle.
    desktop->Calls().During(Call::kNext, [&] { desktop->Register(*joined[4].Get()); });
    desktop->Revoke(*open[5].Get());
    desktop->Calls().During(Call::kHwnd, [&] { desktop->Revoke(*open[10].Get()); });
    desktop->Register(*joined[5].Get());
    Pump(100);

    std::vector<IUnknown*> expected;
    for (const int i : {0, 1, 2, 3, 4, 5})
        expected.push_back(Identity(static_cast<IWebBrowser2*>(joined[i].Get())));
    EXPECT_EQ(Created(), expected);
    EXPECT_EQ(Destroyed(), 2);
    EXPECT_EQ(open[5]->Subscribers(), 0);
    EXPECT_EQ(open[10]->Subscribers(), 0);
    for (const ComPtr<Browser>& browser : joined) {
        EXPECT_EQ(browser->Subscribers(), 1);
        open.push_back(browser);
    }
}

TEST_F(CrowdTest, OpenAndCloseCyclesLeaveNoSubscriptionBehind)
{
    const long before = Subscriptions();
    constexpr int kCycles = 200;
    for (int i = 0; i < kCycles; ++i) {
        const ComPtr<Browser> popup = desktop->Open(L"http://popup.example/" + std::to_wstring(i));
        EXPECT_EQ(popup->Subscribers(), 1);
        popup->Quit();
        EXPECT_EQ(popup->Subscribers(), 0);
    }
    EXPECT_EQ(Created().size(), static_cast<std::size_t>(kCycles));
    EXPECT_EQ(Destroyed(), kCycles);
    EXPECT_EQ(Subscriptions(), before);
}

}  // namespace
}  // namespace quellix::e2e
