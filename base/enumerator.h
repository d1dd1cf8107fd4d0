// One enumerator for every IEnumXxx a COM object hands out over a list of its own: the items
// are a snapshot, shared with the enumerator's clones, and each is handed out with a
// reference of its own (`Copy`).
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "base/com.h"

namespace quellix {

template <typename Enum, typename Out, typename Item, void (*Copy)(const Item&, Out*)>
class ArrayEnumerator final : public ComObject<Enum> {
public:
    using Items = std::vector<Item>;

    // `owner` keeps alive what the items point into, for as long as the enumerator lives.
    explicit ArrayEnumerator(std::shared_ptr<const Items> items, ComPtr<IUnknown> owner = nullptr, std::size_t next = 0)
        : m_items(std::move(items)), m_owner(std::move(owner)), m_next(next)
    {
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != __uuidof(Enum)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<Enum*>(this);
        this->AddRef();
        return S_OK;
    }

    STDMETHODIMP Next(ULONG count, Out* out, ULONG* fetched) override
    {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG done = 0;
        for (; done < count && m_next < m_items->size(); ++done, ++m_next)
            Copy((*m_items)[m_next], &out[done]);
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

    STDMETHODIMP Clone(Enum** result) override
    {
        if (!result)
            return E_POINTER;
        *result = MakeCom<ArrayEnumerator>(m_items, m_owner, m_next).Detach();
        return *result ? S_OK : E_OUTOFMEMORY;
    }

private:
    const std::shared_ptr<const Items> m_items;
    const ComPtr<IUnknown> m_owner;
    std::size_t m_next;
};

}  // namespace quellix
