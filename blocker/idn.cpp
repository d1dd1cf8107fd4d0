#include "blocker/idn.h"

#include <algorithm>
#include <cstdint>

#include "blocker/text_encoding.h"

namespace quellix {

namespace {

constexpr char32_t kCombiningGrave = 0x300, kCombiningAcute = 0x301, kCombiningCircumflex = 0x302,
                   kCombiningTilde = 0x303, kCombiningDiaeresis = 0x308, kCombiningRing = 0x30A,
                   kCombiningCedilla = 0x327;

// The precomposed small Latin letters a base letter and one combining mark make.
struct Composition {
    char32_t base;
    char32_t mark;
    char32_t composed;
};
constexpr Composition kCompositions[] = {
    {'a', kCombiningGrave, 0xE0},      {'a', kCombiningAcute, 0xE1},      {'a', kCombiningCircumflex, 0xE2},
    {'a', kCombiningTilde, 0xE3},      {'a', kCombiningDiaeresis, 0xE4},  {'a', kCombiningRing, 0xE5},
    {'c', kCombiningCedilla, 0xE7},    {'e', kCombiningGrave, 0xE8},      {'e', kCombiningAcute, 0xE9},
    {'e', kCombiningCircumflex, 0xEA}, {'e', kCombiningDiaeresis, 0xEB},  {'i', kCombiningGrave, 0xEC},
    {'i', kCombiningAcute, 0xED},      {'i', kCombiningCircumflex, 0xEE}, {'i', kCombiningDiaeresis, 0xEF},
    {'n', kCombiningTilde, 0xF1},      {'o', kCombiningGrave, 0xF2},      {'o', kCombiningAcute, 0xF3},
    {'o', kCombiningCircumflex, 0xF4}, {'o', kCombiningTilde, 0xF5},      {'o', kCombiningDiaeresis, 0xF6},
    {'u', kCombiningGrave, 0xF9},      {'u', kCombiningAcute, 0xFA},      {'u', kCombiningCircumflex, 0xFB},
    {'u', kCombiningDiaeresis, 0xFC},  {'y', kCombiningAcute, 0xFD},      {'y', kCombiningDiaeresis, 0xFF},
};

// Small letters for the capitals of Latin-1, Latin Extended-A, Greek and Cyrillic; ASCII for
// the full-width forms; a dot for the full stops of East Asian scripts.
char32_t Map(char32_t c)
{
    if (c == 0x3002 || c == 0xFF0E || c == 0xFF61)
        return '.';
    if (c >= 0xFF01 && c <= 0xFF5E)
        c -= 0xFEE0;
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c == 0x178)
        return 0xFF;
    const bool evenCapital = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool oddCapital = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenCapital && c % 2 == 0) || (oddCapital && c % 2 == 1))
        return c + 1;
    return c;
}

// Punycode (RFC 3492) of one label.
std::optional<std::string> Punycode(const std::u32string& input)
{
    constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
    auto digit = [](std::uint32_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + d - 26); };
    auto adapt = [&](std::uint32_t delta, std::uint32_t points, bool first) {
        delta = first ? delta / kDamp : delta / 2;
        delta += delta / points;
        std::uint32_t k = 0;
        for (; delta > ((kBase - kTMin) * kTMax) / 2; k += kBase)
            delta /= kBase - kTMin;
        return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
    };

    std::string output;
    for (const char32_t c : input) {
        if (c < 0x80)
            output += static_cast<char>(c);
    }
    const auto basic = static_cast<std::uint32_t>(output.size());
    if (basic > 0)
        output += '-';
    std::uint32_t n = 0x80, delta = 0, bias = 72, handled = basic;
    while (handled < input.size()) {
        std::uint32_t next = UINT32_MAX;
        for (const char32_t c : input) {
            if (c >= n && c < next)
                next = c;
        }
        if ((next - n) > (UINT32_MAX - delta) / (handled + 1))
            return std::nullopt;
        delta += (next - n) * (handled + 1);
        n = next;
        for (const char32_t c : input) {
            if (c < n && ++delta == 0)
                return std::nullopt;
            if (c != n)
                continue;
            std::uint32_t q = delta;
            for (std::uint32_t k = kBase;; k += kBase) {
                const std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
                if (q < t)
                    break;
                output += digit(t + (q - t) % (kBase - t));
                q = (q - t) / (kBase - t);
            }
            output += digit(q);
            bias = adapt(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return output;
}

}  // namespace

std::optional<std::string> HostToAscii(std::string_view utf8Host)
{
    const std::optional<std::u32string> points = Utf8CodePoints(utf8Host);
    if (!points)
        return std::nullopt;
    std::u32string mapped;
    for (const char32_t c : *points) {
        const char32_t m = Map(c);
        const auto composition = std::find_if(std::begin(kCompositions), std::end(kCompositions),
                                              [&](const Composition& k) {
                                                  return !mapped.empty() && k.base == mapped.back() && k.mark == m;
                                              });
        if (composition != std::end(kCompositions))
            mapped.back() = composition->composed;
        else
            mapped += m;
    }
    std::string out;
    for (std::size_t start = 0; start <= mapped.size();) {
        const std::size_t end = std::min(mapped.find(U'.', start), mapped.size());
        const std::u32string label = mapped.substr(start, end - start);
        if (start > 0)
            out += '.';
        if (std::all_of(label.begin(), label.end(), [](char32_t c) { return c < 0x80; })) {
            for (const char32_t c : label)
                out += static_cast<char>(c);
        } else {
            const std::optional<std::string> encoded = Punycode(label);
            if (!encoded)
                return std::nullopt;
            out += "xn--" + *encoded;
        }
        start = end + 1;
    }
    return out;
}

}  // namespace quellix
