#include "monitor/sink.h"

#include <exdispid.h>
#include <shlwapi.h>

#include "base/unique_handle.h"

namespace tessaly {

using quellix::ComPtr;

namespace {

// The arguments of one event call, by position from the first (DISPPARAMS keeps them
// last-first). Each accessor gives the form the owner takes, or nothing if the browser
// passed something it cannot be.
class Arguments {
public:
    explicit Arguments(DISPPARAMS* params) : m_params(*params) {}

    UINT Count() const { return m_params.cArgs; }

    VARIANTARG& At(UINT position) { return m_params.rgvarg[m_params.cArgs - 1 - position]; }

    // A by-reference variant is the browser's own; anything else is passed as it lies in
    // the argument array, where a write harms nobody.
    VARIANT* Variant(UINT position)
    {
        VARIANTARG& arg = At(position);
        return arg.vt == (VT_BYREF | VT_VARIANT) ? arg.pvarVal : &arg;
    }

    VARIANT_BOOL* BoolRef(UINT position)
    {
        VARIANTARG& arg = At(position);
        if (arg.vt == (VT_BYREF | VT_BOOL))
            return arg.pboolVal;
        if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal && arg.pvarVal->vt == VT_BOOL)
            return &arg.pvarVal->boolVal;
        return nullptr;
    }

    IDispatch** DispatchRef(UINT position)
    {
        VARIANTARG& arg = At(position);
        if (arg.vt == (VT_BYREF | VT_DISPATCH))
            return arg.ppdispVal;
        if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal && arg.pvarVal->vt == VT_DISPATCH)
            return &arg.pvarVal->pdispVal;
        return nullptr;
    }

    // A by-value object; false if the argument is not one.
    bool Dispatch(UINT position, IDispatch** result)
    {
        VARIANTARG& arg = At(position);
        switch (arg.vt) {
        case VT_DISPATCH:
            *result = arg.pdispVal;
            return true;
        case VT_BYREF | VT_DISPATCH:
            *result = arg.ppdispVal ? *arg.ppdispVal : nullptr;
            return true;
        case VT_EMPTY:
        case VT_NULL:
            *result = nullptr;
            return true;
        default:
            return false;
        }
    }

    // A by-value scalar, converted to the type the owner takes.
    bool Scalar(UINT position, VARTYPE type, VARIANT* result)
    {
        return SUCCEEDED(VariantChangeType(result, &At(position), 0, type));
    }

private:
    DISPPARAMS& m_params;
};

}  // namespace

STDMETHODIMP cBrowser::QueryInterface(REFIID riid, void** object)
{
    return quellix::QueryUnknownOnly(static_cast<quellix::IEventHandler*>(this), riid, object);
}

HRESULT cBrowser::SetBrowser(IDispatch* browser)
{
    m_events.Disconnect();
    m_browser = browser;
    if (!browser)
        return S_OK;
    return m_events.Connect(browser, DIID_DWebBrowserEvents2, this);
}

HRESULT cBrowser::OnEvent(DISPID id, DISPPARAMS* params)
{
    // Counted for the call: the owner may let go of this sink while it handles the event.
    const ComPtr<cBrowser> self(this);
    const ComPtr<IBrowser> owner = m_interFace;
    if (!owner || !m_browser)
        return S_OK;

    Arguments args(params);
    auto expect = [&](UINT count) { return args.Count() >= count; };
    // The owner sees the browser through a temporary, so it cannot change this sink's own.
    auto announce = [&]() {
        ComPtr<IDispatch> browser = m_browser;
        return owner->SetBrowserInst(browser.GetAddressOf());
    };

    switch (id) {
    case DISPID_BEFORENAVIGATE2: {
        IDispatch* pDisp = nullptr;
        VARIANT_BOOL* cancel = expect(7) ? args.BoolRef(6) : nullptr;
        if (!cancel || !args.Dispatch(0, &pDisp))
            return DISP_E_TYPEMISMATCH;
        const ComPtr<IDispatch> frame(pDisp);
        RETURN_IF_FAILED(announce());
        return owner->BeforeNavigate2(frame.Get(), args.Variant(1), args.Variant(2), args.Variant(3), args.Variant(4),
                                      args.Variant(5), cancel);
    }
    case DISPID_DOCUMENTCOMPLETE:
    case DISPID_NAVIGATECOMPLETE2: {
        IDispatch* pDisp = nullptr;
        if (!expect(2) || !args.Dispatch(0, &pDisp))
            return DISP_E_TYPEMISMATCH;
        const ComPtr<IDispatch> frame(pDisp);
        RETURN_IF_FAILED(announce());
        return id == DISPID_DOCUMENTCOMPLETE ? owner->DocumentComplete(frame.Get(), args.Variant(1))
                                             : owner->NavigateComplete2(frame.Get(), args.Variant(1));
    }
    case DISPID_DOWNLOADBEGIN:
        RETURN_IF_FAILED(announce());
        return owner->DownLoadBegin();
    case DISPID_DOWNLOADCOMPLETE:
        RETURN_IF_FAILED(announce());
        return owner->DownLoadComplete();
    case DISPID_FILEDOWNLOAD: {
        // Later browsers put ActiveDocument in front of Cancel; Cancel is always the last.
        VARIANT_BOOL* cancel = expect(1) ? args.BoolRef(args.Count() - 1) : nullptr;
        if (!cancel)
            return DISP_E_TYPEMISMATCH;
        RETURN_IF_FAILED(announce());
        return owner->FileDownload(cancel);
    }
    case DISPID_NAVIGATEERROR: {
        IDispatch* pDisp = nullptr;
        VARIANT_BOOL* cancel = expect(5) ? args.BoolRef(4) : nullptr;
        if (!cancel || !args.Dispatch(0, &pDisp))
            return DISP_E_TYPEMISMATCH;
        const ComPtr<IDispatch> frame(pDisp);
        RETURN_IF_FAILED(announce());
        return owner->NavigateError(frame.Get(), args.Variant(1), args.Variant(2), args.Variant(3), cancel);
    }
    case DISPID_NEWWINDOW2: {
        IDispatch** ppDisp = expect(2) ? args.DispatchRef(0) : nullptr;
        VARIANT_BOOL* cancel = expect(2) ? args.BoolRef(1) : nullptr;
        if (!ppDisp || !cancel)
            return DISP_E_TYPEMISMATCH;
        RETURN_IF_FAILED(announce());
        return owner->NewWindow2(ppDisp, cancel);
    }
    case DISPID_ONFULLSCREEN: {
        quellix::UniqueVariant fullScreen;
        if (!expect(1) || !args.Scalar(0, VT_BOOL, &fullScreen))
            return DISP_E_TYPEMISMATCH;
        RETURN_IF_FAILED(announce());
        return owner->OnFullScreen(fullScreen.boolVal);
    }
    case DISPID_PROGRESSCHANGE: {
        quellix::UniqueVariant progress, progressMax;
        if (!expect(2) || !args.Scalar(0, VT_I4, &progress) || !args.Scalar(1, VT_I4, &progressMax))
            return DISP_E_TYPEMISMATCH;
        RETURN_IF_FAILED(announce());
        return owner->ProgressChange(progress.lVal, progressMax.lVal);
    }
    case DISPID_TITLECHANGE: {
        quellix::UniqueVariant text;
        if (!expect(1) || !args.Scalar(0, VT_BSTR, &text))
            return DISP_E_TYPEMISMATCH;
        RETURN_IF_FAILED(announce());
        return owner->TitleChange(text.bstrVal);
    }
    case DISPID_WINDOWCLOSING: {
        quellix::UniqueVariant isChild;
        VARIANT_BOOL* cancel = expect(2) ? args.BoolRef(1) : nullptr;
        if (!cancel || !args.Scalar(0, VT_BOOL, &isChild))
            return DISP_E_TYPEMISMATCH;
        RETURN_IF_FAILED(announce());
        return owner->WindowClosing(isChild.boolVal, cancel);
    }
    default:
        return S_OK;  // the browser's other events are not forwarded
    }
}

}  // namespace tessaly
