#include "blocker/allow_prompt.h"

#include <algorithm>
#include <cctype>

#include "blocker/popup_rules.h"
#include "blocker/url_list.h"

namespace quellix {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

bool IsWebAddress(std::string_view text)
{
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (StartsWithNoCase(text, scheme))
            return text.size() > scheme.size();
    }
    return false;
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

void AllowPrompt::Ok()
{
    if (m_allowMode) {
        if (const auto selected = m_allowed.Selected())
            m_allowed.Remove(*selected);
        return;
    }
    if (m_blocked.Empty())
        return;
    const std::string_view entry = m_blocked.SelectedText();
    if (!IsInList(m_allowed, entry))
        m_allowed.Append(std::string(entry));
}

void AllowPrompt::Open()
{
    const std::string address(Subject().SelectedText());
    if (IsWebAddress(address))
        m_shell.Open(address);
}

}  // namespace quellix
