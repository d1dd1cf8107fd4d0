// What IEEvents shows: its banner, drawn for a container (IViewObject2) and in the window it
// has while active in place.
#include "base/window.h"
#include "monitor/banner_math.h"
#include "monitor/control.h"

namespace tessaly {

namespace {

constexpr wchar_t kWindowClass[] = L"TessalyBanner";

}  // namespace

STDMETHODIMP IEEvents::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                            BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!dc || !bounds)
        return E_INVALIDARG;
    const RECT area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    COM_TRY_BEGIN
    m_banner.Paint(dc, area, GetDeviceCaps(dc, LOGPIXELSY));
    return S_OK;
    COM_TRY_END
}

STDMETHODIMP IEEvents::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    m_viewAdvise = sink;
    m_viewAdviseAspects = aspects;
    m_viewAdviseFlags = flags;
    return S_OK;
}

STDMETHODIMP IEEvents::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = m_viewAdviseAspects;
    if (flags)
        *flags = m_viewAdviseFlags;
    return sink ? quellix::CopyTo(m_viewAdvise, sink) : S_OK;
}

STDMETHODIMP IEEvents::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

SIZEL ControlExtentHimetric()
{
    return {MulDiv(kWidthTwips, 2540, 1440), MulDiv(kHeightTwips, 2540, 1440)};
}

SIZE IEEvents::PixelSize()
{
    const quellix::ScopedGetDC screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    return {TwipsToPixels(kWidthTwips, dpi), TwipsToPixels(kHeightTwips, dpi)};
}

HRESULT IEEvents::CreateBannerWindow(HWND parent, const RECT& place)
{
    quellix::RegisterWindowClass(kWindowClass, WindowProc);
    const SIZE size = PixelSize();
    m_window.reset(CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS, place.left, place.top, size.cx,
                                   size.cy, parent, nullptr, quellix::ThisInstance(), this));
    return m_window ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

void IEEvents::PaintWindow(HWND window)
{
    PAINTSTRUCT paint;
    if (const HDC dc = BeginPaint(window, &paint)) {
        RECT client;
        GetClientRect(window, &client);
        // Drawn off screen and copied, like a persistent picture: no flicker. Nothing is
        // thrown into the window manager: short of memory, the window stays unpainted.
        try {
            const quellix::UniqueHbitmap picture(CreateCompatibleBitmap(dc, client.right, client.bottom));
            const quellix::UniqueHdc memory(CreateCompatibleDC(dc));
            if (picture && memory) {
                const quellix::ScopedSelectObject selected(memory.get(), picture.get());
                m_banner.Paint(memory.get(), client, GetDeviceCaps(dc, LOGPIXELSY));
                BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
            }
        } catch (...) {
        }
        EndPaint(window, &paint);
    }
}

LRESULT CALLBACK IEEvents::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    IEEvents* const control = quellix::WindowOwner<IEEvents>(window, message, lParam);
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT && control) {
        control->PaintWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tessaly
