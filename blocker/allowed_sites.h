// The sites whose pages may open windows: host names ("example.com"), each allowing the
// pages of that host and of every host below it ("www.example.com"), over http and https.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "blocker/url_list.h"

namespace quellix {

class AllowedSites {
public:
    // The entries as the file and the window hold them. Changes made to it directly (the
    // file's load, a removal) are seen at the next test.
    UrlList& List() { return m_list; }
    const UrlList& List() const { return m_list; }

    // Adds a host as a person writes it (any case, an internationalised name), in the form
    // it is matched in. False when it is no host name, is there already, or the list is full.
    bool Add(std::string_view host);

    // Whether the page at `address` lies on an allowed site: its host (http or https only)
    // is an entry or ends in "." and an entry. Case-insensitive; internationalised names
    // compare in their ASCII form; an IP address only matches itself. Costs one hash
    // lookup per label of the host, and allocates only for a host not written in the
    // usual form.
    bool AllowsPagesOf(std::string_view address) const;

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };

    void Refresh() const;

    UrlList m_list;
    // The entries as hosts in WebHost's form, rebuilt when the list has changed.
    mutable std::unordered_set<std::string, Hash, std::equal_to<>> m_hosts;
    mutable std::uint64_t m_hostsRevision = 0;
};

}  // namespace quellix
