// cBrowsers: the read-only list of the browsers that the monitor tracks, in the order of
// the shell's window list at the last rebuild. Hosts read it through IEEvents.Browsers;
// only the tracker changes it.
#pragma once

#include <exdisp.h>

#include <memory>
#include <vector>

#include "monitor/dual_dispatch.h"
#include "monitor/tessaly.h"

namespace tessaly {

// What Visual Basic's collections answer for a key they do not hold (invalid procedure call
// or argument), a position outside them (subscript out of range), and a count that does
// not fit (overflow).
inline constexpr HRESULT kInvalidArgumentError = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 5);
inline constexpr HRESULT kOutOfRangeError = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 9);
inline constexpr HRESULT kOverflowError = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 6);

class cBrowsers final : public quellix::ComObject<DualDispatch<_cBrowsers>> {
public:
    // Each an IWebBrowser2, held as the IDispatch the shell's list gives; Item asks for the
    // browser's interface when a host wants it.
    using Items = std::vector<quellix::ComPtr<IDispatch>>;

    static quellix::ComPtr<cBrowsers> Create() { return quellix::MakeCom<cBrowsers>(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

    // _cBrowsers
    STDMETHODIMP NewEnum(IUnknown** result) override;
    STDMETHODIMP Item(VARIANT* index, IWebBrowser2** result) override;
    STDMETHODIMP get_Count(short* result) override;

    // For the tracker: a new list in place of the old one, which an enumerator handed out
    // earlier goes on walking.
    void Replace(Items items) { m_items = std::make_shared<Items>(std::move(items)); }

private:
    std::shared_ptr<const Items> m_items = std::make_shared<const Items>();
};

}  // namespace tessaly
