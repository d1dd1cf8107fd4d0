#include <windows.h>

#include "blocker/idn.h"

namespace quellix {

std::optional<std::string> HostToAscii(std::string_view utf8Host)
{
    const int utf8Size = static_cast<int>(utf8Host.size());
    const int wideSize = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Host.data(), utf8Size, nullptr, 0);
    if (wideSize <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Host.data(), utf8Size, wide.data(), wideSize);
    // Unassigned code points pass, as the browser lets them: refusing them would make a
    // host unmatchable that the browser still opens.
    const int asciiSize = IdnToAscii(IDN_ALLOW_UNASSIGNED, wide.c_str(), wideSize, nullptr, 0);
    if (asciiSize <= 0)
        return std::nullopt;
    std::wstring ascii(static_cast<std::size_t>(asciiSize), L'\0');
    if (IdnToAscii(IDN_ALLOW_UNASSIGNED, wide.c_str(), wideSize, ascii.data(), asciiSize) != asciiSize)
        return std::nullopt;
    std::string out;
    for (const wchar_t c : ascii) {
        if (c >= 0x80)
            return std::nullopt;
        out += static_cast<char>(c);
    }
    return out;
}

}  // namespace quellix
