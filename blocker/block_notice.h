// The notice that tells the user, as it happens, that a pop-up was refused and which site's
// page asked for it: at most one for a site in kQuietMs, the refusals in between counted
// into that site's next notice. Judged when a refusal comes, so nothing waits on a timer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellix {

class BlockNotices {
public:
    static constexpr std::uint32_t kQuietMs = 30'000;
    // Sites remembered at once; beyond that the one noticed longest ago is forgotten.
    static constexpr std::size_t kMaxSites = 256;
    // A host is named by at most this many of its last characters, where a site's own
    // name is: a page's address is the page's to choose, and a balloon holds 255.
    static constexpr std::size_t kMaxHostShown = 60;

    // A refusal of a pop-up that the page at `opener` asked for, logged as `record`: the
    // text of the notice to show now, or nothing while that site's last one is recent.
    std::optional<std::string> Refused(std::string_view opener, std::uint64_t record, std::uint32_t now);
    // The newest record of the site the latest notice named: the one its click shows.
    std::uint64_t NoticedRecord() const { return m_noticedRecord; }

private:
    struct Site {
        std::string host;  // as WebHost gives it; empty for pages without one
        std::uint32_t noticedAt = 0;
        std::uint32_t unnoticed = 0;  // refusals since its notice
    };

    std::vector<Site> m_sites;
    std::optional<std::string> m_noticedHost;
    std::uint64_t m_noticedRecord = 0;
};

}  // namespace quellix
