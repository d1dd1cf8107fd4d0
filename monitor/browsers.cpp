#include "monitor/browsers.h"

#include <shlwapi.h>

#include <algorithm>

#include "base/unique_handle.h"

namespace tessaly {

namespace {

// Walks one generation of the list; the list may still grow while it walks.
class BrowserEnumerator final : public quellix::ComObject<IEnumVARIANT> {
public:
    BrowserEnumerator(std::shared_ptr<cBrowsers::Items> items, std::size_t next)
        : m_items(std::move(items)), m_next(next)
    {
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB table[] = {QITABENT(BrowserEnumerator, IEnumVARIANT), {}};
        return QISearch(this, table, riid, object);
    }

    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override
    {
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        ULONG done = 0;
        for (; done < count && m_next < m_items->size(); ++done, ++m_next) {
            VariantInit(&items[done]);
            items[done].vt = VT_DISPATCH;
            items[done].pdispVal = (*m_items)[m_next].Get();
            items[done].pdispVal->AddRef();
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override
    {
        const std::size_t left = m_items->size() - std::min(m_next, m_items->size());
        m_next += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }

    STDMETHODIMP Reset() override
    {
        m_next = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(IEnumVARIANT** result) override
    {
        if (!result)
            return E_POINTER;
        *result = quellix::MakeCom<BrowserEnumerator>(m_items, m_next).Detach();
        return *result ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::shared_ptr<cBrowsers::Items> m_items;
    std::size_t m_next;
};

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
    *result = quellix::MakeCom<BrowserEnumerator>(m_items, 0).Detach();
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
