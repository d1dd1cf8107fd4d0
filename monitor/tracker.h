// cBrowserEvents: the engine behind the control. It subscribes to the shell's list of open
// browser windows, keeps one sink on every window in it, keeps the control's browser list in
// step, and raises the fourteen events of the control's event set to its owner.
#pragma once

#include <exdisp.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "monitor/browsers.h"
#include "monitor/sink.h"

namespace tessaly {

// The control, as the tracker raises its events: the arguments are already laid out as the
// event set __IEEvents has them, by-reference ones pointing at the browser's own storage.
class TrackerEvents {
public:
    virtual void RaiseEvent(EventId id, DISPPARAMS* params) = 0;

protected:
    ~TrackerEvents() = default;
};

class cBrowserEvents final : public quellix::ComObject<IBrowser, IEventHandler> {
public:
    explicit cBrowserEvents(TrackerEvents* owner) : m_owner(owner) {}

    // Creates a tracker and runs one rebuild: the subscription and the sinks, no list yet.
    static HRESULT Create(TrackerEvents* owner, quellix::ComPtr<cBrowserEvents>* result);

    void SetBrowsers(cBrowsers* list) { m_oBrowsers = list; }
    HRESULT RebuildBrowsers();

    // The owner lets go: from now on no event reaches it, and the tracker lets go of the
    // shell's list, every browser and the browser list at once.
    void Detach();

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

    // IBrowser, from the sinks.
    HRESULT SetBrowserInst(IWebBrowser2** Browser) override;
    HRESULT BeforeNavigate2(IDispatch* pDisp, VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                            VARIANT* PostData, VARIANT* Headers, VARIANT_BOOL* Cancel) override;
    HRESULT DocumentComplete(IDispatch* pDisp, VARIANT* URL) override;
    HRESULT DownLoadBegin() override;
    HRESULT DownLoadComplete() override;
    HRESULT FileDownload(VARIANT_BOOL* Cancel) override;
    HRESULT NavigateComplete2(IDispatch* pDisp, VARIANT* URL) override;
    HRESULT NavigateError(IDispatch* pDisp, VARIANT* URL, VARIANT* Frame, VARIANT* StatusCode,
                          VARIANT_BOOL* Cancel) override;
    HRESULT NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* Cancel) override;
    HRESULT OnFullScreen(VARIANT_BOOL FullScreen) override;
    HRESULT ProgressChange(LONG Progress, LONG ProgressMax) override;
    HRESULT TitleChange(BSTR Text) override;
    HRESULT WindowClosing(VARIANT_BOOL IsChildWindow, VARIANT_BOOL* Cancel) override;

    // The shell list's events.
    HRESULT OnEvent(DISPID id, DISPPARAMS* params) override;

private:
    // Kept under the keys in m_keys, which only keep them apart: no sink is ever looked up.
    struct Sink {
        // A browser's window handle does not change, so it is read once, when the sink is
        // made; looking for a new window then costs one read per window, not one per pair.
        LONG_PTR hwnd;
        quellix::ComPtr<cBrowser> sink;
    };

    HRESULT WindowRegistered();
    HRESULT WindowRevoked();
    HRESULT FindNewBrowser(quellix::ComPtr<IWebBrowser2>* result);
    void DropSinks();
    bool KeyExists(const std::string& key) const { return m_keys.count(key) != 0; }
    // Raises one event with `Browser` in front of the given arguments (passed last-first).
    HRESULT Raise(EventId id, VARIANTARG* args, UINT count);

    TrackerEvents* m_owner;  // not counted: the control owns the tracker
    quellix::ComPtr<cBrowsers> m_oBrowsers;
    quellix::ComPtr<IDispatch> m_oCurBrowser;
    std::vector<Sink> m_colSinks;
    std::unordered_set<std::string> m_keys;
    quellix::ComPtr<IShellWindows> m_oShell;
    EventSubscription m_shellEvents;
    // Counts rebuilds, so that a rebuild can tell when a nested one (started by an event
    // that arrived during one of its calls out) has replaced what it was building.
    unsigned m_generation = 0;
    bool m_detached = false;
};

}  // namespace tessaly
