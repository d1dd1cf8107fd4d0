#include "shell/hotkey.h"

#include <gtest/gtest.h>

#include <map>

namespace quellix::test {
namespace {

using Handles = std::vector<WindowList::Handle>;
constexpr std::uint32_t kNormal = 1, kMinimized = 2, kMaximized = 3;  // SW_SHOW...

// The desktop's top-level windows in the system's order. As GetWindowPlacement does, a
// placement read back says how the window is shown when visible, never SW_HIDE.
class FakeWindows final : public WindowList {
public:
    struct Window {
        std::string className;
        WindowPlacement placement;
        bool visible = true;
    };

    void Open(Handle handle, std::string className, std::uint32_t showCmd = kNormal, bool visible = true)
    {
        WindowPlacement placement;
        placement.showCmd = showCmd;
        placement.rcNormalPosition[2] = static_cast<std::int32_t>(handle) + 100;
        windows[handle] = {std::move(className), placement, visible};
        order.push_back(handle);
    }
    void Close(Handle handle)
    {
        windows.erase(handle);
        std::erase(order, handle);
    }

    std::map<Handle, Window> windows;
    Handles order;
    Handles placed;

    void EnumerateTopLevel(const std::function<bool(Handle)>& visit) override
    {
        for (const Handle handle : Handles(order)) {
            if (!visit(handle))
                return;
        }
    }
    std::string ClassName(Handle handle) override { return windows.count(handle) ? windows[handle].className : ""; }
    bool IsVisible(Handle handle) override { return windows.count(handle) && windows[handle].visible; }
    bool GetPlacement(Handle handle, WindowPlacement* placement) override
    {
        if (!windows.count(handle) || placement->length != sizeof *placement)
            return false;
        *placement = windows[handle].placement;
        return true;
    }
    bool SetPlacement(Handle handle, const WindowPlacement& placement) override
    {
        placed.push_back(handle);
        if (!windows.count(handle))
            return false;
        // Hiding leaves a window minimised or maximised as it was.
        Window& window = windows[handle];
        const std::uint32_t state = window.placement.showCmd;
        window.placement = placement;
        window.visible = placement.showCmd != kSwHide;
        if (!window.visible)
            window.placement.showCmd = state;
        return true;
    }
};

class Module3Test : public ::testing::Test {
protected:
    Handles Recorded() const
    {
        Handles handles;
        for (const HiddenWindow& record : module.HiddenWindows())
            handles.push_back(record.handle);
        return handles;
    }

    FakeWindows desktop;
    Module3 module{desktop};
};

TEST_F(Module3Test, HidingRecordsBrowsersInSystemOrderAndRestoringPutsThemBackLastFirst)
{
    desktop.Open(10, "IEFrame", kMaximized);
    desktop.Open(11, "Notepad");
    desktop.Open(12, "CabinetWClass", kMinimized);
    desktop.Open(13, "IEFrame");
    const auto before = desktop.windows;

    module.Toggle();
    EXPECT_TRUE(module.BrowsersHidden());
    ASSERT_EQ(Recorded(), (Handles{10, 12, 13, 0}));
    EXPECT_EQ(module.HiddenWindows()[1].placement, before.at(12).placement);
    EXPECT_EQ(module.HiddenWindows()[3].placement, WindowPlacement{});
    for (const auto& [handle, window] : desktop.windows)
        EXPECT_EQ(window.visible, handle == 11) << handle;

    desktop.placed.clear();
    module.Toggle();
    EXPECT_FALSE(module.BrowsersHidden());
    EXPECT_EQ(desktop.placed, (Handles{13, 12, 10}));
    for (const auto& [handle, window] : desktop.windows) {
        EXPECT_EQ(window.placement, before.at(handle).placement) << handle;
        EXPECT_TRUE(window.visible) << handle;
    }
    EXPECT_EQ(Recorded(), (Handles{10, 12, 13, 0})) << "records stay until the next hide";
}

TEST_F(Module3Test, OnlyTheExactClassNamesCount)
{
    for (const char* name : {"ieframe", "IEFRAME", "IEFrame ", "CabinetWClass2", "cabinetwclass", ""})
        desktop.Open(static_cast<WindowList::Handle>(desktop.order.size() + 1), name);
    module.HideAllBrowsers();
    EXPECT_EQ(Recorded(), Handles{0});
    EXPECT_TRUE(desktop.placed.empty());
}

TEST_F(Module3Test, RestorePassesOverClosedAndReusedHandlesAndLeavesNewBrowsersAlone)
{
    desktop.Open(10, "IEFrame");
    desktop.Open(11, "IEFrame");
    desktop.Open(12, "CabinetWClass");
    module.HideAllBrowsers();
    desktop.Close(10);
    desktop.Close(11);
    desktop.Open(11, "Notepad", kNormal, false);  // the system gave the freed handle to another window
    desktop.Open(14, "IEFrame", kNormal, false);  // opened, then hidden by its own program, meanwhile
    desktop.placed.clear();

    module.RestoreAllBrowsers();
    EXPECT_EQ(desktop.placed, Handles{12});
    EXPECT_TRUE(desktop.windows[12].visible);

    module.HideAllBrowsers();
    EXPECT_EQ(Recorded(), (Handles{12, 14, 0}));
}

TEST_F(Module3Test, AnInvisibleBrowserIsHiddenWithTheOthersButNotShownByTheRestore)
{
    desktop.Open(10, "IEFrame", kMaximized, false);
    const WindowPlacement before = desktop.windows[10].placement;
    module.HideAllBrowsers();
    EXPECT_EQ(Recorded(), (Handles{10, 0}));
    module.RestoreAllBrowsers();
    EXPECT_EQ(desktop.placed, (Handles{10, 10}));
    EXPECT_FALSE(desktop.windows[10].visible);
    EXPECT_EQ(desktop.windows[10].placement, before);
}

TEST_F(Module3Test, AHideWithoutBrowsersStillCountsAndItsRestoreChangesNothing)
{
    desktop.Open(1, "Notepad");
    module.Toggle();
    EXPECT_TRUE(module.BrowsersHidden());
    EXPECT_EQ(Recorded(), Handles{0});
    module.Toggle();
    EXPECT_FALSE(module.BrowsersHidden());
    EXPECT_TRUE(desktop.placed.empty());
}

TEST(HotKeyTest, OnlyTheWindowsKeyWithZAndNothingElseMatches)
{
    constexpr std::intptr_t kWinZ = 0x5A0008;
    EXPECT_TRUE(Module3::IsHideHotKey(0x312, 95, kWinZ));
    for (const std::intptr_t extra : {0x1, 0x2, 0x4})  // Alt, Ctrl, Shift
        EXPECT_FALSE(Module3::IsHideHotKey(0x312, 95, kWinZ | extra)) << extra;
    EXPECT_FALSE(Module3::IsHideHotKey(0x312, 95, 0x5B0008));
    EXPECT_FALSE(Module3::IsHideHotKey(0x312, 94, kWinZ));
    EXPECT_FALSE(Module3::IsHideHotKey(0x311, 95, kWinZ));
}

}  // namespace
}  // namespace quellix::test
