#include "blocker/block_notice.h"

#include <algorithm>

#include "blocker/web_address.h"

namespace quellix {

namespace {

// "Quellix blocked a pop-up from news.example. ...", or "3 pop-ups"; no site for a page
// without a host. WebHost's hosts hold letters, digits, '-', '_', '.', or an IPv6 literal's
// hex digits, colons and brackets: nothing a balloon could show as anything else.
std::string Text(std::string_view host, std::uint32_t count)
{
    std::string text = count == 1 ? "Quellix blocked a pop-up"
                                  : "Quellix blocked " + std::to_string(count) + " pop-ups";
    if (!host.empty()) {
        text += " from ";
        if (host.size() > BlockNotices::kMaxHostShown) {
            text += "...";
            host.remove_prefix(host.size() - BlockNotices::kMaxHostShown);
        }
        text += host;
    }
    text += count == 1 ? ". Click to see it." : ". Click to see them.";
    return text;
}

}  // namespace

std::optional<std::string> BlockNotices::Refused(std::string_view opener, std::uint64_t record, std::uint32_t now)
{
    std::string host = WebHost(opener).value_or("");
    if (host == m_noticedHost)
        m_noticedRecord = record;
    // A site whose quiet time is over with nothing left to count is as good as unknown.
    std::erase_if(m_sites, [now](const Site& site) { return now - site.noticedAt >= kQuietMs && !site.unnoticed; });

    std::uint32_t count = 1;
    auto site = std::find_if(m_sites.begin(), m_sites.end(), [&](const Site& s) { return s.host == host; });
    if (site != m_sites.end()) {
        // Unsigned arithmetic keeps the difference right across the wrap of the tick counter.
        if (now - site->noticedAt < kQuietMs) {
            ++site->unnoticed;
            return std::nullopt;
        }
        count = site->unnoticed + 1;
        site->noticedAt = now;
        site->unnoticed = 0;
    } else {
        if (m_sites.size() >= kMaxSites) {
            m_sites.erase(std::max_element(m_sites.begin(), m_sites.end(), [now](const Site& a, const Site& b) {
                return now - a.noticedAt < now - b.noticedAt;
            }));
        }
        m_sites.push_back({host, now, 0});
    }
    std::string text = Text(host, count);
    m_noticedHost = std::move(host);
    m_noticedRecord = record;
    return text;
}

}  // namespace quellix
