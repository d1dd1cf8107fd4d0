// The address canonicaliser under arbitrary input: what it gives the shell is well formed,
// comes back unchanged when fed in again, and names the host the input named.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "blocker/web_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quellix;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const std::optional<std::string> host = NormalizeHost(text)) {
        if (NormalizeHost(*host) != host)
            __builtin_trap();
        for (const char c : *host) {
            if (!IsHostCharacter(c) && c != '.' && c != ':' && c != '[' && c != ']')
                __builtin_trap();
        }
    }

    const std::optional<std::string> safe = ShellSafeWebAddress(text);
    if (!safe)
        return 0;
    if (safe->size() > kMaxWebAddressLength || !(safe->starts_with("http://") || safe->starts_with("https://")))
        __builtin_trap();
    for (const char c : *safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || std::string_view("\"'<>\\^`{|}").find(c) != std::string_view::npos)
            __builtin_trap();
    }
    if (ShellSafeWebAddress(*safe) != safe || WebHost(*safe) != WebHost(text))
        __builtin_trap();
    return 0;
}
