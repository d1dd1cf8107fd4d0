#include "monitor/browsers.h"

#include <shlwapi.h>

#include "base/enumerator.h"
#include "base/unique_handle.h"

namespace tessaly {

namespace {

void CopyBrowser(const quellix::ComPtr<IDispatch>& browser, VARIANT* out)
{
    VariantInit(out);
    out->vt = VT_DISPATCH;
    out->pdispVal = browser.Get();
    out->pdispVal->AddRef();
}

// Walks one generation of the list, whatever the tracker puts in its place meanwhile.
using BrowserEnumerator = quellix::ArrayEnumerator<IEnumVARIANT, VARIANT, quellix::ComPtr<IDispatch>, CopyBrowser>;

}  // namespace

STDMETHODIMP cBrowsers::QueryInterface(REFIID riid, void** object)
{
    static const QITAB table[] = {
        QITABENT(cBrowsers, _cBrowsers),
        QITABENTMULTI(cBrowsers, IDispatch, _cBrowsers),
        {},
    };
    return QISearch(this, table, riid, object);
}

STDMETHODIMP cBrowsers::NewEnum(IUnknown** result)
{
    if (!result)
        return E_POINTER;
    *result = quellix::MakeCom<BrowserEnumerator>(m_items).Detach();
    return *result ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP cBrowsers::Item(VARIANT* index, IWebBrowser2** result)
{
    if (!index || !result)
        return E_POINTER;
    *result = nullptr;

    quellix::UniqueVariant value;
    RETURN_IF_FAILED(VariantCopyInd(&value, index));
    // The entries have no keys, so a text finds nothing, whatever it says.
    RETURN_HR_IF(kInvalidArgumentError, value.vt == VT_BSTR);
    RETURN_HR_IF(kInvalidArgumentError, FAILED(VariantChangeType(&value, &value, 0, VT_I4)));
    RETURN_HR_IF(kOutOfRangeError, value.lVal < 1 || static_cast<std::size_t>(value.lVal) > m_items->size());

    return (*m_items)[value.lVal - 1]->QueryInterface(IID_PPV_ARGS(result));
}

STDMETHODIMP cBrowsers::get_Count(short* result)
{
    if (!result)
        return E_POINTER;
    RETURN_HR_IF(kOverflowError, m_items->size() > 32767);
    *result = static_cast<short>(m_items->size());
    return S_OK;
}

}  // namespace tessaly
