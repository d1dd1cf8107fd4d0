#include "monitor/sink.h"

#include <exdispid.h>

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

// The owner sees the browser through a temporary, so that it cannot change the sink's own.
HRESULT Announce(IBrowser& owner, IDispatch* browser)
{
    ComPtr<IDispatch> temporary(browser);
    return owner.SetBrowserInst(temporary.GetAddressOf());
}

// One forwarder for each of the thirteen events: it checks what the browser passed, names the
// browser to the owner, then hands the event on with the browser's own storage for every
// by-reference argument. DISP_E_TYPEMISMATCH when the browser passed what the event cannot.
using Forward = HRESULT (*)(Arguments& args, IBrowser& owner, IDispatch* browser);

HRESULT BeforeNavigate2(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    IDispatch* pDisp = nullptr;
    VARIANT_BOOL* cancel = args.Count() >= 7 ? args.BoolRef(6) : nullptr;
    if (!cancel || !args.Dispatch(0, &pDisp))
        return DISP_E_TYPEMISMATCH;
    const ComPtr<IDispatch> frame(pDisp);
    RETURN_IF_FAILED(Announce(owner, browser));
    return owner.BeforeNavigate2(frame.Get(), args.Variant(1), args.Variant(2), args.Variant(3), args.Variant(4),
                                 args.Variant(5), cancel);
}

template <HRESULT (IBrowser::*Operation)(IDispatch*, VARIANT*)>
HRESULT FrameAndUrl(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    IDispatch* pDisp = nullptr;
    if (args.Count() < 2 || !args.Dispatch(0, &pDisp))
        return DISP_E_TYPEMISMATCH;
    const ComPtr<IDispatch> frame(pDisp);
    RETURN_IF_FAILED(Announce(owner, browser));
    return (owner.*Operation)(frame.Get(), args.Variant(1));
}

template <HRESULT (IBrowser::*Operation)()>
HRESULT NoArguments(Arguments&, IBrowser& owner, IDispatch* browser)
{
    RETURN_IF_FAILED(Announce(owner, browser));
    return (owner.*Operation)();
}

HRESULT FileDownload(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    // Later browsers put ActiveDocument in front of Cancel; Cancel is always the last.
    VARIANT_BOOL* cancel = args.Count() >= 1 ? args.BoolRef(args.Count() - 1) : nullptr;
    if (!cancel)
        return DISP_E_TYPEMISMATCH;
    RETURN_IF_FAILED(Announce(owner, browser));
    return owner.FileDownload(cancel);
}

HRESULT NavigateError(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    IDispatch* pDisp = nullptr;
    VARIANT_BOOL* cancel = args.Count() >= 5 ? args.BoolRef(4) : nullptr;
    if (!cancel || !args.Dispatch(0, &pDisp))
        return DISP_E_TYPEMISMATCH;
    const ComPtr<IDispatch> frame(pDisp);
    RETURN_IF_FAILED(Announce(owner, browser));
    return owner.NavigateError(frame.Get(), args.Variant(1), args.Variant(2), args.Variant(3), cancel);
}

HRESULT NewWindow2(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    IDispatch** ppDisp = args.Count() >= 2 ? args.DispatchRef(0) : nullptr;
    VARIANT_BOOL* cancel = args.Count() >= 2 ? args.BoolRef(1) : nullptr;
    if (!ppDisp || !cancel)
        return DISP_E_TYPEMISMATCH;
    RETURN_IF_FAILED(Announce(owner, browser));
    return owner.NewWindow2(ppDisp, cancel);
}

HRESULT NewWindow3(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    IDispatch** ppDisp = args.Count() >= 5 ? args.DispatchRef(0) : nullptr;
    VARIANT_BOOL* cancel = args.Count() >= 5 ? args.BoolRef(1) : nullptr;
    quellix::UniqueVariant flags, context, url;
    if (!ppDisp || !cancel || !args.Scalar(2, VT_UI4, &flags) || !args.Scalar(3, VT_BSTR, &context) ||
        !args.Scalar(4, VT_BSTR, &url))
        return DISP_E_TYPEMISMATCH;
    RETURN_IF_FAILED(Announce(owner, browser));
    return owner.NewWindow3(ppDisp, cancel, flags.ulVal, context.bstrVal, url.bstrVal);
}

// An event whose one argument is a value (FullScreen, Text).
template <VARTYPE Type, auto Operation>
HRESULT OneValue(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    quellix::UniqueVariant value;
    if (args.Count() < 1 || !args.Scalar(0, Type, &value))
        return DISP_E_TYPEMISMATCH;
    RETURN_IF_FAILED(Announce(owner, browser));
    if constexpr (Type == VT_BOOL)
        return (owner.*Operation)(value.boolVal);
    else
        return (owner.*Operation)(value.bstrVal);
}

HRESULT ProgressChange(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    quellix::UniqueVariant progress, progressMax;
    if (args.Count() < 2 || !args.Scalar(0, VT_I4, &progress) || !args.Scalar(1, VT_I4, &progressMax))
        return DISP_E_TYPEMISMATCH;
    RETURN_IF_FAILED(Announce(owner, browser));
    return owner.ProgressChange(progress.lVal, progressMax.lVal);
}

HRESULT WindowClosing(Arguments& args, IBrowser& owner, IDispatch* browser)
{
    quellix::UniqueVariant isChild;
    VARIANT_BOOL* cancel = args.Count() >= 2 ? args.BoolRef(1) : nullptr;
    if (!cancel || !args.Scalar(0, VT_BOOL, &isChild))
        return DISP_E_TYPEMISMATCH;
    RETURN_IF_FAILED(Announce(owner, browser));
    return owner.WindowClosing(isChild.boolVal, cancel);
}

// The browser's events that are forwarded, each to its IBrowser operation.
constexpr struct {
    DISPID id;
    Forward forward;
} kForwards[] = {
    {DISPID_BEFORENAVIGATE2, BeforeNavigate2},
    {DISPID_DOCUMENTCOMPLETE, FrameAndUrl<&IBrowser::DocumentComplete>},
    {DISPID_DOWNLOADBEGIN, NoArguments<&IBrowser::DownLoadBegin>},
    {DISPID_DOWNLOADCOMPLETE, NoArguments<&IBrowser::DownLoadComplete>},
    {DISPID_FILEDOWNLOAD, FileDownload},
    {DISPID_NAVIGATECOMPLETE2, FrameAndUrl<&IBrowser::NavigateComplete2>},
    {DISPID_NAVIGATEERROR, NavigateError},
    {DISPID_NEWWINDOW2, NewWindow2},
    {DISPID_NEWWINDOW3, NewWindow3},
    {DISPID_ONFULLSCREEN, OneValue<VT_BOOL, &IBrowser::OnFullScreen>},
    {DISPID_PROGRESSCHANGE, ProgressChange},
    {DISPID_TITLECHANGE, OneValue<VT_BSTR, &IBrowser::TitleChange>},
    {DISPID_WINDOWCLOSING, WindowClosing},
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
    const ComPtr<IDispatch> browser = m_browser;
    if (!owner || !browser)
        return S_OK;
    for (const auto& event : kForwards) {
        if (event.id == id) {
            Arguments args(params);
            return event.forward(args, *owner.Get(), browser.Get());
        }
    }
    return S_OK;  // the browser's other events are not forwarded
}

}  // namespace tessaly
