// What the confirmation dialog frmWB says and does, without the dialog itself. The dialog
// asks about the selected entry of one list: in "Allow" mode whether to remove it from the
// allow list, in "Block" mode whether to add a blocked address to the allow list.
#pragma once

#include <string>
#include <string_view>

namespace quellix {

class UrlList;

// ShellExecuteA(owner, "open", address, nullptr, nullptr, SW_SHOW); its result is not looked at.
class ShellOpener {
public:
    virtual void Open(const std::string& address) = 0;

protected:
    ~ShellOpener() = default;
};

// The lists' entries come from web pages, so only plain web addresses are handed to the
// shell: "http://" or "https://" (in any letter case) followed by something.
bool IsWebAddress(std::string_view text);

class AllowPrompt {
public:
    AllowPrompt(UrlList& blocked, UrlList& allowed, ShellOpener& shell);

    // Each opening: any mode other than "Allow" counts as "Block".
    void Show(std::string_view wbMode);

    bool AllowMode() const { return m_allowMode; }
    const std::string& Question() const { return m_question; }
    const std::string& OkCaption() const { return m_okCaption; }

    // OKButton: remove the selected allowed address, or allow the selected blocked one.
    void Ok();
    // Open: opens the address the dialog is about, if it is a web address.
    void Open();

private:
    const UrlList& Subject() const;

    UrlList& m_blocked;
    UrlList& m_allowed;
    ShellOpener& m_shell;
    bool m_allowMode = false;
    std::string m_question;
    std::string m_okCaption;
};

}  // namespace quellix
