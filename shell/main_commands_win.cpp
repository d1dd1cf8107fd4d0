// NoZirOd's handlers: its buttons and menus (main and tray), its lists, its click-watch timer
// and the monitor's events, each named after its control and event; and the table that
// hands each command to its handler.
#include <windows.h>
#include <shellapi.h>

#include "base/dispatch.h"
#include "base/utf.h"
#include "shell/main_window_win.h"
#include "shell/resource.h"

namespace quellix {

namespace {

// IWebBrowser2's LocationURL and Quit, called through IDispatch.
constexpr DISPID kDispidLocationUrl = 211;
constexpr DISPID kDispidQuit = 300;

// A new browser, for the rules: its address and its Quit.
class BrowserAdapter final : public NewBrowser {
public:
    explicit BrowserAdapter(IDispatch* browser) : m_browser(browser) {}

    std::optional<std::string> LocationUrl() override
    {
        UniqueVariant url;
        if (FAILED(GetProperty(m_browser, kDispidLocationUrl, &url)) ||
            FAILED(VariantChangeType(&url, &url, 0, VT_BSTR)))
            return std::nullopt;
        return Narrow(url.bstrVal ? std::wstring_view(url.bstrVal, SysStringLen(url.bstrVal)) : std::wstring_view());
    }

    void Quit() override { CallMethod(m_browser, kDispidQuit); }

private:
    IDispatch* m_browser;
};

// A browser's COM identity, which the tracker's reference keeps: for one in another
// process, its proxy's, answered without a call there.
BrowserKey KeyOf(IDispatch* browser)
{
    ComPtr<IUnknown> identity;
    if (browser)
        browser->QueryInterface(IID_PPV_ARGS(&identity));
    return reinterpret_cast<BrowserKey>(identity.Get());
}

// What the browser's type information says of NewWindow3: whether its class's default event
// set has it. A browser that offers none is learnt from what it does.
NewWindow3Support NewWindow3Of(IDispatch* browser)
{
    ComPtr<IProvideClassInfo> provider;
    ComPtr<ITypeInfo> coclass;
    if (!browser || FAILED(browser->QueryInterface(IID_PPV_ARGS(&provider))) ||
        FAILED(provider->GetClassInfo(&coclass)) || !coclass)
        return NewWindow3Support::kUnknown;
    TYPEATTR* attributes = nullptr;
    if (FAILED(coclass->GetTypeAttr(&attributes)))
        return NewWindow3Support::kUnknown;
    const WORD implemented = attributes->typekind == TKIND_COCLASS ? attributes->cImplTypes : 0;
    coclass->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < implemented; ++i) {
        constexpr INT kDefaultSource = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        INT flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> events;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || (flags & kDefaultSource) != kDefaultSource ||
            FAILED(coclass->GetRefTypeOfImplType(i, &reference)) || FAILED(coclass->GetRefTypeInfo(reference, &events)))
            continue;
        wchar_t name[] = L"NewWindow3";
        LPOLESTR names[] = {name};
        MEMBERID member = 0;
        return SUCCEEDED(events->GetIDsOfNames(names, 1, &member)) ? NewWindow3Support::kRaised
                                                                   : NewWindow3Support::kNotRaised;
    }
    return NewWindow3Support::kUnknown;
}

}  // namespace

void NoZirOd::OnCommand(int id, int code)
{
    static constexpr struct {
        int id;
        void (NoZirOd::*handler)();
    } kCommands[] = {
        {IDC_HIDE, &NoZirOd::cmd_Hide_Click},
        {IDC_QUIT, &NoZirOd::cmd_Quit_Click},
        {IDC_ENABLE, &NoZirOd::cmd_Enable_Click},
        {IDM_EXITM, &NoZirOd::mnuExitm_Click},
        {IDM_TOOLSOPTIONS, &NoZirOd::mnuToolsOptions_Click},
        {IDM_TIPS, &NoZirOd::mnuTips_Click},
        {IDM_POPUPLOG, &NoZirOd::mnuPopupLog_Click},
        {IDM_HELPCONTENTS, &NoZirOd::mnuHelpContents_Click},
        {IDM_HELPABOUT, &NoZirOd::mnuHelpAbout_Click},
        {IDM_SHOW, &NoZirOd::mnuShow_Click},
        {IDM_ENABLE, &NoZirOd::mnuEnable_Click},
        {IDM_TRAYPOPUPLOG, &NoZirOd::mnuTrayPopupLog_Click},
        {IDM_ABOUT, &NoZirOd::mnuAbout_Click},
        {IDM_EXIT, &NoZirOd::mnuExit_Click},
    };
    for (const auto& command : kCommands) {
        if (command.id == id) {
            (this->*command.handler)();
            return;
        }
    }
    // The lists: a double-click opens the dialog, a change of selection is taken over.
    const bool blocked = id == IDC_BLOCKEDURLS;
    if (!blocked && id != IDC_WHITELIST)
        return;
    if (code == LBN_DBLCLK)
        blocked ? lstBlockedUrls_DblClick() : lstWhiteList_DblClick();
    else if (code == LBN_SELCHANGE)
        (blocked ? m_blockedMirror : m_allowedMirror)->TakeSelection();
}

void NoZirOd::cmd_Hide_Click()
{
    ShowWindow(m_window, SW_HIDE);
}

void NoZirOd::cmd_Quit_Click()
{
    QuitProgram();
}

void NoZirOd::cmd_Enable_Click()
{
    m_logic->ToggleProtection();
}

void NoZirOd::mnuExitm_Click()
{
    cmd_Quit_Click();
}

void NoZirOd::mnuToolsOptions_Click()
{
    m_frmOptions->ShowModal(m_window);
}

void NoZirOd::mnuTips_Click()
{
    m_frmTips->ShowModal(m_window);
}

void NoZirOd::mnuPopupLog_Click()
{
    m_frmPopupLog->Show(m_window);
}

void NoZirOd::mnuHelpContents_Click()
{
    // The help page comes with the program, so Help works without a connection.
    const std::wstring page = ProgramFolder() + L"\\quellix.html";
    ShellExecuteW(m_window, L"open", page.c_str(), nullptr, nullptr, SW_SHOW);
}

void NoZirOd::mnuHelpAbout_Click()
{
    // Built afresh at each opening.
    frmAbout about(m_logic->CurrentPolicy().AnySet());
    about.ShowModal(m_window);
}

void NoZirOd::mnuShow_Click()
{
    ShowMainWindow();
}

void NoZirOd::mnuEnable_Click()
{
    m_logic->ToggleProtection();
}

void NoZirOd::mnuTrayPopupLog_Click()
{
    mnuPopupLog_Click();
}

void NoZirOd::mnuAbout_Click()
{
    mnuHelpAbout_Click();
}

void NoZirOd::mnuExit_Click()
{
    QuitProgram();
}

void NoZirOd::lstBlockedUrls_DblClick()
{
    m_blockedMirror->TakeSelection();
    m_frmWB->Open(m_window, "Block");
}

void NoZirOd::lstWhiteList_DblClick()
{
    m_allowedMirror->TakeSelection();
    if (m_allowedMirror->FixedEntrySelected())
        return;  // the organisation's, not the user's to remove
    m_frmWB->Open(m_window, "Allow");
}

void NoZirOd::tmrRetry_Timer()
{
    m_logic->RetryMonitor();
}

void NoZirOd::Mouse_ButtonDown()
{
    m_logic->Rules().MousePressed();
}

NewWindowVerdict NoZirOd::IEEvents_NewWindow(IDispatch* opener)
{
    // The page that asks for the window: the allowed sites and the log go by its address.
    const std::string page = opener ? BrowserAdapter(opener).LocationUrl().value_or("") : std::string();
    const NewWindowVerdict verdict = m_logic->Rules().NewWindow(page, KeyOf(opener), NewWindow3Of(opener));
    m_frmPopupLog->LogChanged();
    return verdict;
}

NewWindowVerdict NoZirOd::IEEvents_NewWindow3(IDispatch* opener, std::uint32_t flags, std::wstring_view urlContext,
                                              std::wstring_view url)
{
    const NewWindowVerdict verdict = m_logic->Rules().NewWindow3(flags, Narrow(urlContext), Narrow(url), KeyOf(opener));
    m_frmPopupLog->LogChanged();
    return verdict;
}

void NoZirOd::IEEvents_BrowserEvent(IDispatch* browser)
{
    // Every event of every browser passes here: only a request waiting for its NewWindow3
    // costs more than this test.
    if (m_logic->Rules().AwaitsEvent())
        m_logic->Rules().BrowserEvent(KeyOf(browser));
}

void NoZirOd::IEEvents_BrowserDestroyed(IDispatch* browser)
{
    m_logic->Rules().BrowserDestroyed(KeyOf(browser));
    m_frmPopupLog->LogChanged();
}

void NoZirOd::IEEvents_BrowserCreated(IDispatch* browser)
{
    BrowserAdapter adapter(browser);
    m_logic->Rules().BrowserCreated(adapter, KeyOf(browser));
    m_frmPopupLog->LogChanged();
}

bool NoZirOd::IEEvents_BrowserNavigating(IDispatch* browser, std::wstring_view url)
{
    // Every navigation of every browser passes here: only a window waiting for its first
    // address costs more than this test.
    if (!m_logic->Rules().AwaitsNavigation())
        return false;
    BrowserAdapter adapter(browser);
    const bool cancel = m_logic->Rules().BrowserNavigating(adapter, KeyOf(browser), Narrow(url));
    m_frmPopupLog->LogChanged();
    return cancel;
}

void NoZirOd::IEEvents_NavigateComplete(IDispatch* browser, std::wstring_view url)
{
    if (!m_logic->Rules().AwaitsNavigation())
        return;
    BrowserAdapter adapter(browser);
    m_logic->Rules().NavigateComplete(adapter, KeyOf(browser), Narrow(url));
    m_frmPopupLog->LogChanged();
}

}  // namespace quellix
