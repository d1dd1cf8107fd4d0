// cBrowserEvents: the engine behind the control. It keeps one subscription to the shell's
// list of open browser windows for its whole life and one sink on every window in that list,
// keeps the control's browser list in step, and raises the fourteen events of the control's
// event set, and NewWindow3, to its owner.
//
// Windows are told apart by COM identity: the tabs of one frame share its window handle, and
// each is watched. A registration attaches a sink to what joined, a revocation drops what
// left; the cost of either does not grow with the number of windows.
//
// The shell's list lives in another process, and while the tracker waits on a call into it
// or into a browser, the shell may deliver its next event into the same thread. Such an
// event is queued and handled as soon as the work under way is done, never against half-
// built state: every window that joins the list is announced once, with its own browser,
// and every revocation once.
#pragma once

#include <exdisp.h>

#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/event_subscription.h"
#include "monitor/browsers.h"
#include "monitor/sink.h"

namespace tessaly {

// The control, as the tracker raises its events: the arguments are already laid out as the
// event set __IEEvents has them, by-reference ones pointing at the browser's own storage.
class TrackerEvents {
public:
    virtual void RaiseEvent(EventId id, DISPPARAMS* params) = 0;
    // NewWindow3, through the second event set.
    virtual void RaiseNewWindow3(DISPPARAMS* params) = 0;
    // A call into the shell's list answered that the shell's process has gone: the list
    // will never speak again, and the tracker is of no more use.
    virtual void ListGone() = 0;

protected:
    ~TrackerEvents() = default;
};

class cBrowserEvents final : public quellix::ComObject<IBrowser, quellix::IEventHandler> {
public:
    explicit cBrowserEvents(TrackerEvents* owner) : m_owner(owner) {}

    // Subscribes to the shell's list and attaches a sink to every window in it (announcing
    // none of them; one that joins meanwhile is announced). On failure the owner detaches it.
    HRESULT Subscribe();

    void SetBrowsers(cBrowsers* list) { m_oBrowsers = list; }
    // Walks the shell's list again: sinks for the windows that joined (which are announced),
    // none for those that left, and the browser list refilled in the shell's order.
    HRESULT RebuildBrowsers();

    // The owner lets go: from now on no event reaches it, and the tracker lets go of the
    // shell's list, every browser and the browser list at once.
    void Detach();

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

    // IBrowser, from the sinks.
    HRESULT SetBrowserInst(IDispatch** Browser) override;
    HRESULT BeforeNavigate2(IDispatch* pDisp, VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                            VARIANT* Headers, VARIANT_BOOL* Cancel) override;
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
    HRESULT NewWindow3(IDispatch** ppDisp, VARIANT_BOOL* Cancel, DWORD dwFlags, BSTR bstrUrlContext,
                       BSTR bstrUrl) override;

    // The shell list's events.
    HRESULT OnEvent(DISPID id, DISPPARAMS* params) override;

private:
    // What the tracker does, one piece at a time.
    enum class Work { kSubscribe, kWalk, kRegistered, kRevoked };

    struct Sink {
        quellix::ComPtr<IUnknown> identity;
        quellix::ComPtr<cBrowser> sink;  // and through it the browser, an IWebBrowser2
        std::string key;                 // "_" hwnd "_" suffix: keeps sinks of one window handle apart
    };

    // Queues the work, and does it (and whatever arrives meanwhile) unless that is under way
    // already. Returns the result of this work when it was done here.
    HRESULT Do(Work work);
    HRESULT Run(Work work);
    // Brings the sinks in line with the shell's list; the windows attached are `joined`.
    // A window that cannot be attached (it closed meanwhile) is passed over.
    HRESULT Walk(std::vector<quellix::ComPtr<IDispatch>>* joined);
    // What a registration usually brings: one window more, at the end of the list. Nothing
    // when the list is otherwise (then it takes a walk).
    HRESULT AttachLast(std::vector<quellix::ComPtr<IDispatch>>* joined, bool* done);
    void Refill();
    HRESULT Attach(IDispatch* item, Sink* result);
    void DropSinks();
    // Raises one event with `Browser` in front of the given arguments (passed last-first),
    // through the control's event set, or through its second one for NewWindow3.
    HRESULT Raise(EventId id, VARIANTARG* args, UINT count) { return Raise(false, id, args, count); }
    HRESULT Raise(bool newWindow3, DISPID id, VARIANTARG* args, UINT count);
    // BeforeNavigate2's seven are the most any event has.
    static constexpr UINT kMaxArguments = 7;

    TrackerEvents* m_owner;  // not counted: the control owns the tracker
    quellix::ComPtr<cBrowsers> m_oBrowsers;
    quellix::ComPtr<IDispatch> m_oCurBrowser;
    std::vector<Sink> m_colSinks;  // in the shell's order
    std::unordered_set<std::string> m_keys;
    quellix::ComPtr<IShellWindows> m_oShell;
    quellix::EventSubscription m_shellEvents;
    std::deque<Work> m_queue;
    bool m_busy = false;
    bool m_detached = false;
};

}  // namespace tessaly
