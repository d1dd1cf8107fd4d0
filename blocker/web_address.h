// Web addresses that come from web pages, taken apart without trusting them: the form in
// which one may be handed to the shell, and the host it names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quellix {

// A character of a host name in the form NormalizeHost gives: lower-case ASCII letters,
// digits, '-' and '_'.
constexpr bool IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// The longest address the browser itself takes.
inline constexpr std::size_t kMaxWebAddressLength = 2083;

// The address as the shell may be given it to open, or nothing: "http://" or "https://"
// (the scheme in any letter case, written in lower case) and a host, at most
// kMaxWebAddressLength characters once blanks, quotes, control characters, characters
// beyond ASCII and the others that are not allowed in an address are percent-encoded, so
// that no part of it can become another argument of the program that opens it. An
// internationalised host is written in its ASCII form.
std::optional<std::string> ShellSafeWebAddress(std::string_view text);

// The host of an http or https address, in lower case and ASCII form, without user info,
// port or a final dot; an IPv6 literal keeps its brackets. Nothing when there is none.
std::optional<std::string> WebHost(std::string_view address);

// The host of an http or https address exactly as the address writes it (letter case,
// final dot and all), without copying: the fast path for hosts already in WebHost's form.
std::optional<std::string_view> WebHostAsWritten(std::string_view address);

// A host name as a person writes it ("Example.COM", "bücher.example"), in the form
// WebHost gives; nothing when it is no host name.
std::optional<std::string> NormalizeHost(std::string_view host);

}  // namespace quellix
