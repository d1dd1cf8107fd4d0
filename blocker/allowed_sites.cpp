#include "blocker/allowed_sites.h"

#include <optional>

#include "blocker/web_address.h"

namespace quellix {

namespace {

// Lower-case letters, digits, '-' and '_' in non-empty labels: the form NormalizeHost gives
// every name it accepts, and nearly every host a browser reports.
bool IsUsualHost(std::string_view host)
{
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.back() == '.')
        return false;
    char previous = '.';
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                        (c == '.' && previous != '.');
        if (!ok)
            return false;
        previous = c;
    }
    return true;
}

// An IPv4 address ends in digits, and an IPv6 literal is bracketed; no top-level domain
// does either. Neither has sites below it.
bool IsIpAddress(std::string_view host)
{
    if (host.starts_with('['))
        return true;
    const std::string_view last = host.substr(host.rfind('.') + 1);
    return !last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

bool AllowedSites::Add(std::string_view host)
{
    const std::optional<std::string> normal = NormalizeHost(host);
    if (!normal)
        return false;
    Refresh();
    if (m_hosts.contains(*normal))
        return false;
    return m_list.Append(*normal);
}

bool AllowedSites::AllowsPagesOf(std::string_view address) const
{
    if (m_list.Empty())
        return false;
    const std::optional<std::string_view> written = WebHostAsWritten(address);
    if (!written)
        return false;
    std::optional<std::string> normal;
    std::string_view host = *written;
    if (!IsUsualHost(host)) {
        normal = NormalizeHost(host);
        if (!normal)
            return false;
        host = *normal;
    }

    Refresh();
    if (IsIpAddress(host))
        return m_hosts.contains(host);
    for (;;) {
        if (m_hosts.contains(host))
            return true;
        const std::size_t dot = host.find('.');
        if (dot == std::string_view::npos)
            return false;
        host.remove_prefix(dot + 1);
    }
}

void AllowedSites::Refresh() const
{
    if (m_hostsRevision == m_list.Revision())
        return;
    m_hosts.clear();
    for (const std::string& entry : m_list.Entries()) {
        // A whole address written into the file by hand counts as its host.
        std::optional<std::string> host = NormalizeHost(entry);
        if (!host)
            host = WebHost(entry);
        if (host)
            m_hosts.insert(std::move(*host));
    }
    m_hostsRevision = m_list.Revision();
}

}  // namespace quellix
