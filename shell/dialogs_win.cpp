#include "shell/dialogs_win.h"

#include <shellapi.h>

#include <tuple>

#include "base/utf.h"
#include "shell/resource.h"

namespace quellix {

namespace {

constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kCheckBox = WS_TABSTOP | BS_AUTOCHECKBOX;

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
    Lay().Add(Window(), L"STATIC", L"", SS_LEFT | SS_NOPREFIX, IDC_LABEL1, 120, 120, 5775, 1215);
    Lay().Add(Window(), L"BUTTON", L"OK", kButton | BS_DEFPUSHBUTTON, IDOK, 240, 1440, 1215, 375);
    Lay().Add(Window(), L"BUTTON", L"Open", kButton, IDC_OPEN, 2280, 1440, 1455, 375);
    Lay().Add(Window(), L"BUTTON", L"Cancel", kButton, IDCANCEL, 4560, 1440, 1215, 375);
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
        MessageBoxW(Window(), L"The allow list is full: it holds 32,767 addresses. Remove some before you add more.",
                    L"Quellix", MB_OK | MB_ICONINFORMATION);
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

// --- frmOptions -----------------------------------------------------------------------------

frmOptions::frmOptions(OptionsDialogLogic& logic) : ModalWindow(L"Options", 6030, 3990), m_logic(logic) {}

void frmOptions::Form_Load()
{
    SetProgramIcon();
    const Layout& lay = Lay();
    HWND window = Window();
    // Created in tab order: OK, Cancel, then the boxes from "Hide on start" on.
    lay.Add(window, L"BUTTON", L"OK", kButton | BS_DEFPUSHBUTTON, IDOK, 4680, 120, 1215, 375);
    lay.Add(window, L"BUTTON", L"Cancel", kButton, IDCANCEL, 4680, 600, 1215, 375);
    constexpr int kLeft = 360, kWidth = 3855, kHeight = 375, kFirst = 480, kStep = 540;
    lay.Add(window, L"BUTTON", L"Hide on start", kCheckBox, IDC_CHKHIDEONSTART, kLeft, kFirst + kStep, kWidth, kHeight);
    lay.Add(window, L"BUTTON", L"Run at StartUp", kCheckBox, IDC_CHKSTARTUP, kLeft, kFirst, kWidth, kHeight);
    lay.Add(window, L"BUTTON", L"Beep on block", kCheckBox, IDC_CHKBEEP, kLeft, kFirst + 2 * kStep, kWidth, kHeight);
    lay.Add(window, L"BUTTON", L"Flash on block", kCheckBox, IDC_CHKFLASH, kLeft, kFirst + 3 * kStep, kWidth, kHeight);
    lay.Add(window, L"BUTTON", L"Use Blocked/Allowed list", kCheckBox, IDC_CHKLIST, kLeft, kFirst + 4 * kStep, kWidth,
            kHeight);
    lay.Add(window, L"BUTTON", L"Add icon to IE menu bar", kCheckBox, IDC_CHKICON, kLeft, kFirst + 5 * kStep, kWidth,
            kHeight);
    // The frame goes last, behind the boxes it holds.
    HWND frame = lay.Add(window, L"BUTTON", L"Options", BS_GROUPBOX, IDC_OPTIONSFRAME, 120, 120, 4335, 3735);
    SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void frmOptions::Form_Activate()
{
    const OptionBoxes boxes = m_logic.Load();
    SetChecked(Control(IDC_CHKBEEP), boxes.beep);
    SetChecked(Control(IDC_CHKFLASH), boxes.flash);
    SetChecked(Control(IDC_CHKSTARTUP), boxes.startUp);
    SetChecked(Control(IDC_CHKLIST), boxes.list);
    SetChecked(Control(IDC_CHKHIDEONSTART), boxes.hideOnStart);
    SetChecked(Control(IDC_CHKICON), boxes.ieIcon);
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
    boxes.startUp = IsChecked(Control(IDC_CHKSTARTUP));
    boxes.hideOnStart = IsChecked(Control(IDC_CHKHIDEONSTART));
    boxes.beep = IsChecked(Control(IDC_CHKBEEP));
    boxes.flash = IsChecked(Control(IDC_CHKFLASH));
    boxes.list = IsChecked(Control(IDC_CHKLIST));
    boxes.ieIcon = IsChecked(Control(IDC_CHKICON));
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
    static const wchar_t* const kTips[] = {
        L"- Quellix blocks about 90-95 % of all pop-up windows",
        L"- You can add/remove/open links in Allow list by double clicking",
        L"- You can change some options from Tools/Options menu",
        L"- You can hide-unhide all IE windows by pressing window and Z key ",
        L"- If you use Blocked/Allowed list, pop-ups may appear on screen but than disappear.",
    };
    int top = 120;
    for (const wchar_t* tip : kTips) {
        Lay().Add(Window(), L"STATIC", tip, SS_LEFT | SS_NOPREFIX, -1, 120, top, 4440, 495);
        top += 495;
    }
    Lay().Add(Window(), L"BUTTON", L"OK", kButton | BS_DEFPUSHBUTTON, IDOK, 1732, 2700, 1215, 375);
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

frmAbout::frmAbout() : ModalWindow(L"Quellix", 5730, 3555) {}

void frmAbout::Form_Load()
{
    SetProgramIcon();
    const Layout& lay = Lay();
    HWND window = Window();

    m_logo.reset(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP,
                                                 lay.X(1080), lay.Y(1140), 0)));
    HWND logo = lay.Add(window, L"STATIC", L"", SS_BITMAP | SS_REALSIZECONTROL, -1, 240, 240, 1080, 1140);
    SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_logo.get()));

    LOGFONTW font{};
    GetObjectW(lay.Font(), sizeof font, &font);
    font.lfWeight = FW_BOLD;
    font.lfHeight = font.lfHeight * 3 / 2;
    m_titleFont.reset(CreateFontIndirectW(&font));
    HWND title = lay.Add(window, L"STATIC", L"Quellix 1.0", SS_LEFT | SS_NOPREFIX, -1, 1560, 240, 3900, 420);
    SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont.get()), FALSE);
    lay.Add(window, L"STATIC", L"Quellix", SS_LEFT | SS_NOPREFIX, -1, 1560, 720, 3900, 255);

    GetObjectW(lay.Font(), sizeof font, &font);
    font.lfUnderline = TRUE;
    m_linkFont.reset(CreateFontIndirectW(&font));
    for (const auto& [id, address, top] :
         {std::tuple{IDC_LINK_MAIL, kContactAddress + 7, 1080}, std::tuple{IDC_LINK_WEB, kWebAddress, 1380}}) {
        HWND link = lay.Add(window, L"STATIC", address, SS_LEFT | SS_NOPREFIX | SS_NOTIFY, id, 1560, top, 3900, 255);
        SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(m_linkFont.get()), FALSE);
    }

    lay.Add(window, L"STATIC", L"", SS_ETCHEDHORZ, -1, 120, 2040, 5490, 30);
    lay.Add(window, L"STATIC",
            L"Warning: this program is protected by copyright law. It may be copied and given away "
            L"unchanged, but not sold.",
            SS_LEFT | SS_NOPREFIX, -1, 120, 2160, 3960, 1200);
    lay.Add(window, L"BUTTON", L"OK", kButton | BS_DEFPUSHBUTTON, IDOK, 4320, 2880, 1215, 375);
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
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the hand
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
