#include "synthetic_source.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SyntheticSource, FillsOnlyTheFrameWithinTheStride)
{
    constexpr int kW = 37, kH = 23, kStride = 41;
    SyntheticSource source(kW, kH, 5);
    const YcPixel guard{-7777, -7777, -7777};
    std::vector<YcPixel> buffer(kStride * kH + 1, guard);
    ASSERT_TRUE(source.readFrame(4, buffer.data(), kStride));
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kStride; ++x) {
            const YcPixel p = buffer[y * kStride + x];
            if (x >= kW) {
                EXPECT_EQ(p.y, guard.y) << "written past the row at " << x << "," << y;
                continue;
            }
            EXPECT_TRUE(p.y >= 0 && p.y <= SyntheticSource::kMaxY) << x << "," << y;
            EXPECT_TRUE(p.cb >= -SyntheticSource::kMaxChroma && p.cb <= SyntheticSource::kMaxChroma);
            EXPECT_TRUE(p.cr >= -SyntheticSource::kMaxChroma && p.cr <= SyntheticSource::kMaxChroma);
        }
    }
    EXPECT_EQ(buffer.back().y, guard.y);
}

TEST(SyntheticSource, FramesAreRepeatableAndMove)
{
    SyntheticSource source(64, 48, 10);
    std::vector<YcPixel> a(64 * 48), b(64 * 48), c(64 * 48);
    ASSERT_TRUE(source.readFrame(3, a.data(), 64));
    ASSERT_TRUE(source.readFrame(7, b.data(), 64));
    ASSERT_TRUE(source.readFrame(3, c.data(), 64));
    auto same = [](const std::vector<YcPixel>& x, const std::vector<YcPixel>& y) {
        for (size_t i = 0; i < x.size(); ++i)
            if (x[i].y != y[i].y || x[i].cb != y[i].cb || x[i].cr != y[i].cr)
                return false;
        return true;
    };
    EXPECT_TRUE(same(a, c));
    EXPECT_FALSE(same(a, b));
}

TEST(SyntheticSource, RefusesFramesOutsideTheClip)
{
    SyntheticSource source(16, 16, 3);
    std::vector<YcPixel> buffer(16 * 16);
    EXPECT_FALSE(source.readFrame(-1, buffer.data(), 16));
    EXPECT_FALSE(source.readFrame(3, buffer.data(), 16));
    EXPECT_NE(source.error().find("outside"), std::string::npos);
}

}  // namespace
