#include "blocker/allowed_sites.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>

#include "blocker/web_address.h"

namespace quellix {

namespace {

std::uint64_t HashOf(std::string_view host)
{
    // Never 0, which marks an empty slot.
    return std::hash<std::string_view>{}(host) | 1;
}

std::uint64_t LabelBit(std::size_t labels)
{
    return std::uint64_t{1} << (labels < 64 ? labels - 1 : 63);
}

// Where the dots of a host are: a host has at most 253 characters.
struct Dots {
    std::array<std::uint8_t, 127> at;
    std::size_t count = 0;
};

// The dots of a host in the form NormalizeHost gives every name it accepts (lower-case
// letters, digits, '-' and '_' in non-empty labels), and nearly every host a browser
// reports; false for any other host.
bool ScanUsualHost(std::string_view host, Dots& dots)
{
    if (host.empty() || host.size() > 253 || host.back() == '.')
        return false;
    std::size_t labelStart = 0;
    for (std::size_t i = 0; i < host.size(); ++i) {
        const char c = host[i];
        if (c == '.') {
            if (i == labelStart)
                return false;
            dots.at[dots.count++] = static_cast<std::uint8_t>(i);
            labelStart = i + 1;
        } else if (!IsHostCharacter(c)) {
            return false;
        }
    }
    return true;
}

// An IPv4 address ends in digits, which no top-level domain does; it has no sites below it.
bool IsIpv4Address(std::string_view host)
{
    const std::string_view last = host.substr(host.rfind('.') + 1);
    return !last.empty() && std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool AllowedSites::Add(std::string_view host)
{
    std::optional<std::string> normal = NormalizeHost(host);
    if (!normal)
        return false;
    Refresh();
    if (Contains(*normal) || !m_list.Append(*normal))
        return false;
    Insert(std::move(*normal));
    m_hostsRevision = m_list.Revision();
    return true;
}

bool AllowedSites::AllowsPagesOf(std::string_view address) const
{
    if (m_list.Empty() && m_policy.empty())
        return false;
    const std::optional<std::string_view> written = WebHostAsWritten(address);
    if (!written)
        return false;
    Refresh();
    if (written->starts_with('[')) {
        // An IPv6 literal matches itself alone.
        const std::optional<std::string> normal = NormalizeHost(*written);
        return normal && Contains(*normal);
    }
    if (const std::optional<bool> matches = MatchesUsualHost(*written))
        return *matches;
    // Not in the usual form (capitals, a final dot, an internationalised name): the slow
    // road, through the form the entries are in.
    const std::optional<std::string> normal = NormalizeHost(*written);
    return normal && MatchesUsualHost(*normal).value_or(false);
}

std::optional<bool> AllowedSites::MatchesUsualHost(std::string_view host) const
{
    Dots dots;
    if (!ScanUsualHost(host, dots))
        return std::nullopt;
    if (IsIpv4Address(host))
        return Contains(host);
    // The host itself, then each host above it, as far as entries have labels; a site of
    // one label (an intranet name, or a top-level domain) is that host alone.
    const std::size_t labels = dots.count + 1;
    if (m_labelCounts & LabelBit(labels) && Contains(host))
        return true;
    for (std::size_t i = 0; i + 1 < dots.count; ++i) {
        if (m_labelCounts & LabelBit(labels - 1 - i) && Contains(host.substr(dots.at[i] + 1u)))
            return true;
    }
    return false;
}

bool AllowedSites::Contains(std::string_view host) const
{
    if (m_table.empty())
        return false;
    const std::uint64_t hash = HashOf(host);
    const std::size_t mask = m_table.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot& at = m_table[slot];
        if (at.hash == 0)
            return false;
        if (at.hash == hash && m_hosts[at.host] == host)
            return true;
    }
}

void AllowedSites::SetPolicySites(std::vector<std::string> sites)
{
    m_policy = std::move(sites);
    Rebuild();
}

void AllowedSites::Refresh() const
{
    if (m_hostsRevision != m_list.Revision())
        Rebuild();
}

void AllowedSites::Rebuild() const
{
    m_hostsRevision = m_list.Revision();
    m_hosts.clear();
    m_table.clear();
    m_labelCounts = 0;
    for (const std::vector<std::string>* entries : {&m_list.Entries(), &m_policy}) {
        for (const std::string& entry : *entries) {
            // A whole address written into the file by hand counts as its host.
            std::optional<std::string> host = NormalizeHost(entry);
            if (!host)
                host = WebHost(entry);
            if (host && !Contains(*host))
                Insert(std::move(*host));
        }
    }
}

void AllowedSites::Insert(std::string host) const
{
    if (2 * (m_hosts.size() + 1) > m_table.size()) {
        m_table.assign(std::bit_ceil(std::max<std::size_t>(16, 4 * (m_hosts.size() + 1))), Slot{});
        for (std::uint32_t i = 0; i < m_hosts.size(); ++i)
            Place(HashOf(m_hosts[i]), i);
    }
    m_labelCounts |= LabelBit(static_cast<std::size_t>(std::count(host.begin(), host.end(), '.')) + 1);
    Place(HashOf(host), static_cast<std::uint32_t>(m_hosts.size()));
    m_hosts.push_back(std::move(host));
}

void AllowedSites::Place(std::uint64_t hash, std::uint32_t host) const
{
    const std::size_t mask = m_table.size() - 1;
    std::size_t slot = hash & mask;
    while (m_table[slot].hash != 0)
        slot = (slot + 1) & mask;
    m_table[slot] = {hash, host};
}

}  // namespace quellix
