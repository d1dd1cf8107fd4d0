#include "monitor/banner_math.h"

#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

// Rounds to the nearest integer, halves to even, as the drawing's single-precision
// arithmetic did.
int RoundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

std::uint8_t Component(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

}  // namespace

std::vector<Rgb> GradientLines(int height, int style)
{
    std::vector<Rgb> lines;
    if (height < 0 || style == 0)
        return lines;
    int step = RoundHalfEven(255.0 / std::max(height, 1));
    if (step == 0)
        step = 1;
    lines.reserve(static_cast<std::size_t>(height) + 1);
    for (int y = 0; y <= height; ++y) {
        const int k = RoundHalfEven(static_cast<double>(static_cast<float>(y) * step / style));
        lines.push_back({Component(k - 100), Component(k - 50), Component(k - 20)});
    }
    return lines;
}

std::string VersionCaption(int major, int minor, int revision)
{
    return "v" + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
}

int TwipsToPixels(int twips, int dpi)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

}  // namespace tessaly
