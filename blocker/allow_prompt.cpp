#include "blocker/allow_prompt.h"

#include "blocker/popup_rules.h"
#include "blocker/url_list.h"
#include "blocker/web_address.h"

namespace quellix {

void OpenWebAddress(ShellOpener& shell, std::string_view address)
{
    if (const std::optional<std::string> safe = ShellSafeWebAddress(address))
        shell.Open(*safe);
}

AllowPrompt::AllowPrompt(UrlList& blocked, UrlList& allowed, ShellOpener& shell)
    : m_blocked(blocked), m_allowed(allowed), m_shell(shell)
{
}

const UrlList& AllowPrompt::Subject() const
{
    return m_allowMode ? m_allowed : m_blocked;
}

void AllowPrompt::Show(std::string_view wbMode)
{
    m_allowMode = wbMode == "Allow";
    const std::string_view entry = Subject().SelectedText();
    if (m_allowMode) {
        m_question = "Remove " + std::string(entry) + " from Allow list?";
        m_okCaption = "Remove";
    } else {
        m_question = "Add " + std::string(entry) + " to Allow list?";
        m_okCaption = "Add";
    }
}

bool AllowPrompt::Ok()
{
    if (m_allowMode) {
        if (const auto selected = m_allowed.Selected())
            m_allowed.Remove(*selected);
        return true;
    }
    if (m_blocked.Empty())
        return true;
    const std::string_view entry = m_blocked.SelectedText();
    return IsInList(m_allowed, entry) || m_allowed.Append(std::string(entry));
}

void AllowPrompt::Open()
{
    OpenWebAddress(m_shell, Subject().SelectedText());
}

}  // namespace quellix
