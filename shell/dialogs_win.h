// The program's smaller windows: the confirmation dialog frmWB, the options dialog
// frmOptions, the tips window frmTips and the about window frmAbout.
#pragma once

#include "blocker/allow_prompt.h"
#include "blocker/url_list.h"
#include "shell/modal_window_win.h"
#include "shell/settings.h"

namespace quellix {

// Tells the user that a list cannot take another entry.
enum class FullList { kAllowList, kAllowedSites };
void TellListIsFull(HWND owner, FullList list);

// Asks whether to add a blocked address to the allow list, or to remove an allowed one.
class frmWB final : public ModalWindow {
public:
    explicit frmWB(AllowPrompt& prompt);
    // Opens the dialog for the mode, modal to `owner`.
    void Open(HWND owner, const char* wbMode);

private:
    void Form_Load() override;
    void Form_Activate() override;
    void OnCommand(int id, int code, HWND control) override;

    void OKButton_Click();
    void CancelButton_Click();
    void Open_Click();

    AllowPrompt& m_prompt;
};

class frmOptions final : public ModalWindow {
public:
    explicit frmOptions(OptionsDialogLogic& logic);

private:
    void Form_Load() override;
    void Form_Activate() override;
    void OnCommand(int id, int code, HWND control) override;

    void OKButton_Click();
    void CancelButton_Click();

    OptionsDialogLogic& m_logic;
};

class frmTips final : public ModalWindow {
public:
    frmTips();

private:
    void Form_Load() override;
    void OnCommand(int id, int code, HWND control) override;
    void OKButton_Click();
};

class frmAbout final : public ModalWindow {
public:
    // `managed`: some settings are set by policy, and the window says so.
    explicit frmAbout(bool managed = false);

    static constexpr wchar_t kContactAddress[] = L"mailto:support@quellix.example";
    static constexpr wchar_t kWebAddress[] = L"https://quellix.example/";
    // The terms the program is given under (LICENSE says the same).
    static constexpr wchar_t kLicence[] =
        L"Warning: this program is protected by copyright law. It may be copied and given away unchanged, but not "
        L"sold.";

private:
    void Form_Load() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void cmdOK_Click();

    bool m_managed;
    UniqueHbitmap m_logo;
    UniqueHfont m_linkFont;
    UniqueHfont m_titleFont;
};

}  // namespace quellix
