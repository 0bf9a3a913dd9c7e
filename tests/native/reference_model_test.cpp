#include "reference_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double Lanczos(double x, int a)
{
    if (x == 0)
        return 1;
    if (std::fabs(x) >= a)
        return 0;
    return a * std::sin(kPi * x) * std::sin(kPi * x / a) / (kPi * kPi * x * x);
}

TEST(ReferenceModel, MirrorsIndicesOutsideTheImage)
{
    const int n = 5;
    const int cases[][2] = {{0, 0}, {4, 4}, {-1, 0}, {-2, 1}, {-5, 4}, {-6, 4}, {5, 4},
                            {6, 3}, {9, 0}, {10, 0}, {23, 3}, {-10, 0}, {-11, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(MirrorIndex(c[0], n), c[1]) << "index " << c[0];
}

TEST(ReferenceModel, QuadInterpolantsPutPixelCentresOnWholeNumbers)
{
    struct Case {
        int i, j, srcW, srcH, dstW, dstH;
        float u, v, s, t;
    };
    const Case cases[] = {
        {0, 0, 32, 32, 64, 64, 0.0078125f, 0.0078125f, -0.25f, -0.25f},
        {0, 0, 64, 64, 32, 32, 0.015625f, 0.015625f, 0.5f, 0.5f},
        {1, 4, 32, 20, 96, 60, 0.015625f, 0.075f, 0.0f, 1.0f},
        {1279, 719, 1920, 1080, 1280, 720, 0.999609375f, 0.999305556f, 1918.75f, 1078.75f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pixel " << c.i << "," << c.j);
        const Interpolants at = QuadInterpolants(c.i, c.j, c.srcW, c.srcH, c.dstW, c.dstH);
        EXPECT_FLOAT_EQ(at.u, c.u);
        EXPECT_FLOAT_EQ(at.v, c.v);
        EXPECT_FLOAT_EQ(at.s, c.s);
        EXPECT_FLOAT_EQ(at.t, c.t);
    }
}

TEST(ReferenceModel, FlatFieldStaysFlat)
{
    struct Case {
        int srcW, srcH, dstW, dstH, radius;
    };
    const Case cases[] = {
        {40, 3, 97, 3, 1},  {40, 3, 97, 3, 15}, {97, 3, 40, 3, 2},  {3, 64, 3, 32, 3},  {3, 33, 3, 32, 7},
        {2, 37, 2, 80, 4},  {2048, 1, 32, 1, 15}, {1, 2048, 1, 32, 3}, {48, 40, 30, 70, 3}, {30, 70, 48, 40, 5},
    };
    const double levels[3] = {1234.0, -2047.0, 17.5};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.srcW << "x" << c.srcH << " to " << c.dstW << "x" << c.dstH
                                        << ", radius " << c.radius);
        PlanarImage flat = MakeImage(c.srcW, c.srcH);
        for (int ch = 0; ch < 3; ++ch)
            std::fill(flat.planes[ch].begin(), flat.planes[ch].end(), levels[ch]);
        const PlanarImage out = Resize(flat, c.dstW, c.dstH, c.radius);
        ASSERT_EQ(out.width, c.dstW);
        ASSERT_EQ(out.height, c.dstH);
        double worst = 0;
        for (int ch = 0; ch < 3; ++ch)
            for (double v : out.planes[ch])
                worst = std::max(worst, std::fabs(v - levels[ch]));
        EXPECT_LT(worst, 1e-9);
    }
}

TEST(ReferenceModel, SampleOnAPixelCentreReturnsThatPixel)
{
    // 32 to 96: every third target pixel, from the second on, lies on a
    // source centre (s = 0, 1, 2, ...).
    const PlanarImage source = HostRangePattern(32, 2, 7);
    for (int radius = kMinRadius; radius <= kMaxRadius; ++radius) {
        SCOPED_TRACE(testing::Message() << "radius " << radius);
        const WeightTexture table = MakeWeightTexture(radius);
        const PassParameters parameters = MakePassParameters(radius, 32, 2, 96, 2);
        const SampleTaps taps = EnlargeTaps(table, 5.0f, 32, parameters.pitch[0], radius);
        ASSERT_EQ(taps.taps.size(), 2u * radius);
        EXPECT_EQ(taps.taps[0].pixel, 5);
        EXPECT_EQ(taps.taps[0].weight, 1.0);
        for (size_t k = 1; k < taps.taps.size(); ++k)
            EXPECT_EQ(taps.taps[k].weight, 0.0) << "tap " << k;

        const PlanarImage out = RunPass(kHorizontalEnlarge, source, 96, 2, table, parameters);
        for (int x = 0; x < 32; ++x)
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_NEAR(out.at(ch, 3 * x + 1, 1), source.at(ch, x, 1), 1e-9) << "pixel " << x;
    }
}

TEST(ReferenceModel, RadiusOneNeverLeavesItsTwoPixels)
{
    const PlanarImage source = HostRangePattern(37, 37, 11);
    const WeightTexture table = MakeWeightTexture(1);
    for (int pass : {kHorizontalEnlarge, kVerticalEnlarge}) {
        const bool horizontal = pass == kHorizontalEnlarge;
        const int dstW = horizontal ? 101 : 37, dstH = horizontal ? 37 : 101;
        const PassParameters parameters = MakePassParameters(1, 37, 37, dstW, dstH);
        const PlanarImage out = RunPass(pass, source, dstW, dstH, table, parameters);
        for (int j = 0; j < dstH; ++j) {
            for (int i = 0; i < dstW; ++i) {
                const Interpolants at = QuadInterpolants(i, j, 37, 37, dstW, dstH);
                const int b = static_cast<int>(std::floor(horizontal ? at.s : at.t));
                for (int ch = 0; ch < 3; ++ch) {
                    const int line = horizontal ? j : i;
                    auto S = [&](int k) {
                        const int m = MirrorIndex(k, 37);
                        return horizontal ? source.at(ch, m, line) : source.at(ch, line, m);
                    };
                    const double lo = std::min(S(b), S(b + 1)), hi = std::max(S(b), S(b + 1));
                    const double v = out.at(ch, i, j);
                    ASSERT_TRUE(v >= lo - 1e-9 && v <= hi + 1e-9)
                        << "pass " << pass << " pixel " << i << "," << j << ": " << v << " outside " << lo << ".."
                        << hi;
                }
            }
        }
    }
}

TEST(ReferenceModel, EnlargingTapsMirrorAtTheEdge)
{
    // 32 to 64, radius 3, first pixel: s = -0.25, so b = -1 and f = 0.75.
    const WeightTexture table = MakeWeightTexture(3);
    const PassParameters parameters = MakePassParameters(3, 32, 32, 64, 64);
    const float s = QuadInterpolants(0, 0, 32, 32, 64, 64).s;
    const SampleTaps taps = EnlargeTaps(table, s, 32, parameters.pitch[0], 3);
    const int pixels[] = {0, 0, 1, 1, 2, 2};
    const double distances[] = {0.75, 0.25, 1.75, 1.25, 2.75, 2.25};
    ASSERT_EQ(taps.taps.size(), 6u);
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(taps.taps[k].pixel, pixels[k]) << "tap " << k;
        EXPECT_NEAR(taps.taps[k].weight, Lanczos(distances[k], 3), 1e-4) << "tap " << k;
    }
}

TEST(ReferenceModel, EnlargingWeightSumsStayNearOne)
{
    struct Case {
        int radius;
        double lo, hi;
    };
    const Case cases[] = {{1, 0.80, 1.0}, {2, 0.98, 1.02}, {3, 0.994, 1.006}, {8, 0.994, 1.006}, {15, 0.994, 1.006}};
    for (const Case& c : cases) {
        const WeightTexture table = MakeWeightTexture(c.radius);
        double lowest = 2;
        for (int i = 0; i < 64; ++i) {
            const float p = 10.0f + i / 64.0f;
            const SampleTaps taps = EnlargeTaps(table, p, 32, 1.0f / 32, c.radius);
            EXPECT_GE(taps.weightSum, c.lo) << "radius " << c.radius << ", f " << i / 64.0;
            EXPECT_LE(taps.weightSum, c.hi + 1e-12) << "radius " << c.radius << ", f " << i / 64.0;
            lowest = std::min(lowest, taps.weightSum);
        }
        if (c.radius == 1) {
            EXPECT_NEAR(lowest, 0.81, 0.01);  // at f = 0.5
        }
    }
}

TEST(ReferenceModel, HalvingSamplesSymmetricPairs)
{
    // 64 to 32 with radius 3, first pixel: s = 0.5, b = 0, f = 0.5; six
    // pairs at scaled distances 0.25, 0.75, ..., 2.75.
    const PassParameters parameters = MakePassParameters(3, 64, 64, 32, 32);
    ASSERT_EQ(parameters.rep[0], 6);
    const WeightTexture table = MakeWeightTexture(3);
    const float s = QuadInterpolants(0, 0, 64, 64, 32, 32).s;
    const SampleTaps taps = ReduceTaps(table, s, 64, parameters.pitch[0], parameters.ratio[0], 6);
    ASSERT_EQ(taps.taps.size(), 12u);
    const int pixelsA[] = {0, 0, 1, 2, 3, 4};
    for (int k = 0; k < 6; ++k) {
        const Tap& a = taps.taps[2 * k];
        const Tap& b = taps.taps[2 * k + 1];
        EXPECT_EQ(a.pixel, pixelsA[k]) << "pair " << k;
        EXPECT_EQ(b.pixel, k + 1) << "pair " << k;
        EXPECT_EQ(a.weight, b.weight) << "pair " << k;
        EXPECT_NEAR(a.weight, Lanczos(0.25 + 0.5 * k, 3), 1e-4) << "pair " << k;
    }
    EXPECT_NEAR(taps.weightSum, 2.0, 0.02);
}

TEST(ReferenceModel, ReducingWeightSumsFollowTheRatio)
{
    struct Case {
        int src, dst;
        double sum;
    };
    for (const Case& c : {Case{64, 32, 2.0}, Case{1920, 1280, 1.5}, Case{2048, 32, 63.8}}) {
        SCOPED_TRACE(testing::Message() << c.src << " to " << c.dst);
        const WeightTexture table = MakeWeightTexture(3);
        const PassParameters parameters = MakePassParameters(3, c.src, c.src, c.dst, c.dst);
        for (int i : {0, c.dst / 3, c.dst - 1}) {
            const float s = QuadInterpolants(i, 0, c.src, c.src, c.dst, c.dst).s;
            const SampleTaps taps =
                ReduceTaps(table, s, c.src, parameters.pitch[0], parameters.ratio[0], parameters.rep[0]);
            EXPECT_NEAR(taps.weightSum, c.sum, 0.02 * c.sum) << "pixel " << i;
            EXPECT_GT(taps.taps[0].weight, 0) << "pixel " << i;
            EXPECT_GT(taps.taps[1].weight, 0) << "pixel " << i;
        }
    }
}

TEST(ReferenceModel, DistancesAtOrBeyondTheRadiusWeighNothing)
{
    // f = 0 with ratio 0.5: tap A of pair k lies at scaled distance k / 2, so
    // every even pair from 2 on sits on a whole number. Forty pairs reach
    // row 19, which clamp addressing reads as the zero row 15.
    const WeightTexture table = MakeWeightTexture(3);
    const SampleTaps taps = ReduceTaps(table, 40.0f, 200, 1.0f / 200, 0.5f, 40);
    for (int k = 0; k < 40; ++k) {
        const double distance = 0.5 * k;
        const Tap& a = taps.taps[2 * k];
        if (k >= 2 && k % 2 == 0) {
            EXPECT_EQ(a.weight, 0.0) << "pair " << k << " at a whole distance";
        }
        if (distance >= 3) {
            EXPECT_EQ(a.weight, 0.0) << "pair " << k;
        }
        if (distance + 0.5 >= 3) {
            EXPECT_EQ(taps.taps[2 * k + 1].weight, 0.0) << "pair " << k;
        }
    }
}

TEST(ReferenceModel, CappedTapCountKeepsGainOne)
{
    // Radius 15 from 2048 to 32: 960 pairs wanted, 255 used; the taps reach
    // scaled distance about 3.98, where the kernel is cut.
    const PassParameters parameters = MakePassParameters(15, 2048, 1, 32, 1);
    ASSERT_EQ(parameters.rep[0], 255);
    const WeightTexture table = MakeWeightTexture(15);
    const float s = QuadInterpolants(16, 0, 2048, 1, 32, 1).s;
    const SampleTaps taps = ReduceTaps(table, s, 2048, parameters.pitch[0], parameters.ratio[0], 255);
    ASSERT_EQ(taps.taps.size(), 510u);
    EXPECT_NE(taps.taps.back().weight, 0.0);
    EXPECT_NE(taps.taps[508].weight, 0.0);

    PlanarImage ramp = MakeImage(2048, 1);
    for (int x = 0; x < 2048; ++x)
        for (int ch = 0; ch < 3; ++ch)
            ramp.at(ch, x, 0) = 1000.0 + ch;
    const PlanarImage out = RunPass(kHorizontalReduce, ramp, 32, 1, table, parameters);
    for (int i = 0; i < 32; ++i)
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_NEAR(out.at(ch, i, 0), 1000.0 + ch, 1e-9) << "pixel " << i;
}

TEST(ReferenceModel, TexelStoresRoundAndClamp)
{
    const double cases[][3] = {
        // value, signed, unsigned
        {12.6, 13, 13},          {-12.6, -13, -13},       {0.49, 0, 0},
        {40000, 32767, 32767},   {-32768, -32767, -32768}, {-40000, -32767, -32768},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StoreTexel(c[0], TexelStore::Exact), c[0]);
        EXPECT_EQ(StoreTexel(c[0], TexelStore::Signed), c[1]) << c[0];
        EXPECT_EQ(StoreTexel(c[0], TexelStore::Unsigned), c[2]) << c[0];
    }
}

}  // namespace
