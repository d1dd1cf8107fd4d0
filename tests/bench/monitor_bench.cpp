// Timing program for tessaly.ocx under Wine (run by `make bench`):
//  - window-handle reads per window registration, against what reading every tracked
//    browser's handle for every listed window would cost;
//  - a NewWindow event's round trip from the browser through sink, tracker and control to
//    a host handler and back with Cancel, against two bare IDispatch::Invoke calls.
#include <windows.h>
#include <exdisp.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "monitor/tessaly.h"
#include "tests/monitor/host.h"
#include "tests/monitor/ocx.h"
#include "tests/sim/desktop.h"

using quellix::ComPtr;
using quellix::sim::Browser;

namespace {

// The least a sink can do: pass the call on to the host.
class Forwarder final : public quellix::ComObject<IDispatch> {
public:
    Forwarder(IDispatch* host, DISPPARAMS* params) : m_host(host), m_params(params) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (riid != IID_IUnknown && riid != IID_IDispatch)
            return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return m_host->Invoke(tessaly::kNewWindow, IID_NULL, 0, DISPATCH_METHOD, m_params, nullptr, nullptr, nullptr);
    }

private:
    IDispatch* m_host;
    DISPPARAMS* m_params;
};

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void HandleReads(const tessaly::test::Ocx& ocx)
{
    std::printf("HWND reads per window registration (new window last in the list):\n");
    std::printf("%8s %12s %16s\n", "windows", "measured", "read-every-pair");
    for (const long windows : {10L, 100L, 1000L}) {
        quellix::sim::Desktop desktop;
        std::vector<ComPtr<Browser>> browsers;
        for (long i = 0; i + 1 < windows; ++i)
            browsers.push_back(desktop.Open(L"http://site.example/" + std::to_wstring(i)));
        const ComPtr<_IEEvents> control = ocx.Create<_IEEvents>();
        control->put_Enabled(VARIANT_TRUE);

        const ComPtr<Browser> fresh = desktop.Create(L"http://new.example/");
        for (const ComPtr<Browser>& browser : browsers)
            browser->ResetCounters();
        desktop.Register(*fresh.Get());
        long reads = fresh->HwndReads();
        for (const ComPtr<Browser>& browser : browsers)
            reads += browser->HwndReads();
        // Finding the new window by comparing each listed window with every tracked one is
        // windows x windows reads; the rebuild then reads each handle for its key and once
        // more to store it.
        const long naive = windows * windows + 2 * windows;
        std::printf("%8ld %12ld %16ld\n", windows, reads, naive);
        control->put_Enabled(VARIANT_FALSE);
    }
}

void RoundTrip(const tessaly::test::Ocx& ocx)
{
    constexpr int kEvents = 20'000;
    quellix::sim::Desktop desktop;
    const ComPtr<Browser> browser = desktop.Open(L"http://a.example/");

    // The host: sets Cancel, as the program does for a pop-up.
    const ComPtr<tessaly::test::EventSink> host = quellix::MakeCom<tessaly::test::EventSink>();
    host->handler = [](DISPID, std::vector<VARIANTARG*>& args) { *args.back()->pboolVal = VARIANT_TRUE; };

    // The minimum: the browser invokes a sink, and one more Invoke reaches the host.
    double bare = 0;
    {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        IDispatch* target = nullptr;
        VARIANTARG args[3];
        args[0].vt = VT_BYREF | VT_BOOL;
        args[0].pboolVal = &cancel;
        args[1].vt = VT_BYREF | VT_DISPATCH;
        args[1].ppdispVal = &target;
        args[2].vt = VT_BYREF | VT_DISPATCH;
        args[2].ppdispVal = &target;
        DISPPARAMS params{args, nullptr, 3, 0};
        const ComPtr<Forwarder> direct = quellix::MakeCom<Forwarder>(host.Get(), &params);
        const DWORD cookie = tessaly::test::Connect(static_cast<IWebBrowser2*>(browser.Get()),
                                                    DIID_DWebBrowserEvents2, direct.Get());
        const double start = Seconds();
        for (int i = 0; i < kEvents; ++i) {
            browser->FireNewWindow2();
            if (host->events.size() > 1000)
                host->events.clear();
        }
        bare = Seconds() - start;
        tessaly::test::Disconnect(static_cast<IWebBrowser2*>(browser.Get()), DIID_DWebBrowserEvents2, cookie);
        host->events.clear();
    }

    const ComPtr<_IEEvents> control = ocx.Create<_IEEvents>();
    tessaly::test::Connect(control.Get(), tessaly::kDiidIEEventsEvents, host.Get());
    control->put_Enabled(VARIANT_TRUE);
    const double start = Seconds();
    VARIANT_BOOL last = VARIANT_FALSE;
    for (int i = 0; i < kEvents; ++i) {
        last = browser->FireNewWindow2().cancel;
        if (host->events.size() > 1000)
            host->events.clear();
    }
    const double full = Seconds() - start;
    control->put_Enabled(VARIANT_FALSE);

    std::printf("\nNewWindow round trip (%d events, Cancel written back: %s):\n", kEvents,
                last == VARIANT_TRUE ? "yes" : "NO");
    std::printf("  through the control:   %8.0f events/s  (%.2f us each)\n", kEvents / full, full * 1e6 / kEvents);
    std::printf("  two bare Invokes:      %8.0f events/s  (%.2f us each)\n", kEvents / bare, bare * 1e6 / kEvents);
    std::printf("  ratio:                 %.2fx\n", full / bare);
}

}  // namespace

int main()
{
    tessaly::test::Apartment apartment;
    const tessaly::test::Ocx ocx;
    HandleReads(ocx);
    RoundTrip(ocx);
    return 0;
}
