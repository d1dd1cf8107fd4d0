// The control as a host sees it: created by its class factory, driven through its dual
// interface and by dispatch identifier, with its events received through the connection
// point, against stand-ins for the shell's window list and the browsers.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "base/dispatch.h"
#include "base/unique_handle.h"
#include "monitor/tessaly.h"
#include "tests/monitor/host.h"
#include "tests/monitor/ocx.h"
#include "tests/sim/desktop.h"

namespace tessaly::test {
namespace {

using quellix::ComPtr;
using quellix::sim::Browser;

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop = std::make_unique<quellix::sim::Desktop>();
        control = ocx.Create<_IEEvents>();
        ASSERT_TRUE(control);
        sink = quellix::MakeCom<EventSink>();
        ASSERT_NE(Connect(control.Get(), kDiidIEEventsEvents, sink.Get()), 0u);
    }

    void TearDown() override
    {
        control.Reset();
        sink.Reset();
        desktop.reset();
        // Nothing of the library is left once the host has let go: no cycle anywhere.
        EXPECT_EQ(ocx.CanUnloadNow(), S_OK);
    }

    void Enable(bool on = true) { ASSERT_EQ(control->put_Enabled(on ? VARIANT_TRUE : VARIANT_FALSE), S_OK); }

    bool Enabled()
    {
        VARIANT_BOOL value = VARIANT_FALSE;
        EXPECT_EQ(control->get_Enabled(&value), S_OK);
        return value != VARIANT_FALSE;
    }

    ComPtr<_cBrowsers> List()
    {
        ComPtr<_cBrowsers> list;
        EXPECT_EQ(control->get_Browsers(&list), S_OK);
        return list;
    }

    short Count()
    {
        short count = -1;
        EXPECT_EQ(List()->get_Count(&count), S_OK);
        return count;
    }

    ComPtr<IWebBrowser2> ItemAt(long position)
    {
        VARIANT index;
        index.vt = VT_I4;
        index.lVal = position;
        ComPtr<IWebBrowser2> browser;
        List()->Item(&index, &browser);
        return browser;
    }

    // The same object, whatever interfaces the two pointers are.
    template <typename A, typename B>
    static bool Same(A* a, B* b)
    {
        return Identity(a) == Identity(b);
    }

    IUnknown* ListObject() { return static_cast<IShellWindows*>(&desktop->List()); }

    Apartment apartment;
    Ocx ocx;
    std::unique_ptr<quellix::sim::Desktop> desktop;
    ComPtr<_IEEvents> control;
    ComPtr<EventSink> sink;
};

TEST_F(ControlTest, ANewControlIsOffWithAnEmptyListAndRaisesNothing)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    EXPECT_FALSE(Enabled());
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(desktop->ListCreations(), 0);
    browser->FireNewWindow2();
    EXPECT_TRUE(sink->events.empty());
}

TEST_F(ControlTest, SwitchingOnWalksTheWindowListTwiceAndListsEveryWindowInOrder)
{
    const ComPtr<Browser> first = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> second = desktop->Open(L"http://b.example/");
    Enable();
    Enable();  // a second True changes nothing
    EXPECT_TRUE(Enabled());
    EXPECT_EQ(desktop->ListCreations(), 1) << "one list and one subscription for the tracker's life";
    EXPECT_EQ(desktop->Calls().Count(quellix::sim::Call::kNewEnum), 2);
    EXPECT_EQ(desktop->ListSubscribers(), 1);
    EXPECT_EQ(first->Subscribers(), 1);
    EXPECT_EQ(Count(), 2);
    EXPECT_TRUE(Same(ItemAt(1).Get(), first.Get()));
    EXPECT_TRUE(Same(ItemAt(2).Get(), second.Get()));
    EXPECT_FALSE(ItemAt(0));
    EXPECT_FALSE(ItemAt(3));
    EXPECT_TRUE(sink->events.empty());
}

TEST_F(ControlTest, SwitchingOffDetachesAtOnceAndKeepsTheLastList)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    Enable();
    const ComPtr<_cBrowsers> before = List();
    Enable(false);
    EXPECT_FALSE(Enabled());
    EXPECT_EQ(desktop->ListSubscribers(), 0);
    EXPECT_EQ(browser->Subscribers(), 0);
    EXPECT_EQ(List(), before) << "the same list object for the control's whole life";
    EXPECT_EQ(Count(), 1);
    browser->FireNewWindow2();
    desktop->Open(L"http://b.example/");
    EXPECT_TRUE(sink->events.empty());
}

TEST_F(ControlTest, RefreshRestartsWithANewTrackerAndTheSameList)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    ASSERT_EQ(control->Refresh(), S_OK);
    EXPECT_TRUE(Enabled()) << "Refresh while off switches monitoring on";
    const ComPtr<_cBrowsers> before = List();
    const ComPtr<Browser> later = desktop->Open(L"http://b.example/");
    ASSERT_EQ(control->Refresh(), S_OK);
    EXPECT_EQ(desktop->ListSubscribers(), 1) << "the old tracker let go before the new one started";
    EXPECT_EQ(browser->Subscribers(), 1);
    EXPECT_EQ(List(), before);
    EXPECT_EQ(Count(), 2);
}

TEST_F(ControlTest, AHostThatDisconnectsHearsNoMoreAndItsCookieServesTheNextHost)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    Enable();
    const ComPtr<EventSink> second = quellix::MakeCom<EventSink>();
    const ComPtr<EventSink> third = quellix::MakeCom<EventSink>();
    ASSERT_EQ(Connect(control.Get(), kDiidIEEventsEvents, second.Get()), 2u);
    EXPECT_EQ(Disconnect(control.Get(), kDiidIEEventsEvents, 1), S_OK);  // the first host
    EXPECT_EQ(Connect(control.Get(), kDiidIEEventsEvents, third.Get()), 1u) << "a freed cookie is given again";
    EXPECT_EQ(Disconnect(control.Get(), kDiidIEEventsEvents, 1), S_OK);
    for (const DWORD stale : {0u, 1u, 3u})
        EXPECT_EQ(Disconnect(control.Get(), kDiidIEEventsEvents, stale), CONNECT_E_NOCONNECTION) << stale;
    browser->FireDownloadBegin();
    EXPECT_TRUE(sink->events.empty());
    EXPECT_TRUE(third->events.empty());
    EXPECT_EQ(second->Ids(), (std::vector<DISPID>{kDownLoadBegin}));
}

TEST_F(ControlTest, EveryReadAndWriteOfEnabledNotifiesTheContainer)
{
    const ComPtr<PropertySink> properties = quellix::MakeCom<PropertySink>();
    ASSERT_NE(Connect(control.Get(), IID_IPropertyNotifySink, properties.Get()), 0u);
    Enable(false);  // changes nothing, still tells
    Enabled();
    Enable();
    EXPECT_EQ(properties->changed[kDispidEnabled], 3);
    EXPECT_EQ(properties->changed.size(), 1u);
}

TEST_F(ControlTest, NewWindowReachesTheHostWithTheBrowserAndWritesCancelAndPpDispBack)
{
    const ComPtr<Browser> opener = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> target = desktop->Create(L"about:blank");
    Enable();
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id != kNewWindow)
            return;
        *args[2]->pboolVal = VARIANT_TRUE;
        IDispatch*& ppDisp = *args[1]->ppdispVal;
        if (ppDisp)
            ppDisp->Release();
        ppDisp = target.Get();
        ppDisp->AddRef();
    };
    const quellix::sim::NewWindowResult result = opener->FireNewWindow2();
    EXPECT_EQ(result.cancel, VARIANT_TRUE);
    EXPECT_TRUE(Same(result.ppDisp.Get(), target.Get()));

    ASSERT_EQ(sink->events.size(), 1u);
    const EventSink::Event& event = sink->events[0];
    EXPECT_EQ(event.id, kNewWindow);
    EXPECT_EQ(event.types, (std::vector<VARTYPE>{VT_BYREF | VT_DISPATCH, VT_BYREF | VT_DISPATCH, VT_BYREF | VT_BOOL}));
    EXPECT_TRUE(Same(event.browser.Get(), opener.Get()));

    sink->handler = nullptr;
    EXPECT_EQ(opener->FireNewWindow2().cancel, VARIANT_FALSE) << "an untouched Cancel stays as the browser gave it";
}

TEST_F(ControlTest, NewWindow3ArrivesThroughTheSecondEventSetOnlyAndWritesBack)
{
    const ComPtr<Browser> opener = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> target = desktop->Create(L"about:blank");
    Enable();
    const ComPtr<EventSink> second = quellix::MakeCom<EventSink>();
    const DWORD cookie = Connect(control.Get(), kDiidNewWindow3Events, second.Get());
    ASSERT_NE(cookie, 0u);
    std::wstring context, url;
    LONG flags = 0;
    second->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        ASSERT_EQ(id, kDispidNewWindow3);
        flags = args[3]->lVal;
        context = args[4]->bstrVal;
        url = args[5]->bstrVal;
        *args[2]->pboolVal = VARIANT_TRUE;
        IDispatch*& ppDisp = *args[1]->ppdispVal;
        ppDisp = target.Get();
        ppDisp->AddRef();
    };
    const quellix::sim::NewWindowResult result = opener->FireNewWindow3(0x86, L"http://a.example/",
                                                                        L"http://ads.example/\u00fc");
    EXPECT_EQ(result.cancel, VARIANT_TRUE);
    EXPECT_TRUE(Same(result.ppDisp.Get(), target.Get()));
    ASSERT_EQ(second->events.size(), 1u);
    EXPECT_EQ(second->events[0].types, (std::vector<VARTYPE>{VT_BYREF | VT_DISPATCH, VT_BYREF | VT_DISPATCH,
                                                             VT_BYREF | VT_BOOL, VT_I4, VT_BSTR, VT_BSTR}));
    EXPECT_TRUE(Same(second->events[0].browser.Get(), opener.Get()));
    EXPECT_EQ(flags, 0x86);
    EXPECT_EQ(context, L"http://a.example/");
    EXPECT_EQ(url, L"http://ads.example/\u00fc");
    EXPECT_TRUE(sink->events.empty()) << "the first event set is as it was: NewWindow3 is none of its events";

    // The container lists the second point between the first and property notification.
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control.As(&container), S_OK);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* found[4] = {};
    ULONG fetched = 0;
    points->Next(4, found, &fetched);
    std::vector<IID> iids;
    for (ULONG i = 0; i < fetched; ++i) {
        IID iid{};
        found[i]->GetConnectionInterface(&iid);
        iids.push_back(iid);
        ComPtr<IConnectionPointContainer> back;
        EXPECT_EQ(found[i]->GetConnectionPointContainer(&back), S_OK);
        EXPECT_TRUE(Same(back.Get(), control.Get())) << "each point hands out the control, counted";
        found[i]->Release();
    }
    EXPECT_EQ(iids, (std::vector<IID>{kDiidIEEventsEvents, kDiidNewWindow3Events, IID_IPropertyNotifySink}));

    // Unadvised, the sink hears nothing more and its slot takes the next one.
    Disconnect(control.Get(), kDiidNewWindow3Events, cookie);
    opener->FireNewWindow3(0, L"", L"http://b.example/");
    EXPECT_EQ(second->events.size(), 1u);
    EXPECT_EQ(Connect(control.Get(), kDiidNewWindow3Events, second.Get()), cookie);
}

TEST_F(ControlTest, EventsOfAFrameNameTheTopLevelBrowserAndTheFrameApart)
{
    const ComPtr<Browser> top = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> frame = desktop->Create(L"http://a.example/frame");
    Enable();
    ComPtr<IDispatch> seenFrame;
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id != kBrowserNavigating)
            return;
        seenFrame = args[1]->pdispVal;
        *args[7]->pboolVal = VARIANT_TRUE;
        VariantClear(args[2]->pvarVal);
        args[2]->pvarVal->vt = VT_BSTR;
        args[2]->pvarVal->bstrVal = SysAllocString(L"http://elsewhere.example/");
    };
    const quellix::sim::BeforeNavigateResult result = top->FireBeforeNavigate2(frame.Get(), L"http://a.example/x");
    ASSERT_EQ(sink->events.size(), 1u);
    EXPECT_TRUE(Same(sink->events[0].browser.Get(), top.Get()));
    EXPECT_TRUE(Same(seenFrame.Get(), frame.Get()));
    EXPECT_EQ(result.cancel, VARIANT_TRUE);
    EXPECT_EQ(result.url, L"http://elsewhere.example/") << "by-reference variants are the browser's own";
    EXPECT_EQ(sink->events[0].types,
              (std::vector<VARTYPE>{VT_BYREF | VT_DISPATCH, VT_DISPATCH, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                    VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
                                    VT_BYREF | VT_BOOL}));
}

TEST_F(ControlTest, TheTwelveBrowserEventsArriveUnderTheirOwnNumbersWithTheirArguments)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    Enable();
    sink->handler = [](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id == kFileDownload || id == kNavigateError || id == kWindowClosing)
            *args.back()->pboolVal = VARIANT_TRUE;
    };
    browser->FireDocumentComplete(nullptr, L"http://a.example/");
    browser->FireDownloadBegin();
    browser->FireDownloadComplete();
    EXPECT_EQ(browser->FireFileDownload(VARIANT_FALSE, VARIANT_TRUE).cancel, VARIANT_TRUE);
    browser->FireNavigateComplete2(nullptr, L"http://a.example/");
    EXPECT_EQ(browser->FireNavigateError(nullptr, L"http://a.example/", L"", 404).cancel, VARIANT_TRUE);
    browser->FireOnFullScreen(VARIANT_TRUE);
    browser->FireProgressChange(5, 10);
    browser->FireTitleChange(L"A page");
    EXPECT_EQ(browser->FireWindowClosing(VARIANT_FALSE).cancel, VARIANT_TRUE);

    const auto byRefBrowser = VT_BYREF | VT_DISPATCH;
    const std::vector<std::pair<DISPID, std::vector<VARTYPE>>> expected = {
        {kDocumentComplete, {byRefBrowser, VT_BYREF | VT_DISPATCH, VT_BYREF | VT_VARIANT}},
        {kDownLoadBegin, {byRefBrowser}},
        {kDownLoadComplete, {byRefBrowser}},
        {kFileDownload, {byRefBrowser, VT_BYREF | VT_BOOL}},
        {kNavigateComplete, {byRefBrowser, VT_DISPATCH, VT_BYREF | VT_VARIANT}},
        {kNavigateError,
         {byRefBrowser, VT_DISPATCH, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT, VT_BYREF | VT_VARIANT,
          VT_BYREF | VT_BOOL}},
        {kOnFullScreen, {byRefBrowser, VT_BOOL}},
        {kProgressChange, {byRefBrowser, VT_I4, VT_I4}},
        {kTitleChange, {byRefBrowser, VT_BSTR}},
        {kWindowClosing, {byRefBrowser, VT_BOOL, VT_BYREF | VT_BOOL}},
    };
    ASSERT_EQ(sink->events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sink->events[i].id, expected[i].first);
        EXPECT_EQ(sink->events[i].types, expected[i].second) << "event " << expected[i].first;
        EXPECT_TRUE(Same(sink->events[i].browser.Get(), browser.Get()));
    }
}

TEST_F(ControlTest, ProgressAndTitleArriveByValueInTheirOrder)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    Enable();
    long progress = 0, progressMax = 0;
    std::wstring title;
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id == kProgressChange) {
            progress = args[1]->lVal;
            progressMax = args[2]->lVal;
        } else if (id == kTitleChange) {
            title = args[1]->bstrVal;
        }
    };
    browser->FireProgressChange(3, 7);
    browser->FireTitleChange(L"Title");
    EXPECT_EQ(progress, 3);
    EXPECT_EQ(progressMax, 7);
    EXPECT_EQ(title, L"Title");
}

TEST_F(ControlTest, ANewWindowIsAnnouncedAfterItIsTrackedAndListedAndARevocationAfterTheRebuild)
{
    const ComPtr<Browser> first = desktop->Open(L"http://a.example/");
    Enable();
    short countAtCreation = -1;
    short countAtDestruction = -1;
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id == kBrowserCreated) {
            countAtCreation = Count();
            EXPECT_EQ(args.size(), 1u);
        } else if (id == kBrowserDestroyed) {
            countAtDestruction = Count();
            EXPECT_TRUE(args.empty());
        }
    };
    const int walks = desktop->Calls().Count(quellix::sim::Call::kNewEnum);
    const ComPtr<Browser> second = desktop->Open(L"http://b.example/");
    ASSERT_EQ(sink->Ids(), (std::vector<DISPID>{kBrowserCreated}));
    EXPECT_TRUE(Same(sink->events[0].browser.Get(), second.Get()));
    EXPECT_EQ(desktop->Calls().Count(quellix::sim::Call::kNewEnum), walks) << "one window joining needs no walk";
    EXPECT_EQ(countAtCreation, 2);
    EXPECT_EQ(second->Subscribers(), 1) << "its events are already forwarded";

    desktop->Revoke(*first.Get());
    EXPECT_EQ(sink->Ids(), (std::vector<DISPID>{kBrowserCreated, kBrowserDestroyed}));
    EXPECT_EQ(countAtDestruction, 1);
    EXPECT_EQ(first->Subscribers(), 0);
}

TEST_F(ControlTest, EveryNewWindowIsAnnouncedOnceInTheShellsOrderATabToo)
{
    const HWND shared = reinterpret_cast<HWND>(0x1234);
    const ComPtr<Browser> tracked = desktop->Open(L"http://a.example/", shared);
    Enable();

    // A new tab shares its frame's window handle: a new browser all the same.
    const ComPtr<Browser> tab = desktop->Open(L"http://tab.example/", shared);
    ASSERT_EQ(sink->Ids(), (std::vector<DISPID>{kBrowserCreated}));
    EXPECT_TRUE(Same(sink->events[0].browser.Get(), tab.Get()));
    EXPECT_EQ(tab->Subscribers(), 1);
    EXPECT_EQ(Count(), 2);

    // Two new windows in the list when a registration is handled: a listener ahead of the
    // control registers the second while the first is being announced.
    const ComPtr<Browser> first = desktop->Create(L"http://b.example/");
    const ComPtr<Browser> second = desktop->Create(L"http://c.example/");
    Enable(false);
    sink->events.clear();
    const ComPtr<EventSink> ahead = quellix::MakeCom<EventSink>();
    const DWORD cookie = Connect(ListObject(), DIID_DShellWindowsEvents, ahead.Get());
    ASSERT_NE(cookie, 0u);
    ahead->handler = [&](DISPID id, std::vector<VARIANTARG*>&) {
        if (id == DISPID_WINDOWREGISTERED && second->Subscribers() == 0 && ahead->events.size() == 1)
            desktop->Register(*second.Get());
    };
    Enable();
    desktop->Register(*first.Get());
    Disconnect(ListObject(), DIID_DShellWindowsEvents, cookie);

    ASSERT_EQ(sink->Ids(), (std::vector<DISPID>{kBrowserCreated, kBrowserCreated}));
    EXPECT_TRUE(Same(sink->events[0].browser.Get(), first.Get()));
    EXPECT_TRUE(Same(sink->events[1].browser.Get(), second.Get()));
    EXPECT_EQ(second->Subscribers(), 1);
    EXPECT_EQ(tab->Subscribers(), 1);
    EXPECT_EQ(Count(), 4);
}

// Every argument of the browser's events lands in its own slot and writes back to the
// browser's own storage, however many of them share a type.
TEST_F(ControlTest, EachArgumentOfEachEventKeepsItsSlot)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    Enable();
    std::map<DISPID, std::vector<std::wstring>> seen;
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        for (std::size_t i = 1; i < args.size(); ++i) {
            VARIANT* value = args[i]->vt == (VT_BYREF | VT_VARIANT) ? args[i]->pvarVal : args[i];
            quellix::UniqueVariant text;
            if ((value->vt & VT_TYPEMASK) != VT_DISPATCH)
                VariantChangeType(&text, value, 0, VT_BSTR);
            seen[id].push_back(text.vt == VT_BSTR && text.bstrVal ? text.bstrVal : L"?");
            if (args[i]->vt == (VT_BYREF | VT_VARIANT)) {
                VariantClear(value);
                value->vt = VT_BSTR;
                value->bstrVal = SysAllocString((L"back" + std::to_wstring(i)).c_str());
            }
        }
    };
    // As the browser lays them out, last first, each with a value of its own; the variants
    // by reference to storage here.
    const struct {
        DISPID event;
        DISPID raised;
        std::vector<std::wstring> values;  // first to last; "&" in front: by reference
    } cases[] = {
        {DISPID_BEFORENAVIGATE2, kBrowserNavigating, {L"&url", L"&flags", L"&frame", L"&post", L"&headers"}},
        {DISPID_NAVIGATEERROR, kNavigateError, {L"&url", L"&frame", L"&status"}},
        {DISPID_DOCUMENTCOMPLETE, kDocumentComplete, {L"&url"}},
        {DISPID_NAVIGATECOMPLETE2, kNavigateComplete, {L"&url"}},
        {DISPID_PROGRESSCHANGE, kProgressChange, {L"3", L"7"}},
        {DISPID_TITLECHANGE, kTitleChange, {L"title"}},
    };
    for (const auto& c : cases) {
        std::vector<quellix::UniqueVariant> storage(c.values.size());
        std::vector<VARIANT> args;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        if (c.event == DISPID_BEFORENAVIGATE2 || c.event == DISPID_NAVIGATEERROR)
            args.push_back(quellix::ByRef(&cancel));
        for (std::size_t i = c.values.size(); i-- > 0;) {
            const bool byRef = c.values[i].starts_with(L"&");
            VARIANT& value = byRef ? storage[i] : (args.emplace_back(), args.back());
            if (c.event == DISPID_PROGRESSCHANGE) {
                value.vt = VT_I4;
                value.lVal = std::stol(c.values[i]);
            } else {
                value.vt = VT_BSTR;
                value.bstrVal = SysAllocString(c.values[i].c_str() + (byRef ? 1 : 0));
            }
            if (byRef)
                args.push_back(quellix::ByRef(static_cast<VARIANT*>(&storage[i])));
        }
        if (c.event != DISPID_PROGRESSCHANGE && c.event != DISPID_TITLECHANGE)
            args.push_back(quellix::ByVal(static_cast<IDispatch*>(static_cast<IWebBrowser2*>(browser.Get()))));
        EXPECT_EQ(browser->Fire(c.event, args.data(), static_cast<UINT>(args.size())), S_OK);
        std::vector<std::wstring> expected;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            expected.push_back(c.values[i].starts_with(L"&") ? c.values[i].substr(1) : c.values[i]);
            if (c.values[i].starts_with(L"&")) {
                EXPECT_EQ(storage[i].bstrVal, L"back" + std::to_wstring(i + 2)) << c.raised << ": " << c.values[i];
            }
        }
        if (c.event != DISPID_PROGRESSCHANGE && c.event != DISPID_TITLECHANGE)
            expected.insert(expected.begin(), L"?");  // pDisp, an object
        if (c.event == DISPID_BEFORENAVIGATE2 || c.event == DISPID_NAVIGATEERROR)
            expected.push_back(L"0");  // Cancel
        EXPECT_EQ(seen[c.raised], expected) << c.raised;
        for (VARIANT& arg : args) {
            if (arg.vt == VT_BSTR)  // the browser is only lent
                VariantClear(&arg);
        }
    }
}

TEST_F(ControlTest, WindowsSharingOneHandleAreAllTrackedListedAndKeptApart)
{
    const HWND shared = reinterpret_cast<HWND>(0x4321);
    const ComPtr<Browser> a = desktop->Open(L"http://a.example/", shared);
    const ComPtr<Browser> b = desktop->Open(L"http://b.example/", shared);
    const ComPtr<Browser> c = desktop->Open(L"http://c.example/", shared);
    Enable();
    EXPECT_EQ(Count(), 3);
    c->FireDownloadBegin();
    a->FireDownloadBegin();
    ASSERT_EQ(sink->events.size(), 2u);
    EXPECT_TRUE(Same(sink->events[0].browser.Get(), c.Get()));
    EXPECT_TRUE(Same(sink->events[1].browser.Get(), a.Get()));
}

TEST_F(ControlTest, TheListEnumeratesAndIndexesLikeACollection)
{
    const ComPtr<Browser> first = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> second = desktop->Open(L"http://b.example/");
    Enable();
    const ComPtr<_cBrowsers> list = List();

    // Late bound: the default member and the enumerator, by their dispatch identifiers.
    VARIANT index;
    index.vt = VT_I2;
    index.iVal = 2;
    quellix::UniqueVariant item;
    ASSERT_EQ(InvokeById(list.Get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {index}, &item), S_OK);
    ASSERT_EQ(item.vt, VT_DISPATCH);
    EXPECT_TRUE(Same(item.pdispVal, second.Get()));

    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"1");
    ComPtr<IWebBrowser2> none;
    // The errors of a keyed collection, as hosts written against one expect them.
    EXPECT_EQ(list->Item(&text, &none), MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 5))
        << "a text finds nothing, even one that reads as a number: invalid procedure call or argument";
    VariantClear(&text);
    index.iVal = 3;
    EXPECT_EQ(list->Item(&index, &none), MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 9)) << "subscript out of range";

    quellix::UniqueVariant enumerator;
    ASSERT_EQ(InvokeById(list.Get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &enumerator), S_OK);
    ComPtr<IEnumVARIANT> walk;
    ASSERT_EQ(enumerator.punkVal->QueryInterface(IID_PPV_ARGS(&walk)), S_OK);

    // A rebuild puts a new list in place; the walk goes on over the old one.
    desktop->Revoke(*first.Get());
    std::vector<ComPtr<IDispatch>> seen;
    quellix::UniqueVariant next;
    while (walk->Next(1, next.put(), nullptr) == S_OK)
        seen.push_back(next.pdispVal);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(Same(seen[0].Get(), first.Get()));
    EXPECT_EQ(Count(), 1);
}

TEST_F(ControlTest, AHostBindsByDispatchIdentifierAndByName)
{
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(control.As(&dispatch), S_OK);
    VARIANT on;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    ASSERT_EQ(InvokeById(dispatch.Get(), kDispidEnabled, DISPATCH_PROPERTYPUT, {on}, nullptr), S_OK);
    quellix::UniqueVariant value;
    ASSERT_EQ(InvokeById(dispatch.Get(), kDispidEnabled, DISPATCH_PROPERTYGET, {}, &value), S_OK);
    EXPECT_EQ(value.vt, VT_BOOL);
    EXPECT_EQ(value.boolVal, VARIANT_TRUE);
    EXPECT_EQ(InvokeById(dispatch.Get(), kDispidRefresh, DISPATCH_METHOD, {}, nullptr), S_OK);
    quellix::UniqueVariant list;
    ASSERT_EQ(InvokeById(dispatch.Get(), kDispidBrowsers, DISPATCH_PROPERTYGET, {}, &list), S_OK);
    EXPECT_EQ(list.vt, VT_DISPATCH);

    // Any non-zero value counts as True.
    VARIANT one;
    one.vt = VT_BOOL;
    one.boolVal = 1;
    Enable(false);
    ASSERT_EQ(InvokeById(dispatch.Get(), kDispidEnabled, DISPATCH_PROPERTYPUT, {one}, nullptr), S_OK);
    EXPECT_TRUE(Enabled());

    const struct {
        const wchar_t* name;
        DISPID id;
    } names[] = {{L"Enabled", kDispidEnabled}, {L"Refresh", kDispidRefresh}, {L"Browsers", kDispidBrowsers}};
    for (const auto& [name, id] : names) {
        DISPID found = 0;
        LPOLESTR text = const_cast<LPOLESTR>(name);
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &text, 1, LOCALE_USER_DEFAULT, &found), S_OK);
        EXPECT_EQ(found, id);
    }
    ComPtr<IDispatch> listDispatch;
    ASSERT_EQ(List().As(&listDispatch), S_OK);
    DISPID count = 0;
    LPOLESTR countName = const_cast<LPOLESTR>(L"Count");
    EXPECT_EQ(listDispatch->GetIDsOfNames(IID_NULL, &countName, 1, LOCALE_USER_DEFAULT, &count), S_OK);
    EXPECT_EQ(count, kDispidCount);
}

TEST_F(ControlTest, PersistenceWritesOnlyEnabledAndNothingIsReadBack)
{
    class Bag final : public quellix::ComObject<IPropertyBag> {
    public:
        std::vector<std::pair<std::wstring, VARIANT>> written;
        STDMETHODIMP QueryInterface(REFIID riid, void** object) override
        {
            if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
                *object = static_cast<IPropertyBag*>(this);
                AddRef();
                return S_OK;
            }
            *object = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
        {
            if (std::wstring(name) != L"Enabled")
                return E_INVALIDARG;
            value->vt = VT_BOOL;
            value->boolVal = VARIANT_TRUE;
            return S_OK;
        }
        STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override
        {
            written.emplace_back(name, *value);
            return S_OK;
        }
    };
    ComPtr<IPersistPropertyBag> persist;
    ASSERT_EQ(control.As(&persist), S_OK);
    const ComPtr<Bag> bag = quellix::MakeCom<Bag>();
    ASSERT_EQ(persist->Save(bag.Get(), TRUE, TRUE), S_OK);
    Enable();
    ASSERT_EQ(persist->Save(bag.Get(), TRUE, TRUE), S_OK);
    ASSERT_EQ(bag->written.size(), 2u);
    EXPECT_EQ(bag->written[0].first, L"Enabled");
    EXPECT_EQ(bag->written[0].second.vt, VT_BOOL);
    EXPECT_EQ(bag->written[0].second.boolVal, VARIANT_FALSE);
    EXPECT_EQ(bag->written[1].second.boolVal, VARIANT_TRUE);

    // A control loaded from a bag that says True starts off all the same.
    const ComPtr<IPersistPropertyBag> loaded = ocx.Create<IPersistPropertyBag>();
    ASSERT_EQ(loaded->Load(bag.Get(), nullptr), S_OK);
    ComPtr<_IEEvents> again;
    ASSERT_EQ(loaded.As(&again), S_OK);
    VARIANT_BOOL enabled = VARIANT_TRUE;
    again->get_Enabled(&enabled);
    EXPECT_EQ(enabled, VARIANT_FALSE);

    // In a stream that holds more after it, loading takes what saving wrote, and no more.
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ComPtr<IPersistStreamInit> streamed;
    ASSERT_EQ(control.As(&streamed), S_OK);
    ASSERT_EQ(streamed->Save(stream.Get(), TRUE), S_OK);
    const DWORD next = 0x4E455854;
    ASSERT_EQ(stream->Write(&next, sizeof next, nullptr), S_OK);
    ASSERT_EQ(stream->Seek({}, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(ocx.Create<IPersistStreamInit>()->Load(stream.Get()), S_OK);
    DWORD read = 0;
    ASSERT_EQ(stream->Read(&read, sizeof read, nullptr), S_OK);
    EXPECT_EQ(read, next);
}

TEST_F(ControlTest, TheClassFactoryMakesOnlyTheControlAndItNamesItsEventSet)
{
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto get =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(ocx.Module(), "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(get(kClsidCBrowsers, IID_PPV_ARGS(&factory)), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(get(IID_IUnknown, IID_PPV_ARGS(&factory)), CLASS_E_CLASSNOTAVAILABLE);

    ComPtr<IProvideClassInfo2> info;
    ASSERT_EQ(control.As(&info), S_OK);
    GUID events{};
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_EQ(events, kDiidIEEventsEvents);
    ComPtr<ITypeInfo> classInfo;
    ASSERT_EQ(info->GetClassInfo(&classInfo), S_OK);
    TYPEATTR* attributes = nullptr;
    classInfo->GetTypeAttr(&attributes);
    EXPECT_EQ(attributes->guid, kClsidIEEvents);
    classInfo->ReleaseTypeAttr(attributes);

    // One identity whatever interface it is reached through.
    ComPtr<IUnknown> a, b;
    control.As(&a);
    ComPtr<IOleObject> ole;
    control.As(&ole);
    ole.As(&b);
    EXPECT_EQ(a, b);
}

// --- Events that arrive while a host handler runs ----------------------------------------

TEST_F(ControlTest, AHostThatClosesTheBrowserInsideItsHandlerIsSafe)
{
    const ComPtr<Browser> opener = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> popup = desktop->Open(L"http://popup.example/");
    Enable();
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id == kNewWindow) {
            // The shell revokes it at once, inside this call: the tracker rebuilds and drops
            // the very sink that is delivering this event.
            popup->Quit();
            *args[2]->pboolVal = VARIANT_TRUE;
        }
    };
    EXPECT_EQ(popup->FireNewWindow2().cancel, VARIANT_TRUE);
    EXPECT_EQ(sink->Ids(), (std::vector<DISPID>{kNewWindow, kBrowserDestroyed}));
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(popup->Subscribers(), 0);
    opener->FireDownloadBegin();
    EXPECT_EQ(sink->events.size(), 3u);
}

TEST_F(ControlTest, ANestedEventLeavesTheOuterHandlerItsOwnBrowser)
{
    const ComPtr<Browser> a = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> b = desktop->Open(L"http://b.example/");
    Enable();
    ComPtr<IDispatch> outerAfterNested;
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id == kNewWindow) {
            b->FireTitleChange(L"nested");
            outerAfterNested = *args[0]->ppdispVal;
        }
    };
    a->FireNewWindow2();
    EXPECT_EQ(sink->Ids(), (std::vector<DISPID>{kNewWindow, kTitleChange}));
    EXPECT_TRUE(Same(sink->events[0].browser.Get(), a.Get()));
    EXPECT_TRUE(Same(outerAfterNested.Get(), a.Get()));
    EXPECT_TRUE(Same(sink->events[1].browser.Get(), b.Get()));
}

TEST_F(ControlTest, AHostMaySwitchOffOrLetGoOfTheControlInsideAHandler)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    Enable();
    const ComPtr<EventSink> next = quellix::MakeCom<EventSink>();  // a second host, served after
    ASSERT_NE(Connect(control.Get(), kDiidIEEventsEvents, next.Get()), 0u);
    int listSubscribersWhenOff = -1;
    ULONG nextReferencesWhenLetGo = 0;
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>& args) {
        if (id == kNewWindow) {
            control->put_Enabled(VARIANT_FALSE);
            listSubscribersWhenOff = desktop->ListSubscribers();
            *args[2]->pboolVal = VARIANT_TRUE;
        } else if (id == kDownLoadBegin) {
            control.Reset();  // the host's last reference
            next->AddRef();
            nextReferencesWhenLetGo = next->Release();
        }
    };
    EXPECT_EQ(browser->FireNewWindow2().cancel, VARIANT_TRUE);
    EXPECT_EQ(listSubscribersWhenOff, 0) << "off lets go of the window list at once, even inside a handler";
    EXPECT_EQ(browser->Subscribers(), 0);
    EXPECT_EQ(browser->FireDownloadBegin(), S_OK);

    Enable();
    browser->FireDownloadBegin();
    EXPECT_FALSE(control);
    EXPECT_EQ(nextReferencesWhenLetGo, 2u) << "the control, and so its hold on the next host, outlives the call";
    EXPECT_EQ(next->Ids(), (std::vector<DISPID>{kNewWindow, kDownLoadBegin}));
    EXPECT_EQ(browser->Subscribers(), 0);
    EXPECT_EQ(desktop->ListSubscribers(), 0);
}

TEST_F(ControlTest, AWindowThatJoinsWhileSwitchingOnFindsTheControlOnAndObeyed)
{
    const ComPtr<Browser> early = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> late = desktop->Create(L"http://b.example/");
    // It registers while the control reads the first window's handle.
    desktop->Calls().During(quellix::sim::Call::kHwnd, [&] { desktop->Register(*late.Get()); });
    bool onWhenAnnounced = false;
    sink->handler = [&](DISPID id, std::vector<VARIANTARG*>&) {
        if (id != kBrowserCreated)
            return;
        onWhenAnnounced = Enabled();
        control->put_Enabled(VARIANT_FALSE);  // and on again: one tracker, not two
        control->put_Enabled(VARIANT_TRUE);
    };
    Enable();
    EXPECT_TRUE(onWhenAnnounced);
    EXPECT_EQ(sink->Ids(), (std::vector<DISPID>{kBrowserCreated}));
    EXPECT_EQ(desktop->ListSubscribers(), 1);
    EXPECT_EQ(early->Subscribers(), 1);
    EXPECT_EQ(late->Subscribers(), 1);
    EXPECT_TRUE(Same(sink->events[0].browser.Get(), late.Get()));
    ASSERT_EQ(Count(), 2);
    EXPECT_TRUE(Same(ItemAt(1).Get(), early.Get()));
    EXPECT_TRUE(Same(ItemAt(2).Get(), late.Get()));
}

TEST_F(ControlTest, ABrowserThatClosesWhileSwitchingOnIsPassedOverAndTheRestAreWatched)
{
    const ComPtr<Browser> gone = desktop->Open(L"http://a.example/");
    const ComPtr<Browser> alive = desktop->Open(L"http://b.example/");
    gone->Vanish();
    EXPECT_EQ(control->put_Enabled(VARIANT_TRUE), S_OK);
    EXPECT_TRUE(Enabled());
    EXPECT_EQ(desktop->ListSubscribers(), 1);
    EXPECT_EQ(alive->Subscribers(), 1);
    EXPECT_EQ(Count(), 1);

    // The list holds one window more than the control watches, and the last is one it
    // watches already (one joined and left at once): no second sink, no announcement.
    const ComPtr<Browser> brief = desktop->Create(L"http://c.example/");
    desktop->Calls().During(quellix::sim::Call::kCount, [&] { desktop->Revoke(*brief.Get()); });
    desktop->Register(*brief.Get());
    EXPECT_EQ(sink->Ids(), std::vector<DISPID>{kBrowserDestroyed});
    EXPECT_EQ(alive->Subscribers(), 1);
}

TEST_F(ControlTest, SwitchedOffAndOnWhileItSubscribesToTheWindowListTheControlEndsWithOneSubscription)
{
    const ComPtr<Browser> browser = desktop->Open(L"http://a.example/");
    desktop->Calls().During(quellix::sim::Call::kAdvise, [&] {
        control->put_Enabled(VARIANT_FALSE);
        control->put_Enabled(VARIANT_TRUE);
    });
    Enable();
    EXPECT_TRUE(Enabled());
    EXPECT_EQ(desktop->ListSubscribers(), 1) << "the subscription made meanwhile, not the replaced one";
    EXPECT_EQ(browser->Subscribers(), 1);
    const ComPtr<Browser> late = desktop->Open(L"http://b.example/");
    EXPECT_EQ(sink->Ids(), std::vector<DISPID>{kBrowserCreated});
}

// The shell's process ends while the control asks its list about a window that joined: the
// control switches itself off and tells the container; switched on once a new shell runs,
// it follows the new shell's list.
TEST_F(ControlTest, WhenTheShellEndsTheControlSwitchesOffAndOnAgainFollowsTheNewShell)
{
    const ComPtr<PropertySink> properties = quellix::MakeCom<PropertySink>();
    ASSERT_NE(Connect(control.Get(), IID_IPropertyNotifySink, properties.Get()), 0u);
    for (const HRESULT gone : {RPC_E_DISCONNECTED, HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)}) {
        const ComPtr<Browser> old = desktop->Open(L"http://old.example/");
        Enable();
        const int notified = properties->changed[kDispidEnabled];
        desktop->Calls().During(quellix::sim::Call::kCount, [&] { desktop->EndShell(gone); });
        desktop->Open(L"http://b.example/");
        EXPECT_EQ(properties->changed[kDispidEnabled], notified + 1) << gone;
        EXPECT_FALSE(Enabled()) << gone;
        EXPECT_EQ(old->Subscribers(), 0);
        EXPECT_EQ(control->put_Enabled(VARIANT_TRUE), CO_E_SERVER_EXEC_FAILURE) << "no shell runs";

        desktop->RestartShell();
        sink->events.clear();
        Enable();
        EXPECT_EQ(desktop->ListSubscribers(), 1);
        const ComPtr<Browser> later = desktop->Open(L"http://later.example/");
        later->FireNewWindow2();
        ASSERT_EQ(sink->Ids(), (std::vector<DISPID>{kBrowserCreated, kNewWindow})) << gone;
        EXPECT_TRUE(Same(sink->events[0].browser.Get(), later.Get()));
        Enable(false);
    }

    // The shell restarts while switching on walks its list, and the host switches the
    // control off and on from inside that call (a message let in while it waits): the
    // control is on, and switching on succeeded.
    desktop->Calls().During(quellix::sim::Call::kNewEnum, [&] {
        desktop->EndShell();
        desktop->RestartShell();
        control->put_Enabled(VARIANT_FALSE);
        control->put_Enabled(VARIANT_TRUE);
    });
    EXPECT_EQ(control->put_Enabled(VARIANT_TRUE), S_OK);
    EXPECT_TRUE(Enabled());
    EXPECT_EQ(desktop->ListSubscribers(), 1);
}

}  // namespace
}  // namespace tessaly::test
