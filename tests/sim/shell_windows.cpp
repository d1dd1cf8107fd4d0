#include "tests/sim/shell_windows.h"

#include <exdispid.h>
#include <olectl.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "tests/sim/browser.h"

namespace quellix::sim {
namespace {

// Far from 0, so that a caller who takes a cookie for a position in the list is caught.
constexpr long kFirstCookie = 0x1000;

using Snapshot = std::shared_ptr<const std::vector<ComPtr<IDispatch>>>;

// The windows as they were when _NewEnum was called; registrations and revocations that
// come later are not seen, as with the real list.
class WindowEnum final : public ComObject<IEnumVARIANT> {
public:
    WindowEnum(Snapshot windows, size_t position, ComPtr<ShellWindows> list)
        : m_windows(std::move(windows)), m_position(position), m_list(std::move(list))
    {
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        static const QITAB interfaces[] = {QITABENT(WindowEnum, IEnumVARIANT), {}};
        return QISearch(this, interfaces, riid, object);
    }

    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override
    {
        m_list->Calls().Note(Call::kNext);
        RETURN_IF_FAILED(m_list->Alive());
        RETURN_HR_IF(E_POINTER, !items);
        ULONG done = 0;
        for (; done < count && m_position < m_windows->size(); ++done) {
            VariantInit(&items[done]);
            V_VT(&items[done]) = VT_DISPATCH;
            CopyTo((*m_windows)[m_position++], &V_DISPATCH(&items[done]));
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override
    {
        const size_t left = m_windows->size() - m_position;
        m_position += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }

    STDMETHODIMP Reset() override
    {
        m_position = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(IEnumVARIANT** clone) override
    {
        const auto created = MakeCom<WindowEnum>(m_windows, m_position, m_list);
        RETURN_IF_NULL_ALLOC(created);
        return CopyTo(created, clone);
    }

private:
    const Snapshot m_windows;
    size_t m_position;
    const ComPtr<ShellWindows> m_list;
};

IDispatch* DispatchOf(Browser& browser)
{
    return static_cast<IWebBrowser2*>(&browser);
}

}  // namespace

ShellWindows::ShellWindows() : m_nextCookie(kFirstCookie)
{
    m_events.Watch(&m_calls);
}

ShellWindows::~ShellWindows() = default;

std::vector<ShellWindows::Window>::iterator ShellWindows::Find(const Browser& browser)
{
    return std::find_if(m_windows.begin(), m_windows.end(),
                        [&](const Window& window) { return window.browser.Get() == &browser; });
}

void ShellWindows::Add(Browser& browser)
{
    if (Find(browser) != m_windows.end())
        return;
    const long cookie = m_nextCookie++;
    m_windows.push_back({cookie, ComPtr<Browser>(&browser)});
    Fire(DISPID_WINDOWREGISTERED, cookie);
}

void ShellWindows::Remove(Browser& browser)
{
    const auto found = Find(browser);
    if (found == m_windows.end())
        return;
    const Window gone = *found;
    m_windows.erase(found);
    Fire(DISPID_WINDOWREVOKED, gone.cookie);
}

void ShellWindows::Clear()
{
    // Each browser holds this list; releasing the last of them must not happen while the
    // vector is half-way through clear().
    const std::vector<Window> windows = std::exchange(m_windows, {});
}

void ShellWindows::End(HRESULT answer)
{
    m_gone = answer;
    m_events.Disconnect(answer);
    Clear();
}

HRESULT ShellWindows::Fire(DISPID id, long cookie)
{
    VARIANT argument;
    V_VT(&argument) = VT_I4;
    V_I4(&argument) = cookie;
    DISPPARAMS params{&argument, nullptr, 1, 0};
    return m_events.Fire(id, params);
}

STDMETHODIMP ShellWindows::QueryInterface(REFIID riid, void** object)
{
    static const QITAB interfaces[] = {
        QITABENT(ShellWindows, IShellWindows),
        QITABENTMULTI(ShellWindows, IDispatch, IShellWindows),
        QITABENT(ShellWindows, IConnectionPointContainer),
        {},
    };
    return QISearch(this, interfaces, riid, object);
}

STDMETHODIMP ShellWindows::get_Count(LONG* count)
{
    m_calls.Note(Call::kCount);
    RETURN_IF_FAILED(m_gone);
    RETURN_HR_IF(E_POINTER, !count);
    *count = static_cast<LONG>(m_windows.size());
    return S_OK;
}

STDMETHODIMP ShellWindows::Item(VARIANT index, IDispatch** folder)
{
    m_calls.Note(Call::kItem);
    RETURN_HR_IF(E_POINTER, !folder);
    *folder = nullptr;
    RETURN_IF_FAILED(m_gone);
    UniqueVariant position;
    RETURN_HR_IF(E_INVALIDARG, FAILED(VariantChangeType(&position, &index, 0, VT_I4)));
    const long at = V_I4(&position);
    // The real list answers a position past its end with S_FALSE and no window.
    RETURN_HR_IF(S_FALSE, at < 0 || static_cast<size_t>(at) >= m_windows.size());
    return CopyTo(ComPtr<IDispatch>(DispatchOf(*m_windows[at].browser.Get())), folder);
}

STDMETHODIMP ShellWindows::_NewEnum(IUnknown** enumerator)
{
    m_calls.Note(Call::kNewEnum);
    RETURN_HR_IF(E_POINTER, !enumerator);
    *enumerator = nullptr;
    RETURN_IF_FAILED(m_gone);
    COM_TRY_BEGIN
    auto windows = std::make_shared<std::vector<ComPtr<IDispatch>>>();
    for (const Window& window : m_windows)
        windows->emplace_back(DispatchOf(*window.browser.Get()));
    const auto created = MakeCom<WindowEnum>(std::move(windows), size_t{0}, ComPtr<ShellWindows>(this));
    RETURN_IF_NULL_ALLOC(created);
    return CopyTo(ComPtr<IUnknown>(static_cast<IEnumVARIANT*>(created.Get())), enumerator);
    COM_TRY_END
}

STDMETHODIMP ShellWindows::FindConnectionPoint(REFIID riid, IConnectionPoint** point)
{
    m_calls.Note(Call::kFindConnectionPoint);
    RETURN_HR_IF(E_POINTER, !point);
    *point = nullptr;
    RETURN_IF_FAILED(m_gone);
    RETURN_HR_IF(CONNECT_E_NOCONNECTION, riid != DIID_DShellWindowsEvents);
    return CopyTo(ComPtr<IConnectionPoint>(&m_events), point);
}

}  // namespace quellix::sim
