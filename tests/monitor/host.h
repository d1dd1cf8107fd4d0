// A host's side of the control, for tests: an event sink that records what arrives and can
// act from inside a handler, and a property-change sink.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include <functional>
#include <map>
#include <vector>

#include "base/com.h"

namespace tessaly::test {

// COM identity: the object's IUnknown, which every pointer to one object answers alike.
template <typename T>
IUnknown* Identity(T* object)
{
    quellix::ComPtr<IUnknown> identity;
    if (object)
        object->QueryInterface(IID_PPV_ARGS(&identity));
    return identity.Get();
}

class EventSink final : public quellix::ComObject<IDispatch> {
public:
    struct Event {
        DISPID id;
        std::vector<VARTYPE> types;          // in call order: Browser first
        quellix::ComPtr<IDispatch> browser;  // what Browser pointed at on arrival
    };

    std::vector<Event> events;
    // Runs inside the event call, with the arguments in call order (Browser first).
    std::function<void(DISPID id, std::vector<VARIANTARG*>& args)> handler;

    std::vector<DISPID> Ids() const
    {
        std::vector<DISPID> ids;
        for (const Event& event : events)
            ids.push_back(event.id);
        return ids;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;
};

class PropertySink final : public quellix::ComObject<IPropertyNotifySink> {
public:
    std::map<DISPID, int> changed;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP OnChanged(DISPID id) override
    {
        ++changed[id];
        return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
};

// Connects `sink` to `source`'s connection point for `events`; returns the cookie (0 on failure).
DWORD Connect(IUnknown* source, REFIID events, IUnknown* sink);
HRESULT Disconnect(IUnknown* source, REFIID events, DWORD cookie);

// Calls a member by dispatch identifier, as a late-bound host does.
HRESULT InvokeById(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result);

}  // namespace tessaly::test
