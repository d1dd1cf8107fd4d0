// Timing program for tessaly.ocx under Wine (run by `make bench`), with the control in a
// process of its own (tessaly-host.exe) and the shell's stand-in in this one, as on Windows:
//  - calls into the shell's process per window registration and per revocation, at 1, 10,
//    50 and 200 open windows;
//  - open and close cycles at 50 open windows: time per cycle, and what is left afterwards;
//  - a NewWindow event's round trip from the browser through sink, tracker and control to a
//    host handler and back with Cancel, against two bare IDispatch::Invoke calls (in this
//    process).
//
//   monitor_bench [cycles [other.ocx]]   (10,000 cycles by default; with another build of
//                                         tessaly.ocx, its calls per event too, side by side)
#include <windows.h>
#include <exdisp.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/dispatch.h"
#include "monitor/tessaly.h"
#include "tests/e2e/harness.h"
#include "tests/monitor/host.h"
#include "tests/monitor/ocx.h"

using quellix::ComPtr;
using quellix::e2e::RemoteControl;
using quellix::sim::Browser;
using quellix::sim::Call;

namespace {

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void CallsPerEvent(const std::wstring& ocx, const char* name)
{
    std::printf("Calls into the shell's process per event, %s (the control in another process):\n", name);
    std::printf("%8s %14s %12s %22s\n", "windows", "registration", "revocation", "time: reg.    rev.");
    for (const int windows : {1, 10, 50, 200}) {
        quellix::sim::Desktop desktop;
        std::vector<ComPtr<Browser>> open;
        for (int i = 0; i < windows; ++i)
            open.push_back(desktop.Open(L"http://site" + std::to_wstring(i) + L".example/"));
        RemoteControl control(ocx);
        control.SetEnabled(true);
        const ComPtr<Browser> fresh = desktop.Create(L"http://new.example/");
        desktop.Calls().Reset();
        double start = Seconds();
        desktop.Register(*fresh.Get());
        const double registrationMs = (Seconds() - start) * 1000;
        const long registration = desktop.Calls().Total();
        desktop.Calls().Reset();
        start = Seconds();
        desktop.Revoke(*fresh.Get());
        const double revocationMs = (Seconds() - start) * 1000;
        const long revocation = desktop.Calls().Total();
        std::printf("%8d %14ld %12ld %11.1f ms %5.1f ms\n", windows, registration, revocation, registrationMs,
                    revocationMs);
        control.SetEnabled(false);
        control.End();
    }
}

void Cycles(int cycles)
{
    quellix::sim::Desktop desktop;
    std::vector<ComPtr<Browser>> open;
    for (int i = 0; i < 50; ++i)
        open.push_back(desktop.Open(L"http://site" + std::to_wstring(i) + L".example/"));
    RemoteControl control;
    control.SetEnabled(true);
    const long before = desktop.Subscriptions(open);
    const double start = Seconds();
    for (int i = 0; i < cycles; ++i) {
        const ComPtr<Browser> popup = desktop.Open(L"http://popup.example/" + std::to_wstring(i));
        popup->Quit();
    }
    const double elapsed = Seconds() - start;
    const long after = desktop.Subscriptions(open);
    control.SetEnabled(false);
    const long off = desktop.Subscriptions(open);
    const bool unloadable = control.End();
    std::printf("\n%d open and close cycles at 50 open windows: %.1f ms each; subscriptions %ld before, %ld after, "
                "%ld once switched off; the library %s unloaded at the end\n",
                cycles, elapsed * 1000 / cycles, before, after, off, unloadable ? "could be" : "could NOT be");
}

// The least a sink can do: pass the call on to the host.
class Forwarder final : public quellix::ComObject<IDispatch> {
public:
    Forwarder(IDispatch* host, DISPID id, DISPPARAMS* params) : m_host(host), m_id(id), m_params(params) {}
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
        return m_host->Invoke(m_id, IID_NULL, 0, DISPATCH_METHOD, m_params, nullptr, nullptr, nullptr);
    }

private:
    IDispatch* m_host;
    DISPID m_id;
    DISPPARAMS* m_params;
};

// NewWindow, or NewWindow3 through the control's second event set, from the browser to a host
// that sets Cancel, next to the least it could cost.
void RoundTrip(bool newWindow3)
{
    constexpr int kEvents = 20'000;
    const tessaly::test::Ocx ocx(quellix::e2e::ProgramFolder() + L"\\tessaly.ocx");
    quellix::sim::Desktop desktop;
    const ComPtr<Browser> browser = desktop.Open(L"http://a.example/");
    const auto fire = [&] {
        return newWindow3 ? browser->FireNewWindow3(0, L"http://a.example/", L"http://ads.example/").cancel
                          : browser->FireNewWindow2().cancel;
    };

    // The host: sets Cancel (third in both events), as the program does for a pop-up.
    const ComPtr<tessaly::test::EventSink> host = quellix::MakeCom<tessaly::test::EventSink>();
    host->handler = [](DISPID, std::vector<VARIANTARG*>& args) { *args[2]->pboolVal = VARIANT_TRUE; };

    // The minimum: the browser invokes a sink, and one more Invoke reaches the host.
    double bare = 0;
    {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        IDispatch* target = nullptr;
        VARIANTARG args[6] = {quellix::ByVal<BSTR>(nullptr), quellix::ByVal<BSTR>(nullptr), quellix::ByVal<LONG>(0),
                              quellix::ByRef(&cancel),       quellix::ByRef(&target),       quellix::ByRef(&target)};
        DISPPARAMS params = newWindow3 ? DISPPARAMS{args, nullptr, 6, 0} : DISPPARAMS{args + 3, nullptr, 3, 0};
        const ComPtr<Forwarder> direct = quellix::MakeCom<Forwarder>(
            host.Get(), newWindow3 ? tessaly::kDispidNewWindow3 : tessaly::kNewWindow, &params);
        const DWORD cookie = tessaly::test::Connect(static_cast<IWebBrowser2*>(browser.Get()), DIID_DWebBrowserEvents2,
                                                    direct.Get());
        const double start = Seconds();
        for (int i = 0; i < kEvents; ++i) {
            fire();
            if (host->events.size() > 1000)
                host->events.clear();
        }
        bare = Seconds() - start;
        tessaly::test::Disconnect(static_cast<IWebBrowser2*>(browser.Get()), DIID_DWebBrowserEvents2, cookie);
        host->events.clear();
    }

    const ComPtr<_IEEvents> control = ocx.Create<_IEEvents>();
    tessaly::test::Connect(control.Get(), newWindow3 ? tessaly::kDiidNewWindow3Events : tessaly::kDiidIEEventsEvents,
                           host.Get());
    control->put_Enabled(VARIANT_TRUE);
    const double start = Seconds();
    VARIANT_BOOL last = VARIANT_FALSE;
    for (int i = 0; i < kEvents; ++i) {
        last = fire();
        if (host->events.size() > 1000)
            host->events.clear();
    }
    const double full = Seconds() - start;
    control->put_Enabled(VARIANT_FALSE);

    std::printf("\n%s round trip (%d events, Cancel written back: %s):\n", newWindow3 ? "NewWindow3" : "NewWindow",
                kEvents, last == VARIANT_TRUE ? "yes" : "NO");
    std::printf("  through the control:   %8.0f events/s  (%.2f us each)\n", kEvents / full, full * 1e6 / kEvents);
    std::printf("  two bare Invokes:      %8.0f events/s  (%.2f us each)\n", kEvents / bare, bare * 1e6 / kEvents);
    std::printf("  ratio:                 %.2fx\n", full / bare);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int cycles = argc > 1 ? _wtoi(argv[1]) : 10'000;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        quellix::e2e::Environment environment;
        if (argc > 2) {
            wchar_t other[MAX_PATH];
            GetFullPathNameW(argv[2], MAX_PATH, other, nullptr);
            CallsPerEvent(other, "the other build");
        }
        CallsPerEvent({}, "this build");
        Cycles(cycles);
        RoundTrip(false);
        RoundTrip(true);
    }
    CoUninitialize();
    return 0;
}
