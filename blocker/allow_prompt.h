// What the confirmation dialog frmWB says and does, without the dialog itself. The dialog
// asks about the selected entry of one list: in "Allow" mode whether to remove it from the
// allow list, in "Block" mode whether to add a blocked address to the allow list.
#pragma once

#include <string>
#include <string_view>

namespace quellix {

class UrlList;

// ShellExecute(owner, "open", address, nullptr, nullptr, SW_SHOW); its result is not
// looked at. It is given only what ShellSafeWebAddress made of an address.
class ShellOpener {
public:
    virtual void Open(const std::string& address) = 0;

protected:
    ~ShellOpener() = default;
};

// The lists' entries come from web pages: only a well-formed http or https address, in the
// form ShellSafeWebAddress gives it, reaches the shell.
void OpenWebAddress(ShellOpener& shell, std::string_view address);

class AllowPrompt {
public:
    AllowPrompt(UrlList& blocked, UrlList& allowed, ShellOpener& shell);

    // Each opening: any mode other than "Allow" counts as "Block".
    void Show(std::string_view wbMode);

    bool AllowMode() const { return m_allowMode; }
    const std::string& Question() const { return m_question; }
    const std::string& OkCaption() const { return m_okCaption; }

    // OKButton: remove the selected allowed address, or allow the selected blocked one.
    // False when the allow list is full and refused it.
    bool Ok();
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
