#include "blocker/web_address.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "blocker/idn.h"

namespace quellix {

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'f');
}

// After "http://" or "https://", in any letter case; the scheme in lower case.
std::optional<std::pair<std::string_view, std::string_view>> SplitScheme(std::string_view text)
{
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (text.size() < scheme.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < scheme.size() && same; ++i)
            same = Lower(text[i]) == scheme[i];
        if (same)
            return std::pair{scheme, text.substr(scheme.size())};
    }
    return std::nullopt;
}

struct Authority {
    std::string_view userInfo;  // without its '@'; empty when there is none
    bool hasUserInfo = false;
    std::string_view host;
    std::string_view port;  // without its ':'
    std::string_view rest;  // path, query, fragment
};

// The browser ends the host at a backslash as at a slash, and so must we, or the host we
// judge would not be the one it goes to.
Authority SplitAuthority(std::string_view afterScheme)
{
    Authority parts;
    // One plain pass for the end and the last '@': this runs inside the browser's call for
    // every window a page opens.
    std::size_t end = 0;
    std::size_t at = std::string_view::npos;
    for (; end < afterScheme.size(); ++end) {
        const char c = afterScheme[end];
        if (c == '/' || c == '?' || c == '#' || c == '\\')
            break;
        if (c == '@')
            at = end;
    }
    std::string_view authority = afterScheme.substr(0, end);
    parts.rest = afterScheme.substr(end);
    if (at != std::string_view::npos) {
        parts.userInfo = authority.substr(0, at);
        parts.hasUserInfo = true;
        authority.remove_prefix(at + 1);
    }
    std::size_t colon = std::string_view::npos;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close != std::string_view::npos && close + 1 < authority.size() && authority[close + 1] == ':')
            colon = close + 1;
    } else {
        colon = authority.find(':');
    }
    parts.host = authority.substr(0, colon);
    if (colon != std::string_view::npos)
        parts.port = authority.substr(colon + 1);
    return parts;
}

// Empty, or a number from 0 to 65535 in at most five digits.
bool IsPort(std::string_view port)
{
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    unsigned value = 0;
    for (const char c : port)
        value = value * 10 + static_cast<unsigned>(c - '0');
    return value <= 65535;
}

// Percent-encodes what may not stand in an address as it is, keeping what is encoded already.
void AppendEncoded(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool encoded = c == '%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]);
        const bool unsafe = c <= 0x20 || c >= 0x7F ||
                            std::string_view("\"'<>\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos;
        if ((c == '%' && !encoded) || unsafe) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
}

}  // namespace

std::optional<std::string> NormalizeHost(std::string_view host)
{
    while (!host.empty() && (host.front() == ' ' || host.front() == '\t'))
        host.remove_prefix(1);
    while (!host.empty() && (host.back() == ' ' || host.back() == '\t'))
        host.remove_suffix(1);
    if (host.size() > 253 * 4)
        return std::nullopt;
    std::string ascii;
    if (std::any_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        std::optional<std::string> converted = HostToAscii(host);
        if (!converted)
            return std::nullopt;
        ascii = std::move(*converted);
        host = ascii;
    }
    if (host.ends_with('.'))
        host.remove_suffix(1);
    if (host.empty())
        return std::nullopt;

    std::string out;
    if (host.front() == '[') {
        // An IPv6 literal: hex digits, colons and (for an embedded IPv4 address) dots; at
        // least the two colons of "::", at most the seven of eight groups.
        const auto colons = std::count(host.begin(), host.end(), ':');
        if (host.size() > 47 || host.back() != ']' || colons < 2 || colons > 7)
            return std::nullopt;
        for (const char c : host.substr(1, host.size() - 2)) {
            if (!IsHexDigit(c) && c != ':' && c != '.')
                return std::nullopt;
            out += Lower(c);
        }
        return '[' + out + ']';
    }
    for (std::size_t start = 0; start <= host.size();) {
        const std::size_t end = std::min(host.find('.', start), host.size());
        const std::string_view label = host.substr(start, end - start);
        if (label.empty() || label.size() > 63)
            return std::nullopt;
        if (!out.empty())
            out += '.';
        for (const char c : label) {
            if (!IsHostCharacter(Lower(c)))
                return std::nullopt;
            out += Lower(c);
        }
        start = end + 1;
    }
    if (out.size() > 253)
        return std::nullopt;
    return out;
}

std::optional<std::string_view> WebHostAsWritten(std::string_view address)
{
    const auto scheme = SplitScheme(address);
    if (!scheme)
        return std::nullopt;
    return SplitAuthority(scheme->second).host;
}

std::optional<std::string> WebHost(std::string_view address)
{
    const std::optional<std::string_view> host = WebHostAsWritten(address);
    if (!host)
        return std::nullopt;
    return NormalizeHost(*host);
}

std::optional<std::string> ShellSafeWebAddress(std::string_view text)
{
    const auto scheme = SplitScheme(text);
    if (!scheme)
        return std::nullopt;
    const Authority parts = SplitAuthority(scheme->second);
    const std::optional<std::string> host = NormalizeHost(parts.host);
    if (!host || !IsPort(parts.port))
        return std::nullopt;

    std::string out(scheme->first);
    if (parts.hasUserInfo) {
        AppendEncoded(out, parts.userInfo);
        out += '@';
    }
    out += *host;
    if (!parts.port.empty()) {
        out += ':';
        out += parts.port;
    }
    // A backslash that ended the host is the slash the browser takes it for.
    std::string_view rest = parts.rest;
    if (rest.starts_with('\\')) {
        out += '/';
        rest.remove_prefix(1);
    }
    AppendEncoded(out, rest);
    if (out.size() > kMaxWebAddressLength)
        return std::nullopt;
    return out;
}

}  // namespace quellix
