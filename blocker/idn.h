// Internationalised host names in the ASCII form the browser sends to the network.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quellix {

// The ASCII form of a host name written with characters beyond ASCII: letter case, width
// and composed characters mapped as the browser maps them, the full stops of other scripts
// taken as dots, and each label that is not ASCII written in Punycode ("xn--..."). Nothing
// when the name cannot be converted. On Windows this is the system's own conversion
// (IdnToAscii), as the browser's; elsewhere a smaller one of our own that agrees with it on
// the common cases.
std::optional<std::string> HostToAscii(std::string_view utf8Host);

}  // namespace quellix
