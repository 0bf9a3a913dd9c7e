#include "resample_plan.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct PlanCase {
    int32_t srcWidth, srcHeight, dstWidth, dstHeight;
    int32_t midWidth, midHeight;
    int32_t first, second;
};

class PlanTable : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTable, MiddleSizeAndPassesAgree)
{
    const PlanCase& c = GetParam();
    const PlanSize mid = PlanMiddleSize(c.srcWidth, c.srcHeight, c.dstWidth, c.dstHeight);
    EXPECT_EQ(mid.width, c.midWidth);
    EXPECT_EQ(mid.height, c.midHeight);
    const PassPair passes = ChoosePassPair(c.srcWidth, c.srcHeight, c.dstWidth, c.dstHeight);
    EXPECT_EQ(passes.first, c.first);
    EXPECT_EQ(passes.second, c.second);
    EXPECT_EQ(PlanIsTwoPass(c.srcWidth, c.srcHeight, c.dstWidth, c.dstHeight), c.second != kPassNone);
    // In a two-pass plan the first pass draws the intermediate image at the
    // smaller width; the second pass then runs along the other axis.
    if (c.second != kPassNone) {
        EXPECT_EQ(mid.width, c.srcWidth < c.dstWidth ? c.srcWidth : c.dstWidth);
        const bool firstIsHorizontal = c.first == kPassReduceX || c.first == kPassEnlargeX;
        EXPECT_EQ(firstIsHorizontal, mid.width == c.dstWidth && mid.height == c.srcHeight);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllAxisCombinations, PlanTable,
    ::testing::Values(
        // both shrink, both grow, and the mixed cases
        PlanCase{1920, 1080, 1280, 720, 1280, 1080, kPassReduceX, kPassReduceY},
        PlanCase{1920, 480, 1280, 720, 1280, 480, kPassReduceX, kPassEnlargeY},
        PlanCase{640, 480, 1280, 360, 640, 360, kPassReduceY, kPassEnlargeX},
        PlanCase{640, 480, 1280, 720, 640, 720, kPassEnlargeY, kPassEnlargeX},
        // one axis changes: the first quad covers the destination
        PlanCase{1920, 720, 1280, 720, 1280, 720, kPassReduceX, kPassNone},
        PlanCase{640, 720, 1280, 720, 1280, 720, kPassEnlargeX, kPassNone},
        PlanCase{1280, 1080, 1280, 720, 1280, 720, kPassReduceY, kPassNone},
        PlanCase{1280, 480, 1280, 720, 1280, 720, kPassEnlargeY, kPassNone},
        // nothing changes
        PlanCase{640, 480, 640, 480, 640, 480, kPassNone, kPassNone},
        // one pixel of difference counts
        PlanCase{33, 32, 32, 33, 32, 32, kPassReduceX, kPassEnlargeY}));

TEST(PlanSizes, AcceptsOnlySidesWithinLimitsAndAStrideThatHoldsBothRows)
{
    struct Case {
        int32_t sw, sh, dw, dh, stride, maxW, maxH;
        bool valid;
    } cases[] = {
        {640, 480, 1280, 720, 1280, 4096, 4096, true},
        {32, 32, 32, 32, 32, 32, 32, true},
        {31, 480, 1280, 720, 1280, 4096, 4096, false},
        {640, 31, 1280, 720, 1280, 4096, 4096, false},
        {640, 480, 31, 720, 1280, 4096, 4096, false},
        {640, 480, 1280, 31, 1280, 4096, 4096, false},
        {4097, 480, 1280, 720, 4097, 4096, 4096, false},
        {640, 480, 1280, 4097, 1280, 4096, 4096, false},
        {640, 480, 1280, 720, 1279, 4096, 4096, false},  // stride shorter than the destination row
        {1280, 480, 640, 720, 1279, 4096, 4096, false},  // shorter than the source row
        {640, 480, 1280, 720, 1280, -1, -1, false},      // limits not known yet
        {INT_MIN, 480, 1280, 720, 1280, 4096, 4096, false},
        {640, 480, INT_MAX, 720, INT_MAX, INT_MAX, INT_MAX, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlanSizesValid(c.sw, c.sh, c.dw, c.dh, c.stride, c.maxW, c.maxH), c.valid)
            << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " stride " << c.stride << " max " << c.maxW;
}

TEST(PlanQuads, CoverEachTargetAndAddressTheImageItReads)
{
    float v[kQuadBufferFloats];
    // Two-pass plan 1920x1080 -> 1280x720 through 1280x1080.
    FillQuadVertices(v, 1920, 1080, 1280, 1080, 1280, 720);
    const float expected[8][8] = {
        {-0.5f, -0.5f, 1, 1, 0, 0, -0.5f, -0.5f},
        {1279.5f, -0.5f, 1, 1, 1, 0, 1919.5f, -0.5f},
        {-0.5f, 1079.5f, 1, 1, 0, 1, -0.5f, 1079.5f},
        {1279.5f, 1079.5f, 1, 1, 1, 1, 1919.5f, 1079.5f},
        {-0.5f, -0.5f, 1, 1, 0, 0, -0.5f, -0.5f},
        {1279.5f, -0.5f, 1, 1, 1, 0, 1279.5f, -0.5f},
        {-0.5f, 719.5f, 1, 1, 0, 1, -0.5f, 1079.5f},
        {1279.5f, 719.5f, 1, 1, 1, 1, 1279.5f, 1079.5f},
    };
    for (int vertex = 0; vertex < 8; ++vertex)
        for (int i = 0; i < kQuadVertexFloats; ++i)
            EXPECT_EQ(v[vertex * kQuadVertexFloats + i], expected[vertex][i]) << "vertex " << vertex << " item " << i;
    EXPECT_EQ(kQuadBufferBytes, 256);
    EXPECT_EQ(kSecondQuadOffset, 128);
}

TEST(PlanQuads, OnePassPlanFirstQuadCoversTheDestination)
{
    float v[kQuadBufferFloats];
    const PlanSize mid = PlanMiddleSize(1280, 480, 1280, 720);
    FillQuadVertices(v, 1280, 480, mid.width, mid.height, 1280, 720);
    EXPECT_EQ(v[3 * kQuadVertexFloats + 0], 1279.5f);
    EXPECT_EQ(v[3 * kQuadVertexFloats + 1], 719.5f);
    EXPECT_EQ(v[3 * kQuadVertexFloats + 6], 1279.5f);
    EXPECT_EQ(v[3 * kQuadVertexFloats + 7], 479.5f);
}

TEST(PlanQuads, LargeSidesRoundToTheNearestFloat)
{
    // 16777215 - 0.5 is not a float; the quad holds the nearest one.
    float v[kQuadBufferFloats];
    FillQuadVertices(v, 16777215, 32, 32, 32, 32, 32);
    EXPECT_EQ(v[1 * kQuadVertexFloats + 6], static_cast<float>(16777214.5));
}

TEST(PlanConstants, AreQuotientsOfTheSizes)
{
    const PlanConstants c = ComputePlanConstants(640, 480, 1280, 720);
    EXPECT_EQ(c.texelSize[0], static_cast<float>(1.0 / 640));
    EXPECT_EQ(c.texelSize[1], static_cast<float>(1.0 / 480));
    EXPECT_EQ(c.texelSize[2], 0.0f);
    EXPECT_EQ(c.texelSize[3], 0.0f);
    EXPECT_EQ(c.scale[0], 2.0f);
    EXPECT_EQ(c.scale[1], 1.5f);
    EXPECT_EQ(c.scale[2], 0.0f);
    EXPECT_EQ(c.scale[3], 0.0f);
    // Taken in double and rounded once: 1280/1920 is the float nearest 2/3.
    EXPECT_EQ(ComputePlanConstants(1920, 1080, 1280, 720).scale[0], static_cast<float>(2.0 / 3.0));
}

}  // namespace
