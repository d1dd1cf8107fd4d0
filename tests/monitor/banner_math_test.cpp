#include "monitor/banner_math.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(BannerMathTest, TheGradientHas736LinesFromBlackToPaleBlue)
{
    const std::vector<Rgb> lines = GradientLines(735, 3);
    ASSERT_EQ(lines.size(), 736u);
    EXPECT_EQ(lines.front(), (Rgb{0, 0, 0}));
    EXPECT_EQ(lines.back(), (Rgb{145, 195, 225}));
    // Each component starts where its offset is passed, rounding y / 3 half to even.
    EXPECT_EQ(lines[61].blue, 0);
    EXPECT_EQ(lines[62].blue, 1);
    EXPECT_EQ(lines[151].green, 0);
    EXPECT_EQ(lines[152].green, 1);
    EXPECT_EQ(lines[301].red, 0);
    EXPECT_EQ(lines[302].red, 1);
}

TEST(BannerMathTest, AShortSurfaceStepsFasterAndComponentsStopAt255)
{
    const std::vector<Rgb> lines = GradientLines(100, 1);  // 255 / 100 rounds to 3
    EXPECT_EQ(lines[50], (Rgb{50, 100, 130}));
    EXPECT_EQ(lines[100], (Rgb{200, 250, 255}));
}

TEST(BannerMathTest, TheVersionReadsVThenTheNumbersWithoutPadding)
{
    EXPECT_EQ(VersionCaption(1, 1, 2), "v1.1.2");
    EXPECT_EQ(VersionCaption(10, 0, 7), "v10.0.7");
}

TEST(BannerMathTest, TwipsBecomePixelsAtTheRealResolution)
{
    EXPECT_EQ(TwipsToPixels(3135, 96), 209);
    EXPECT_EQ(TwipsToPixels(735, 96), 49);
    EXPECT_EQ(TwipsToPixels(3135, 144), 314);  // 150 %
    EXPECT_EQ(TwipsToPixels(735, 120), 61);    // 125 %
}

}  // namespace
}  // namespace tessaly
