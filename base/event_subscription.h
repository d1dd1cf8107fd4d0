// Receiving the dispatch events of one source (a browser, the shell's window list, a
// control), like a WithEvents variable: the object the source holds is a small receiver
// that points back to its handler without owning it, so that dropping the subscription ends
// it at once and no reference cycle forms between source and handler.
#pragma once

#include <ocidl.h>

#include "base/com.h"

namespace quellix {

// What a subscription hands its events to. A handler may connect, disconnect or release
// the subscription from inside OnEvent.
struct IEventHandler : IUnknown {
    virtual HRESULT OnEvent(DISPID id, DISPPARAMS* params) = 0;
};

class EventSubscription {
public:
    EventSubscription();
    EventSubscription(const EventSubscription&) = delete;
    EventSubscription& operator=(const EventSubscription&) = delete;
    ~EventSubscription();

    // Subscribes `handler` to `source`'s event set `events`, ending any earlier subscription.
    // Calls into the source may let events in (from another process, or from a source that
    // calls back at once); a Connect or Disconnect made from inside them is the later one
    // and wins: this call then undoes its own connection and returns S_FALSE.
    HRESULT Connect(IUnknown* source, REFIID events, IEventHandler* handler);
    void Disconnect();
    bool Connected() const { return m_receiver != nullptr; }

private:
    class Receiver;

    ComPtr<IConnectionPoint> m_point;
    ComPtr<Receiver> m_receiver;
    DWORD m_cookie = 0;
    // Counts Connect and Disconnect calls, so that one can tell another ran inside it.
    unsigned m_generation = 0;
};

}  // namespace quellix
