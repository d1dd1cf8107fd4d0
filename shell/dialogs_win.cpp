#include "shell/dialogs_win.h"

#include <shellapi.h>

#include <utility>

#include "app/version.h"
#include "base/utf.h"
#include "base/window.h"
#include "shell/resource.h"

namespace quellix {

namespace {

bool IsChecked(HWND box)
{
    return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND box, bool checked)
{
    SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

// --- frmWB ----------------------------------------------------------------------------------

frmWB::frmWB(AllowPrompt& prompt) : ModalWindow(L"Dialog Caption", 6030, 1950), m_prompt(prompt) {}

void frmWB::Open(HWND owner, const char* wbMode)
{
    m_prompt.Show(wbMode);
    ShowModal(owner);
}

void frmWB::Form_Load()
{
    static constexpr ControlLayout kControls[] = {
        {L"STATIC", L"", style::kLabel, IDC_LABEL1, 120, 120, 5775, 1215},
        {L"BUTTON", L"OK", style::kDefaultButton, IDOK, 240, 1440, 1215, 375},
        {L"BUTTON", L"Open", style::kButton, IDC_OPEN, 2280, 1440, 1455, 375},
        {L"BUTTON", L"Cancel", style::kButton, IDCANCEL, 4560, 1440, 1215, 375},
    };
    Lay().AddAll(Window(), kControls);
}

void frmWB::Form_Activate()
{
    SetWindowTextW(Control(IDC_LABEL1), Widen(m_prompt.Question()).c_str());
    SetWindowTextW(Control(IDOK), Widen(m_prompt.OkCaption()).c_str());
}

void frmWB::OnCommand(int id, int, HWND)
{
    switch (id) {
    case IDOK:
        OKButton_Click();
        break;
    case IDCANCEL:
        CancelButton_Click();
        break;
    case IDC_OPEN:
        Open_Click();
        break;
    default:
        break;
    }
}

void frmWB::OKButton_Click()
{
    if (!m_prompt.Ok()) {
        TellListIsFull(Window(), FullList::kAllowList);
        return;
    }
    Hide();
}

void frmWB::CancelButton_Click()
{
    Hide();
}

void frmWB::Open_Click()
{
    m_prompt.Open();
}

void TellListIsFull(HWND owner, FullList list)
{
    MessageBoxW(owner,
                list == FullList::kAllowedSites
                    ? L"The list of allowed sites is full: it holds 32,767 sites. Remove some before you add more."
                    : L"The allow list is full: it holds 32,767 addresses. Remove some before you add more.",
                L"Quellix", MB_OK | MB_ICONINFORMATION);
}

// --- frmOptions -----------------------------------------------------------------------------

frmOptions::frmOptions(OptionsDialogLogic& logic) : ModalWindow(L"Options", 6030, 4530), m_logic(logic) {}

void frmOptions::Form_Load()
{
    SetProgramIcon();
    // In tab order: OK, Cancel, then the boxes from "Hide on start" on; the boxes read
    // from top to bottom Run at StartUp, Hide on start, Beep, Flash, List, icon, and the
    // notice, which came later: below the others, which keep their places.
    static constexpr ControlLayout kControls[] = {
        {L"BUTTON", L"OK", style::kDefaultButton, IDOK, 4680, 120, 1215, 375},
        {L"BUTTON", L"Cancel", style::kButton, IDCANCEL, 4680, 600, 1215, 375},
        {L"BUTTON", L"Hide on start", style::kCheckBox, IDC_CHKHIDEONSTART, 360, 1020, 3855, 375},
        {L"BUTTON", L"Run at StartUp", style::kCheckBox, IDC_CHKSTARTUP, 360, 480, 3855, 375},
        {L"BUTTON", L"Beep on block", style::kCheckBox, IDC_CHKBEEP, 360, 1560, 3855, 375},
        {L"BUTTON", L"Flash on block", style::kCheckBox, IDC_CHKFLASH, 360, 2100, 3855, 375},
        {L"BUTTON", L"Use Blocked/Allowed list", style::kCheckBox, IDC_CHKLIST, 360, 2640, 3855, 375},
        {L"BUTTON", L"Add icon to IE menu bar", style::kCheckBox, IDC_CHKICON, 360, 3180, 3855, 375},
        {L"BUTTON", L"Show a notice on block", style::kCheckBox, IDC_CHKNOTICE, 360, 3720, 3855, 375},
        {L"BUTTON", L"Options", style::kFrame, IDC_OPTIONSFRAME, 120, 120, 4335, 4275},
    };
    Lay().AddAll(Window(), kControls);
}

namespace {

constexpr std::pair<int, bool OptionBoxes::*> kOptionBoxes[] = {
    {IDC_CHKSTARTUP, &OptionBoxes::startUp}, {IDC_CHKHIDEONSTART, &OptionBoxes::hideOnStart},
    {IDC_CHKBEEP, &OptionBoxes::beep},       {IDC_CHKFLASH, &OptionBoxes::flash},
    {IDC_CHKLIST, &OptionBoxes::list},       {IDC_CHKICON, &OptionBoxes::ieIcon},
    {IDC_CHKNOTICE, &OptionBoxes::notice},
};

}  // namespace

void frmOptions::Form_Activate()
{
    const OptionBoxes boxes = m_logic.Load();
    const OptionBoxes forced = m_logic.Forced();
    for (const auto& [id, box] : kOptionBoxes) {
        SetChecked(Control(id), boxes.*box);
        EnableWindow(Control(id), !(forced.*box));
    }
}

void frmOptions::OnCommand(int id, int, HWND)
{
    if (id == IDOK)
        OKButton_Click();
    else if (id == IDCANCEL)
        CancelButton_Click();
}

void frmOptions::OKButton_Click()
{
    OptionBoxes boxes;
    for (const auto& [id, box] : kOptionBoxes)
        boxes.*box = IsChecked(Control(id));
    m_logic.Ok(boxes);
    Hide();
}

void frmOptions::CancelButton_Click()
{
    Hide();
}

// --- frmTips --------------------------------------------------------------------------------

frmTips::frmTips() : ModalWindow(L"Quellix Tips", 4680, 3195) {}

void frmTips::Form_Load()
{
    SetProgramIcon();
    static constexpr ControlLayout kControls[] = {
        {L"STATIC", L"- Quellix blocks about 90-95 % of all pop-up windows", style::kLabel, -1, 120, 120, 4440, 495},
        {L"STATIC", L"- You can add/remove/open links in Allow list by double clicking", style::kLabel, -1, 120, 615,
         4440, 495},
        {L"STATIC", L"- You can change some options from Tools/Options menu", style::kLabel, -1, 120, 1110, 4440, 495},
        {L"STATIC", L"- You can hide-unhide all IE windows by pressing window and Z key ", style::kLabel, -1, 120, 1605,
         4440, 495},
        {L"STATIC", L"- If you use Blocked/Allowed list, pop-ups may appear on screen but than disappear.",
         style::kLabel, -1, 120, 2100, 4440, 495},
        {L"BUTTON", L"OK", style::kDefaultButton, IDOK, 1732, 2700, 1215, 375},
    };
    Lay().AddAll(Window(), kControls);
}

void frmTips::OnCommand(int id, int, HWND)
{
    if (id == IDOK || id == IDCANCEL)
        OKButton_Click();
}

void frmTips::OKButton_Click()
{
    Hide();
}

// --- frmAbout -------------------------------------------------------------------------------

frmAbout::frmAbout(bool managed) : ModalWindow(L"Quellix", 5730, 3555), m_managed(managed) {}

void frmAbout::Form_Load()
{
    SetProgramIcon();
    static constexpr ControlLayout kControls[] = {
        {L"STATIC", L"", SS_BITMAP | SS_REALSIZECONTROL, IDC_LOGO, 240, 240, 1080, 1140},
        {L"STATIC", L"Quellix " QUELLIX_VERSION_SHORT, style::kLabel, IDC_TITLE, 1560, 240, 3900, 420},
        {L"STATIC", L"Quellix", style::kLabel, -1, 1560, 720, 3900, 255},
        {L"STATIC", kContactAddress + 7, style::kLabel | SS_NOTIFY, IDC_LINK_MAIL, 1560, 1080, 3900, 255},
        {L"STATIC", kWebAddress, style::kLabel | SS_NOTIFY, IDC_LINK_WEB, 1560, 1380, 3900, 255},
        {L"STATIC", L"", SS_ETCHEDHORZ, -1, 120, 2040, 5490, 30},
        {L"STATIC", kLicence, style::kLabel, -1, 120, 2160, 3960, 1200},
        {L"BUTTON", L"OK", style::kDefaultButton, IDOK, 4320, 2880, 1215, 375},
    };
    const Layout& lay = Lay();
    lay.AddAll(Window(), kControls);
    // In the free band above the rule, so that nothing else moves.
    if (m_managed) {
        static constexpr ControlLayout kManaged[] = {
            {L"STATIC", L"Some settings are managed by your organisation.", style::kLabel, IDC_MANAGED, 1560, 1740,
             3900, 255},
        };
        lay.AddAll(Window(), kManaged);
    }

    m_logo.reset(static_cast<HBITMAP>(LoadImageW(ThisInstance(), MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, lay.X(1080),
                                                 lay.Y(1140), 0)));
    SendMessageW(Control(IDC_LOGO), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_logo.get()));
    LOGFONTW font{};
    GetObjectW(lay.Font(), sizeof font, &font);
    font.lfWeight = FW_BOLD;
    font.lfHeight = font.lfHeight * 3 / 2;
    m_titleFont.reset(CreateFontIndirectW(&font));
    SendMessageW(Control(IDC_TITLE), WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont.get()), FALSE);
    GetObjectW(lay.Font(), sizeof font, &font);
    font.lfUnderline = TRUE;
    m_linkFont.reset(CreateFontIndirectW(&font));
    for (const int link : {IDC_LINK_MAIL, IDC_LINK_WEB})
        SendMessageW(Control(link), WM_SETFONT, reinterpret_cast<WPARAM>(m_linkFont.get()), FALSE);
}

void frmAbout::OnCommand(int id, int code, HWND)
{
    if (id == IDOK || id == IDCANCEL) {
        cmdOK_Click();
    } else if ((id == IDC_LINK_MAIL || id == IDC_LINK_WEB) && code == STN_CLICKED) {
        ShellExecuteW(Window(), L"open", id == IDC_LINK_MAIL ? kContactAddress : kWebAddress, nullptr, nullptr,
                      SW_SHOW);
    }
}

LRESULT frmAbout::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC) {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id == IDC_LINK_MAIL || id == IDC_LINK_WEB) {
            const LRESULT brush = ModalWindow::OnMessage(message, wParam, lParam);
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_HOTLIGHT));
            return brush;
        }
    }
    if (message == WM_SETCURSOR) {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
        if (id == IDC_LINK_MAIL || id == IDC_LINK_WEB) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
    }
    return ModalWindow::OnMessage(message, wParam, lParam);
}

void frmAbout::cmdOK_Click()
{
    Hide();
}

}  // namespace quellix
