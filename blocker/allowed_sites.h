// The sites whose pages may open windows: host names ("example.com"), each allowing the
// pages of that host and of every host below it ("www.example.com"), over http and https.
// A name of one label ("intranet", "com") allows that host alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "blocker/url_list.h"

namespace quellix {

class AllowedSites {
public:
    // The entries as the file and the window hold them. Changes made to it directly (the
    // file's load, a removal) are seen at the next test, or at Refresh.
    UrlList& List() { return m_list; }
    const UrlList& List() const { return m_list; }

    // The sites an administrator allows: matched as the entries are, but never part of the
    // list, so never saved to its file nor removed by the user.
    void SetPolicySites(std::vector<std::string> sites);
    const std::vector<std::string>& PolicySites() const { return m_policy; }

    // Adds a host as a person writes it (any case, an internationalised name), in the form
    // it is matched in. False when it is no host name, is there already, or the list is full.
    bool Add(std::string_view host);

    // Whether the page at `address` lies on an allowed site: its host (http or https only)
    // is an entry or ends in "." and an entry of two labels or more. Case-insensitive; internationalised names
    // compare in their ASCII form; an IP address only matches itself. It runs inside the
    // browser's call: one scan of the host, then one hash probe for each of its suffixes
    // that is as many labels long as some entry is; it allocates only for a host not
    // written in the usual lower-case form.
    bool AllowsPagesOf(std::string_view address) const;

    // Brings the table the test probes up to date with the list, outside the browser's call
    // (after a load, after a removal); the test itself does it when it finds it stale.
    void Refresh() const;

private:
    struct Slot {
        std::uint64_t hash = 0;  // 0: empty
        std::uint32_t host = 0;  // index into m_hosts
    };

    void Rebuild() const;
    void Insert(std::string host) const;
    void Place(std::uint64_t hash, std::uint32_t host) const;
    bool Contains(std::string_view host) const;
    // Whether the host or one above it is an entry; nothing when the host is not in the
    // form the entries are in.
    std::optional<bool> MatchesUsualHost(std::string_view host) const;

    UrlList m_list;
    std::vector<std::string> m_policy;
    // The entries and the policy's sites as hosts in WebHost's form, in an open-addressing table (a power of two,
    // at least twice their number); bit n - 1 of m_labelCounts says that some host has n labels (the
    // last bit: 64 or more). Rebuilt when the list has changed.
    mutable std::vector<std::string> m_hosts;
    mutable std::vector<Slot> m_table;
    mutable std::uint64_t m_labelCounts = 0;
    mutable std::uint64_t m_hostsRevision = 0;
};

}  // namespace quellix
