#include "blocker/text_encoding.h"

#include <cstdint>

namespace quellix {

namespace {

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code point of the sequence at `pos` and its length; surrogates (WTF-8) are accepted
// when `strict` is false. Nothing for a byte that starts no sequence.
std::optional<std::pair<std::uint32_t, std::size_t>> NextCodePoint(std::string_view text, std::size_t pos, bool strict)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if (lead < 0x80)
        return std::pair{std::uint32_t{lead}, std::size_t{1}};
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + length > text.size())
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[pos + i]);
        if (!IsContinuation(c))
            return std::nullopt;
        code = (code << 6) | (c & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (code < least || code > 0x10FFFF || (strict && surrogate))
        return std::nullopt;
    return std::pair{code, length};
}

bool IsValidUtf8(std::string_view bytes)
{
    for (std::size_t pos = 0; pos < bytes.size();) {
        const auto next = NextCodePoint(bytes, pos, true);
        if (!next)
            return false;
        pos += next->second;
    }
    return true;
}

// UTF-16 code units in the platform's order. A lone surrogate travels through UTF-8 in the
// generalised form (WTF-8), so that no file loses a unit on its way in and back out.
std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string utf8;
    utf8.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        std::uint32_t code = utf16[i];
        const bool high = code >= 0xD800 && code <= 0xDBFF;
        if (high && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        AppendUtf8(utf8, code);
    }
    return utf8;
}

std::u16string Utf8ToUtf16(std::string_view utf8)
{
    std::u16string utf16;
    utf16.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto next = NextCodePoint(utf8, pos, false);
        // A byte that is no UTF-8 stands for the character of the same number.
        const std::uint32_t code = next ? next->first : static_cast<unsigned char>(utf8[pos]);
        pos += next ? next->second : 1;
        if (code >= 0x10000) {
            utf16 += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            utf16 += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            utf16 += static_cast<char16_t>(code);
        }
    }
    return utf16;
}

std::string Utf16BytesToUtf8(std::string_view bytes, bool bigEndian)
{
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    std::string utf8 = Utf16ToUtf8(units);
    // An odd last byte is half a unit: kept as it is, so that nothing is dropped.
    if (bytes.size() % 2)
        AppendUtf8(utf8, static_cast<unsigned char>(bytes.back()));
    return utf8;
}

std::string Utf8ToUtf16Bytes(std::string_view utf8, bool bigEndian)
{
    const std::u16string units = Utf8ToUtf16(utf8);
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (const char16_t unit : units) {
        const auto high = static_cast<char>(unit >> 8);
        const auto low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

bool HasHighByte(std::string_view bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

}  // namespace

std::optional<std::u32string> Utf8CodePoints(std::string_view utf8)
{
    std::u32string points;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto next = NextCodePoint(utf8, pos, true);
        if (!next)
            return std::nullopt;
        points += static_cast<char32_t>(next->first);
        pos += next->second;
    }
    return points;
}

DecodedText DecodeText(std::string_view bytes, CodePage& codePage)
{
    if (bytes.starts_with(kUtf8Mark))
        return {std::string(bytes.substr(kUtf8Mark.size())), TextEncoding::kUtf8Mark};
    if (bytes.starts_with(kUtf16LeMark))
        return {Utf16BytesToUtf8(bytes.substr(2), false), TextEncoding::kUtf16Le};
    if (bytes.starts_with(kUtf16BeMark))
        return {Utf16BytesToUtf8(bytes.substr(2), true), TextEncoding::kUtf16Be};
    // ASCII reads the same in every code page: no conversion for the usual file.
    if (!HasHighByte(bytes))
        return {std::string(bytes), TextEncoding::kCodePage};
    if (IsValidUtf8(bytes))
        return {std::string(bytes), TextEncoding::kUtf8};
    return {codePage.ToUtf8(bytes), TextEncoding::kCodePage};
}

std::optional<std::string> EncodeText(std::string_view utf8, TextEncoding encoding, CodePage& codePage)
{
    switch (encoding) {
    case TextEncoding::kCodePage:
        return codePage.FromUtf8(utf8);
    case TextEncoding::kUtf8:
        return std::string(utf8);
    case TextEncoding::kUtf8Mark:
        return std::string(kUtf8Mark) + std::string(utf8);
    case TextEncoding::kUtf16Le:
        return std::string(kUtf16LeMark) + Utf8ToUtf16Bytes(utf8, false);
    case TextEncoding::kUtf16Be:
        return std::string(kUtf16BeMark) + Utf8ToUtf16Bytes(utf8, true);
    }
    return std::nullopt;
}

std::string EncodeLosslessly(std::string_view utf8, TextEncoding preferred, CodePage& codePage)
{
    // What reads back differently (8-bit text that looks like UTF-8 or begins with a mark,
    // bytes that are no UTF-8 in a UTF-16 file) is written as UTF-8 behind a mark instead.
    if (std::optional<std::string> bytes = EncodeText(utf8, preferred, codePage)) {
        if (DecodeText(*bytes, codePage).utf8 == utf8)
            return std::move(*bytes);
    }
    return *EncodeText(utf8, TextEncoding::kUtf8Mark, codePage);
}

}  // namespace quellix
