// The control in a small hand-written OLE container: sited, activated in place as a visible
// child window, moved and resized, drawn, and deactivated.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "monitor/banner_math.h"
#include "monitor/tessaly.h"
#include "tests/monitor/ocx.h"

namespace tessaly::test {
namespace {

using quellix::ComPtr;

// The container's side: a client site that is also the in-place site, recording the calls
// that in-place activation makes.
class Site final : public quellix::ComObject<IOleClientSite, IOleInPlaceSite> {
public:
    explicit Site(HWND window) : m_window(window) {}

    std::vector<std::string> calls;
    RECT position = {10, 20, 500, 300};

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB table[] = {
            QITABENT(Site, IOleClientSite),
            QITABENT(Site, IOleInPlaceSite),
            QITABENTMULTI(Site, IOleWindow, IOleInPlaceSite),
            {},
        };
        return QISearch(this, table, riid, object);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override
    {
        *window = m_window;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override
    {
        calls.push_back("CanInPlaceActivate");
        return S_OK;
    }
    STDMETHODIMP OnInPlaceActivate() override
    {
        calls.push_back("OnInPlaceActivate");
        return S_OK;
    }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT place, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO) override
    {
        calls.push_back("GetWindowContext");
        *frame = nullptr;
        *document = nullptr;
        *place = position;
        *clip = position;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override
    {
        calls.push_back("OnInPlaceDeactivate");
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

private:
    HWND m_window;
};

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.reset(CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 400, nullptr,
                                   nullptr, nullptr, nullptr));
        ASSERT_TRUE(form) << "needs a display";
        site = quellix::MakeCom<Site>(form.get());
        control = ocx.Create<IOleObject>();
        ASSERT_TRUE(control);
        DWORD status = 0;
        ASSERT_EQ(control->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
        EXPECT_EQ(status, kMiscStatus);
        EXPECT_TRUE(status & OLEMISC_SETCLIENTSITEFIRST);
        ASSERT_EQ(control->SetClientSite(site.Get()), S_OK);
    }

    void TearDown() override
    {
        if (control) {
            control->Close(OLECLOSE_NOSAVE);
            control->SetClientSite(nullptr);
        }
        control.Reset();
        site.Reset();
        EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
    }

    HWND ControlWindow()
    {
        ComPtr<IOleInPlaceObject> inPlace;
        control.As(&inPlace);
        HWND window = nullptr;
        inPlace->GetWindow(&window);
        return window;
    }

    static SIZE SizeOf(HWND window)
    {
        RECT rect;
        GetWindowRect(window, &rect);
        return {rect.right - rect.left, rect.bottom - rect.top};
    }

    Apartment apartment;
    Ocx ocx;
    quellix::UniqueHwnd form;
    ComPtr<Site> site;
    ComPtr<IOleObject> control;
};

TEST_F(ContainerTest, ActivatesInPlaceAsAVisibleChildOfTheSiteWindowAtItsOwnSize)
{
    ASSERT_EQ(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, form.get(), &site->position), S_OK);
    EXPECT_EQ(site->calls, (std::vector<std::string>{"CanInPlaceActivate", "OnInPlaceActivate", "GetWindowContext"}));
    const HWND window = ControlWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(GetParent(window), form.get());
    EXPECT_TRUE(IsWindowVisible(window));
    const int dpi = ScreenDpi();
    const SIZE expected = {TwipsToPixels(kWidthTwips, dpi), TwipsToPixels(kHeightTwips, dpi)};
    EXPECT_EQ(SizeOf(window).cx, expected.cx);
    EXPECT_EQ(SizeOf(window).cy, expected.cy);
    POINT topLeft = {0, 0};
    MapWindowPoints(window, form.get(), &topLeft, 1);
    EXPECT_EQ(topLeft.x, 10);
    EXPECT_EQ(topLeft.y, 20);
}

TEST_F(ContainerTest, KeepsItsSizeWhateverTheContainerAsks)
{
    SIZEL extent{};
    ASSERT_EQ(control->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, MulDiv(kWidthTwips, 2540, 1440));
    EXPECT_EQ(extent.cy, MulDiv(kHeightTwips, 2540, 1440));
    SIZEL bigger = {extent.cx * 2, extent.cy * 3};
    EXPECT_EQ(control->SetExtent(DVASPECT_CONTENT, &bigger), E_FAIL);
    ASSERT_EQ(control->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, MulDiv(kWidthTwips, 2540, 1440));

    ASSERT_EQ(control->DoVerb(OLEIVERB_SHOW, nullptr, site.Get(), 0, form.get(), &site->position), S_OK);
    const SIZE before = SizeOf(ControlWindow());
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(control.As(&inPlace), S_OK);
    const RECT moved = {30, 40, 600, 380};
    ASSERT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    EXPECT_EQ(SizeOf(ControlWindow()).cx, before.cx);
    EXPECT_EQ(SizeOf(ControlWindow()).cy, before.cy);
    POINT topLeft = {0, 0};
    MapWindowPoints(ControlWindow(), form.get(), &topLeft, 1);
    EXPECT_EQ(topLeft.x, 30);
    EXPECT_EQ(topLeft.y, 40);
}

TEST_F(ContainerTest, DeactivationTakesTheWindowAwayAndTellsTheSite)
{
    ASSERT_EQ(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, form.get(), &site->position), S_OK);
    const HWND window = ControlWindow();
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(control.As(&inPlace), S_OK);
    ASSERT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(site->calls.back(), "OnInPlaceDeactivate");
    HWND none = nullptr;
    EXPECT_EQ(inPlace->GetWindow(&none), E_FAIL);
}

TEST_F(ContainerTest, DrawsAYellowFrameAroundADarkToLightGradientWithYellowText)
{
    // 96 dots per inch: 15 twips to the pixel, the control's own 209 by 49.
    const int width = 209, height = 49;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    quellix::UniqueHbitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    quellix::UniqueHdc dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(bitmap && dc);
    {
        const quellix::ScopedSelectObject selected(dc.get(), bitmap.get());
        ComPtr<IViewObject2> view;
        ASSERT_EQ(control.As(&view), S_OK);
        const RECTL bounds = {0, 0, width, height};
        ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc.get(), &bounds, nullptr, nullptr, 0),
                  S_OK);
        GdiFlush();
    }

    auto pixel = [&](int x, int y) {
        const DWORD value = static_cast<const DWORD*>(bits)[y * width + x];
        return Rgb{static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                   static_cast<std::uint8_t>(value)};
    };
    const Rgb yellow{255, 255, 0};
    EXPECT_EQ(pixel(0, 0), yellow);
    EXPECT_EQ(pixel(width - 1, height - 1), yellow);
    EXPECT_EQ(pixel(100, 0), yellow);
    EXPECT_EQ(pixel(0, 30), yellow);
    // Inside the frame: black at the top, pale blue at the bottom (under the text's height).
    EXPECT_EQ(pixel(60, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel(60, height - 2), (GradientLines(kHeightTwips, 3)[(height - 2) * 15 + 14]));

    // The title's yellow letters lie on the band at 120 to 375 twips (rows 8 to 24).
    int yellowInTitle = 0;
    for (int y = 8; y < 25; ++y) {
        for (int x = 40; x < 170; ++x)
            yellowInTitle += pixel(x, y) == yellow;
    }
    EXPECT_GT(yellowInTitle, 40);
}

}  // namespace
}  // namespace tessaly::test
