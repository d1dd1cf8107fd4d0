#include <exdispid.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "base/event_subscription.h"
#include "tests/sim/desktop.h"

namespace quellix::sim {
namespace {

// COM on the test's thread, up before and down after everything else the fixture holds.
class Apartment {
public:
    Apartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~Apartment()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT Status() const { return m_hr; }

private:
    HRESULT m_hr;
};

// An event subscriber that records each call and may act from inside it.
class Recorder final : public ComObject<IDispatch> {
public:
    struct Call {
        DISPID id;
        WORD flags;
        std::vector<VARTYPE> types;  // in rgvarg order
        long firstLong;              // rgvarg[0] when it is a VT_I4
    };
    std::vector<Call> calls;
    std::function<void(DISPID, DISPPARAMS&)> onCall;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB interfaces[] = {QITABENT(Recorder, IDispatch), {}};
        return QISearch(this, interfaces, riid, object);
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        Call call{id, flags, {}, 0};
        for (UINT i = 0; i < params->cArgs; ++i)
            call.types.push_back(V_VT(&params->rgvarg[i]));
        if (params->cArgs > 0 && V_VT(&params->rgvarg[0]) == VT_I4)
            call.firstLong = V_I4(&params->rgvarg[0]);
        calls.push_back(call);
        if (onCall)
            onCall(id, *params);
        return S_OK;
    }
};

template <typename T>
ComPtr<IConnectionPoint> PointOf(const ComPtr<T>& object, REFIID events)
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(object.As(&container)))
        container->FindConnectionPoint(events, &point);
    return point;
}

std::wstring UrlOf(IDispatch* item)
{
    ComPtr<IWebBrowser2> browser;
    UniqueBstr url;
    if (FAILED(item->QueryInterface(IID_PPV_ARGS(&browser))) || FAILED(browser->get_LocationURL(url.put())))
        return L"?";
    return url.get() ? url.get() : L"";
}

std::vector<std::wstring> Enumerate(IEnumVARIANT& windows)
{
    std::vector<std::wstring> urls;
    UniqueVariant item;
    while (windows.Next(1, item.put(), nullptr) == S_OK)
        urls.push_back(V_VT(&item) == VT_DISPATCH ? UrlOf(V_DISPATCH(&item)) : L"not a dispatch");
    return urls;
}

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_com.Status(), S_OK); }
    // Catches reference cycles: once the test's own references and the desktop are gone,
    // no stand-in may be left.
    void TearDown() override
    {
        desktop.reset();
        EXPECT_EQ(ModuleCount::Value(), m_objectsBefore);
    }

    ComPtr<IShellWindows> CreateList()
    {
        ComPtr<IShellWindows> list;
        EXPECT_EQ(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&list)), S_OK);
        return list;
    }

    Apartment m_com;
    const long m_objectsBefore = ModuleCount::Value();
    std::optional<Desktop> desktop{std::in_place};
};

TEST_F(SimTest, EveryCoCreateInstanceGetsTheDesktopsOneList)
{
    IUnknown* const theList = static_cast<IShellWindows*>(&desktop->List());
    const DWORD contexts[] = {CLSCTX_ALL, CLSCTX_LOCAL_SERVER, CLSCTX_INPROC_SERVER};
    for (const DWORD context : contexts) {
        ComPtr<IUnknown> list;
        ASSERT_EQ(CoCreateInstance(CLSID_ShellWindows, nullptr, context, IID_PPV_ARGS(&list)), S_OK) << context;
        EXPECT_EQ(list.Get(), theList) << context;
    }
    EXPECT_EQ(desktop->ListCreations(), 3);
    EXPECT_THROW(Desktop second, std::logic_error);

    // The next test's desktop must be the one that answers.
    desktop.reset();
    desktop.emplace();
    const ComPtr<IShellWindows> list = CreateList();
    EXPECT_EQ(static_cast<IUnknown*>(list.Get()), static_cast<IShellWindows*>(&desktop->List()));
    EXPECT_EQ(desktop->ListCreations(), 1);
}

TEST_F(SimTest, EnumerationIsASnapshotInRegistrationOrder)
{
    const auto a = desktop->Open(L"http://a/");
    const auto b = desktop->Open(L"http://b/");
    const auto c = desktop->Open(L"http://c/");
    const ComPtr<IShellWindows> list = CreateList();
    ComPtr<IUnknown> unknown;
    ComPtr<IEnumVARIANT> before;
    ASSERT_EQ(list->_NewEnum(&unknown), S_OK);
    ASSERT_EQ(unknown.As(&before), S_OK);

    desktop->Revoke(*b.Get());
    const auto d = desktop->Open(L"http://d/");
    desktop->Create(L"http://frame/");

    EXPECT_EQ(Enumerate(*before.Get()), (std::vector<std::wstring>{L"http://a/", L"http://b/", L"http://c/"}));
    ComPtr<IEnumVARIANT> after;
    ASSERT_EQ(list->_NewEnum(&unknown), S_OK);
    ASSERT_EQ(unknown.As(&after), S_OK);
    EXPECT_EQ(Enumerate(*after.Get()), (std::vector<std::wstring>{L"http://a/", L"http://c/", L"http://d/"}));

    LONG count = 0;
    ASSERT_EQ(list->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    VARIANT position;
    V_VT(&position) = VT_I4;
    V_I4(&position) = 1;
    ComPtr<IDispatch> item;
    ASSERT_EQ(list->Item(position, &item), S_OK);
    EXPECT_EQ(UrlOf(item.Get()), L"http://c/");
    V_I4(&position) = 3;
    EXPECT_EQ(list->Item(position, &item), S_FALSE);
    EXPECT_FALSE(item);
}

// The product rebuilds its subscription from inside the list's own events.
TEST_F(SimTest, ASubscriberMayResubscribeFromInsideItsHandler)
{
    const ComPtr<IConnectionPoint> point = PointOf(CreateList(), DIID_DShellWindowsEvents);
    ASSERT_TRUE(point);
    const auto recorder = MakeCom<Recorder>();
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(recorder.Get(), &cookie), S_OK);
    recorder->onCall = [&](DISPID, DISPPARAMS&) {
        EXPECT_EQ(point->Unadvise(cookie), S_OK);
        EXPECT_EQ(point->Advise(recorder.Get(), &cookie), S_OK);
    };

    const auto a = desktop->Open(L"http://a/");
    const auto b = desktop->Open(L"http://b/");
    desktop->Revoke(*a.Get());
    desktop->Revoke(*a.Get());

    ASSERT_EQ(recorder->calls.size(), 3u);
    for (const Recorder::Call& call : recorder->calls) {
        EXPECT_EQ(call.flags, DISPATCH_METHOD);
        EXPECT_EQ(call.types, std::vector<VARTYPE>{VT_I4});
    }
    EXPECT_EQ(recorder->calls[0].id, DISPID_WINDOWREGISTERED);
    EXPECT_EQ(recorder->calls[1].id, DISPID_WINDOWREGISTERED);
    EXPECT_EQ(recorder->calls[2].id, DISPID_WINDOWREVOKED);
    EXPECT_NE(recorder->calls[0].firstLong, recorder->calls[1].firstLong);
    EXPECT_EQ(recorder->calls[2].firstLong, recorder->calls[0].firstLong);
    EXPECT_EQ(desktop->ListSubscribers(), 1);

    recorder->onCall = nullptr;
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(desktop->ListSubscribers(), 0);
}

// An event subscription made again, or ended, from inside an event that its own Advise let
// in: the later call wins, and no connection is left behind that points at nobody.
TEST_F(SimTest, ASubscriptionRenewedFromInsideItsOwnAdviseKeepsOneConnection)
{
    class Handler final : public ComObject<IEventHandler> {
    public:
        std::function<void()> onEvent;
        int events = 0;
        STDMETHODIMP QueryInterface(REFIID riid, void** object) override
        {
            return QueryUnknownOnly(static_cast<IEventHandler*>(this), riid, object);
        }
        HRESULT OnEvent(DISPID, DISPPARAMS*) override
        {
            ++events;
            if (onEvent)
                onEvent();
            return S_OK;
        }
    };
    const auto browser = desktop->Open(L"http://a/");
    const auto handler = MakeCom<Handler>();
    IUnknown* source = static_cast<IWebBrowser2*>(browser.Get());
    for (const bool renew : {true, false}) {
        EventSubscription subscription;
        desktop->Calls().During(Call::kAdvise, [&] {
            if (renew)
                EXPECT_EQ(subscription.Connect(source, DIID_DWebBrowserEvents2, handler.Get()), S_OK);
            else
                subscription.Disconnect();
        });
        EXPECT_EQ(subscription.Connect(source, DIID_DWebBrowserEvents2, handler.Get()), S_FALSE);
        EXPECT_EQ(browser->Subscribers(), renew ? 1 : 0);
        EXPECT_EQ(subscription.Connected(), renew);
        handler->events = 0;
        browser->FireDownloadBegin();
        EXPECT_EQ(handler->events, renew ? 1 : 0);
    }
    EXPECT_EQ(browser->Subscribers(), 0) << "a subscription ends with its owner";
}

TEST_F(SimTest, QuitRevokesTheBrowserBeforeItReturns)
{
    const auto a = desktop->Open(L"http://a/");
    const auto b = desktop->Open(L"http://b/");
    const auto frame = desktop->Create(L"http://frame/");
    const ComPtr<IShellWindows> list = CreateList();
    const ComPtr<IConnectionPoint> point = PointOf(list, DIID_DShellWindowsEvents);
    const auto recorder = MakeCom<Recorder>();
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(recorder.Get(), &cookie), S_OK);
    LONG countDuringEvent = -1;
    recorder->onCall = [&](DISPID, DISPPARAMS&) { list->get_Count(&countDuringEvent); };

    ASSERT_EQ(a->Quit(), S_OK);
    EXPECT_TRUE(a->Quitted());
    ASSERT_EQ(recorder->calls.size(), 1u);
    EXPECT_EQ(recorder->calls[0].id, DISPID_WINDOWREVOKED);
    EXPECT_EQ(countDuringEvent, 1);

    ASSERT_EQ(frame->Quit(), S_OK);
    EXPECT_EQ(recorder->calls.size(), 1u);
    recorder->onCall = nullptr;
    point->Unadvise(cookie);
}

TEST_F(SimTest, HwndReadsAreCountedAndAVanishedBrowserIsDisconnected)
{
    const auto frame = desktop->Open(L"http://a/");
    const auto tab = desktop->Open(L"http://b/", frame->Hwnd());
    EXPECT_FALSE(IsWindow(frame->Hwnd()));
    EXPECT_NE(desktop->Open(L"http://c/")->Hwnd(), frame->Hwnd());

    SHANDLE_PTR hwnd = 0;
    ASSERT_EQ(tab->get_HWND(&hwnd), S_OK);
    EXPECT_EQ(reinterpret_cast<HWND>(hwnd), frame->Hwnd());
    tab->get_HWND(&hwnd);
    EXPECT_EQ(tab->HwndReads(), 2);
    EXPECT_EQ(frame->HwndReads(), 0);
    tab->ResetCounters();

    tab->Vanish();
    UniqueBstr url;
    EXPECT_EQ(tab->get_HWND(&hwnd), RPC_E_DISCONNECTED);
    EXPECT_EQ(tab->HwndReads(), 1);
    EXPECT_EQ(tab->get_LocationURL(url.put()), RPC_E_DISCONNECTED);
    EXPECT_EQ(tab->Quit(), RPC_E_DISCONNECTED);
    EXPECT_EQ(frame->get_LocationURL(url.put()), S_OK);
}

// What the product's sink reads by position: the layouts of the real browser.
TEST_F(SimTest, BrowserEventsHaveTheRealArgumentLayout)
{
    const auto browser = desktop->Open(L"http://page/");
    const auto recorder = MakeCom<Recorder>();
    const ComPtr<IConnectionPoint> point = PointOf(browser, DIID_DWebBrowserEvents2);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(recorder.Get(), &cookie), S_OK);
    EXPECT_EQ(browser->Subscribers(), 1);

    constexpr VARTYPE kVariantRef = VT_BYREF | VT_VARIANT;
    constexpr VARTYPE kBoolRef = VT_BYREF | VT_BOOL;
    struct Case {
        std::function<void()> fire;
        DISPID id;
        std::vector<VARTYPE> types;  // rgvarg[0] first
    };
    const Case cases[] = {
        {[&] { browser->FireBeforeNavigate2(nullptr, L"http://x/"); },
         DISPID_BEFORENAVIGATE2,
         {kBoolRef, kVariantRef, kVariantRef, kVariantRef, kVariantRef, kVariantRef, VT_DISPATCH}},
        {[&] { browser->FireNewWindow2(); }, DISPID_NEWWINDOW2, {kBoolRef, VT_BYREF | VT_DISPATCH}},
        {[&] { browser->FireNewWindow3(0x6, L"http://page/", L"http://x/"); },
         DISPID_NEWWINDOW3,
         {VT_BSTR, VT_BSTR, VT_I4, kBoolRef, VT_BYREF | VT_DISPATCH}},
        {[&] { browser->FireNavigateComplete2(nullptr, L"http://x/"); },
         DISPID_NAVIGATECOMPLETE2,
         {kVariantRef, VT_DISPATCH}},
        {[&] { browser->FireDocumentComplete(nullptr, L"http://x/"); },
         DISPID_DOCUMENTCOMPLETE,
         {kVariantRef, VT_DISPATCH}},
        {[&] { browser->FireDownloadBegin(); }, DISPID_DOWNLOADBEGIN, {}},
        {[&] { browser->FireDownloadComplete(); }, DISPID_DOWNLOADCOMPLETE, {}},
        {[&] { browser->FireFileDownload(); }, DISPID_FILEDOWNLOAD, {kBoolRef, VT_BOOL}},
        {[&] { browser->FireNavigateError(nullptr, L"http://x/", L"", 404); },
         DISPID_NAVIGATEERROR,
         {kBoolRef, kVariantRef, kVariantRef, kVariantRef, VT_DISPATCH}},
        {[&] { browser->FireOnFullScreen(VARIANT_TRUE); }, DISPID_ONFULLSCREEN, {VT_BOOL}},
        {[&] { browser->FireProgressChange(10, 100); }, DISPID_PROGRESSCHANGE, {VT_I4, VT_I4}},
        {[&] { browser->FireTitleChange(L"Title"); }, DISPID_TITLECHANGE, {VT_BSTR}},
        {[&] { browser->FireWindowClosing(VARIANT_FALSE); }, DISPID_WINDOWCLOSING, {kBoolRef, VT_BOOL}},
    };
    for (const Case& test : cases) {
        recorder->calls.clear();
        test.fire();
        ASSERT_EQ(recorder->calls.size(), 1u) << test.id;
        EXPECT_EQ(recorder->calls[0].id, test.id);
        EXPECT_EQ(recorder->calls[0].flags, DISPATCH_METHOD) << test.id;
        EXPECT_EQ(recorder->calls[0].types, test.types) << test.id;
    }
    // ProgressMax comes first in rgvarg.
    EXPECT_EQ(recorder->calls.size(), 1u);
    browser->FireProgressChange(10, 100);
    EXPECT_EQ(recorder->calls.back().firstLong, 100);
    point->Unadvise(cookie);
}

// As the real browser: NewWindow2, then NewWindow3 unless that was cancelled (and only where
// the browser has it); the new window joins the list before its first navigation, its
// address empty, then navigates.
TEST_F(SimTest, ANewWindowIsAskedForAndMadeAsABrowserDoesIt)
{
    const auto page = desktop->Open(L"http://page/");
    const auto asked = MakeCom<Recorder>(), listed = MakeCom<Recorder>(), made = MakeCom<Recorder>();
    DWORD cookie = 0, listCookie = 0, madeCookie = 0;
    ASSERT_EQ(PointOf(page, DIID_DWebBrowserEvents2)->Advise(asked.Get(), &cookie), S_OK);
    ASSERT_EQ(PointOf(CreateList(), DIID_DShellWindowsEvents)->Advise(listed.Get(), &listCookie), S_OK);
    std::wstring addressWhenListed = L"?";
    ComPtr<IWebBrowser2> window;
    listed->onCall = [&](DISPID id, DISPPARAMS&) {
        long count = 0;
        desktop->List().get_Count(&count);
        VARIANT last;
        V_VT(&last) = VT_I4;
        V_I4(&last) = count - 1;
        ComPtr<IDispatch> item;
        if (id != DISPID_WINDOWREGISTERED || FAILED(desktop->List().Item(last, &item)) || FAILED(item.As(&window)))
            return;
        BSTR url = nullptr;
        window->get_LocationURL(&url);
        addressWhenListed = url ? url : L"";
        SysFreeString(url);
        PointOf(window, DIID_DWebBrowserEvents2)->Advise(made.Get(), &madeCookie);
    };
    const auto ids = [](const Recorder& recorder) {
        std::vector<DISPID> result;
        for (const Recorder::Call& call : recorder.calls)
            result.push_back(call.id);
        return result;
    };

    const WindowRequestResult result = desktop->RequestWindow(page, L"http://x/", {NWMF_USERINITED});
    EXPECT_EQ(ids(*asked.Get()), (std::vector<DISPID>{DISPID_NEWWINDOW2, DISPID_NEWWINDOW3}));
    EXPECT_EQ(asked->calls.back().types[2], VT_I4);
    ASSERT_TRUE(result.window);
    EXPECT_EQ(addressWhenListed, L"") << "listed before its first navigation";
    EXPECT_EQ(ids(*made.Get()),
              (std::vector<DISPID>{DISPID_BEFORENAVIGATE2, DISPID_NAVIGATECOMPLETE2, DISPID_DOCUMENTCOMPLETE}));
    EXPECT_EQ(result.window->Url(), L"http://x/");

    // A cancelled NewWindow2 is the end of it; a browser without NewWindow3 makes the window.
    asked->calls.clear();
    asked->onCall = [](DISPID id, DISPPARAMS& params) {
        if (id == DISPID_NEWWINDOW2)
            *V_BOOLREF(&params.rgvarg[0]) = VARIANT_TRUE;
    };
    EXPECT_FALSE(desktop->RequestWindow(page, L"http://y/").window);
    EXPECT_EQ(ids(*asked.Get()), (std::vector<DISPID>{DISPID_NEWWINDOW2}));
    asked->onCall = nullptr;
    asked->calls.clear();
    EXPECT_TRUE(desktop->RequestWindow(page, L"http://z/", {0, false}).window);
    EXPECT_EQ(ids(*asked.Get()), (std::vector<DISPID>{DISPID_NEWWINDOW2}));
    listed->onCall = nullptr;
}

TEST_F(SimTest, AnswersLeftByReferenceComeBackToTheFiringSide)
{
    const auto browser = desktop->Open(L"http://opener/");
    const auto popup = desktop->Create(L"about:blank");
    IDispatch* const popupDispatch = static_cast<IWebBrowser2*>(popup.Get());
    IDispatch* const browserDispatch = static_cast<IWebBrowser2*>(browser.Get());
    const auto recorder = MakeCom<Recorder>();
    recorder->onCall = [&](DISPID id, DISPPARAMS& params) {
        VARIANT* const arguments = params.rgvarg;
        *V_BOOLREF(&arguments[0]) = VARIANT_TRUE;
        if (id == DISPID_NEWWINDOW2) {
            CopyTo(ComPtr<IDispatch>(popupDispatch), V_DISPATCHREF(&arguments[1]));
        } else if (id == DISPID_BEFORENAVIGATE2) {
            EXPECT_EQ(V_DISPATCH(&arguments[6]), browserDispatch);
            VARIANT* const url = V_VARIANTREF(&arguments[5]);
            ASSERT_EQ(V_VT(url), VT_BSTR);
            EXPECT_STREQ(V_BSTR(url), L"http://next/");
            EXPECT_EQ(V_VT(V_VARIANTREF(&arguments[2])), VT_BYREF | VT_VARIANT);
            VariantClear(url);
            V_VT(url) = VT_BSTR;
            V_BSTR(url) = SysAllocString(L"http://elsewhere/");
        }
    };
    const ComPtr<IConnectionPoint> point = PointOf(browser, DIID_DWebBrowserEvents2);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(recorder.Get(), &cookie), S_OK);

    const NewWindowResult window = browser->FireNewWindow2();
    EXPECT_EQ(window.hr, S_OK);
    EXPECT_EQ(window.cancel, VARIANT_TRUE);
    EXPECT_EQ(window.ppDisp.Get(), popupDispatch);

    const BeforeNavigateResult navigation = browser->FireBeforeNavigate2(nullptr, L"http://next/");
    EXPECT_EQ(navigation.cancel, VARIANT_TRUE);
    EXPECT_EQ(navigation.url, L"http://elsewhere/");

    EXPECT_EQ(browser->FireWindowClosing(VARIANT_FALSE).cancel, VARIANT_TRUE);
    recorder->onCall = nullptr;
    point->Unadvise(cookie);
}

TEST_F(SimTest, ARealWindowHasTheFrameClassAndGoesWithQuit)
{
    const auto browser = desktop->Open(L"http://real/", kRealWindow);
    if (!browser)
        GTEST_SKIP() << "no window could be created (no display?)";
    const HWND hwnd = browser->Hwnd();
    ASSERT_TRUE(IsWindow(hwnd));
    wchar_t text[64] = {};
    GetClassNameW(hwnd, text, ARRAYSIZE(text));
    EXPECT_STREQ(text, L"IEFrame");
    GetWindowTextW(hwnd, text, ARRAYSIZE(text));
    EXPECT_STREQ(text, L"http://real/");
    EXPECT_TRUE(IsWindowVisible(hwnd));

    ASSERT_EQ(browser->Quit(), S_OK);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(SimTest, IDispatchGoesThroughTheBrowsersTypeLibrary)
{
    const auto browser = desktop->Open(L"http://typed/");
    UINT count = 0;
    ASSERT_EQ(browser->GetTypeInfoCount(&count), S_OK);
    if (count == 0)
        GTEST_SKIP() << "the browser's type library (SHDocVw 1.1) is not registered";
    wchar_t name[] = L"LocationURL";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(browser->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPPARAMS none{};
    UniqueVariant result;
    ASSERT_EQ(browser->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                              nullptr),
              S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&result), L"http://typed/");
}

}  // namespace
}  // namespace quellix::sim
