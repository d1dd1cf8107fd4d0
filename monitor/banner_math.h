// The arithmetic of the control's banner, kept apart from the drawing so that it can be
// checked anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

struct Rgb {
    std::uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};

// The colours of the banner's dark-to-light gradient, one per line y = 0, 1, ... height
// (height + 1 lines), for a surface `height` units high and the given style.
std::vector<Rgb> GradientLines(int height, int style);

// "v" and the version numbers, in decimal, without leading zeros.
std::string VersionCaption(int major, int minor, int revision);

// Twips (1/1440 inch) to pixels at the given dots per inch, rounded.
int TwipsToPixels(int twips, int dpi);

}  // namespace tessaly
