#include "weight_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A locked level as the device hands it out: rows pitch bytes apart.
struct LockedTable {
    explicit LockedTable(int radius, int pitch = kWeightTableRowBytes, unsigned char fill = 0x5A)
        : pitch_(pitch), bytes_(static_cast<size_t>(pitch) * (kWeightTableRows - 1) + kWeightTableRowBytes, fill)
    {
        FillWeightTable(bytes_.data(), pitch, radius);
    }
    int16_t u(int row, int k) const { return read(row, k, 0); }
    int16_t v(int row, int k) const { return read(row, k, 1); }
    unsigned char byte(size_t i) const { return bytes_[i]; }
    size_t size() const { return bytes_.size(); }

private:
    int16_t read(int row, int k, int channel) const
    {
        int16_t value;
        std::memcpy(&value, bytes_.data() + static_cast<size_t>(row) * pitch_ + k * 4 + channel * 2, 2);
        return value;
    }
    int pitch_;
    std::vector<unsigned char> bytes_;
};

// The kernel in fixed point, evaluated independently of the table code (long
// double, the textbook form); the entries keep far enough from a rounding
// boundary for both to agree.
int Expected(int radius, int distance255)
{
    if (distance255 == 0)
        return 32767;
    const long double pi = 3.141592653589793238462643383279502884L;
    const long double x = distance255 / 255.0L;
    const long double l = radius * std::sin(pi * x) * std::sin(pi * x / radius) / (pi * pi * x * x);
    return static_cast<int>(std::floor(32767.0L * l + 0.5L));
}

struct Entry {
    int radius, row, k, u, v;
};

TEST(WeightTable, MatchesReferenceEntries)
{
    const Entry entries[] = {
        {3, 0, 0, 32767, 0},   {3, 0, 1, 32766, 107},   {3, 0, 64, 29138, 8895},
        {3, 0, 128, 19835, 20005}, {3, 0, 192, 8730, 29246}, {3, 0, 254, 107, 32766},
        {3, 0, 255, 0, 32767}, {3, 1, 0, 0, 0},         {3, 1, 64, -4362, -2231},
        {3, 1, 128, -4415, -4438}, {3, 1, 255, 0, 0},   {3, 2, 128, 793, 801},
        {3, 2, 254, 0, 26},    {3, 3, 128, 0, 0},       {3, 15, 77, 0, 0},
        {1, 0, 128, 13176, 13384}, {2, 1, 128, -2075, -2099}, {15, 14, 128, 25, 25},
        {15, 15, 128, 0, 0},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(testing::Message() << "radius " << e.radius << " row " << e.row << " k " << e.k);
        const LockedTable table(e.radius);
        EXPECT_EQ(table.u(e.row, e.k), e.u);
        EXPECT_EQ(table.v(e.row, e.k), e.v);
    }
}

TEST(WeightTable, SmallestRadius3EntryIsTheNegativeLobe)
{
    const LockedTable table(3);
    int smallest = INT_MAX;
    for (int row = 0; row < kWeightTableRows; ++row)
        for (int k = 0; k < kWeightTableColumns; ++k)
            smallest = std::min({smallest, int(table.u(row, k)), int(table.v(row, k))});
    EXPECT_EQ(smallest, -4825);
}

// Every radius: computed rows follow the kernel (the counter running on from
// row to row), mirror U into V, end in 0; the rest of the rows are zero.
TEST(WeightTable, EveryRadiusFollowsTheKernelAndItsMirror)
{
    for (int radius = kMinRadius; radius <= kMaxRadius; ++radius) {
        SCOPED_TRACE(testing::Message() << "radius " << radius);
        const LockedTable table(radius);
        int mismatches = 0;
        for (int row = 0; row < kWeightTableRows; ++row) {
            for (int k = 0; k < kWeightTableColumns; ++k) {
                const int u = table.u(row, k), v = table.v(row, k);
                if (row >= radius) {
                    mismatches += u != 0 || v != 0;
                    continue;
                }
                mismatches += u != Expected(radius, 255 * row + k) * (row == 0 || k != 0);
                mismatches += v != table.u(row, 255 - k);
            }
            if (row < radius) {
                EXPECT_EQ(table.u(row, 255), 0) << "row " << row;
                EXPECT_EQ(table.v(row, 0), 0) << "row " << row;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(WeightTable, RadiusOneHasNoNegativeLobe)
{
    const LockedTable table(1);
    for (int k = 0; k < kWeightTableColumns; ++k) {
        EXPECT_GE(table.u(0, k), 0) << k;
        EXPECT_LE(table.u(0, k), 32767) << k;
    }
}

TEST(WeightTable, WritesOnlyTheFirst1024BytesOfEachRow)
{
    constexpr int kPitch = 1024 + 40;
    constexpr unsigned char kGuard = 0xC3;
    for (int radius : {1, 3, 15}) {
        SCOPED_TRACE(testing::Message() << "radius " << radius);
        const LockedTable wide(radius, kPitch, kGuard);
        const LockedTable packed(radius);
        for (int row = 0; row < kWeightTableRows; ++row) {
            for (int k = 0; k < kWeightTableColumns; ++k) {
                ASSERT_EQ(wide.u(row, k), packed.u(row, k)) << row << "," << k;
                ASSERT_EQ(wide.v(row, k), packed.v(row, k)) << row << "," << k;
            }
            if (row + 1 < kWeightTableRows) {
                for (size_t i = kWeightTableRowBytes; i < kPitch; ++i)
                    ASSERT_EQ(wide.byte(static_cast<size_t>(row) * kPitch + i), kGuard) << "row " << row;
            }
        }
    }
}

TEST(WeightTable, ZeroesRowsLeftFromAnEarlierRadius)
{
    std::vector<unsigned char> bits(kWeightTableRows * kWeightTableRowBytes);
    FillWeightTable(bits.data(), kWeightTableRowBytes, 15);
    FillWeightTable(bits.data(), kWeightTableRowBytes, 2);
    const LockedTable fresh(2, kWeightTableRowBytes, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        ASSERT_EQ(bits[i], fresh.byte(i)) << "byte " << i;
}

TEST(ClampRadius, KeepsTheRadiusWithin1To15)
{
    const int cases[][2] = {{INT_MIN, 1}, {-5, 1}, {0, 1}, {1, 1}, {7, 7}, {15, 15}, {16, 15}, {INT_MAX, 15}};
    for (const auto& c : cases)
        EXPECT_EQ(ClampRadius(c[0]), c[1]) << "radius " << c[0];
}

TEST(TapCounts, RoundRadiusTimesSourceOverDestination)
{
    struct Case {
        int radius, srcW, srcH, dstW, dstH, repX, repY;
    };
    const Case cases[] = {
        {3, 1920, 640, 1280, 480, 5, 4},    // 4.5 goes up; 640 to 480 gives 4
        {1, 49, 32, 33, 2048, 2, 0},        // half of 33 taken as 17; strong enlargement gives 0
        {15, 2048, 2048, 32, 33, 255, 255}, // 960 and 931, capped
        {3, 64, 200, 32, 120, 6, 5},
        {1, 3, 5, 2, 2, 2, 3},              // 1.5 and 2.5 go up
        {2, 32, 32, 32, 32, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "radius " << c.radius << ", " << c.srcW << "x" << c.srcH << " to "
                                        << c.dstW << "x" << c.dstH);
        const TapCountPair reps = TapCounts(c.radius, c.srcW, c.srcH, c.dstW, c.dstH);
        EXPECT_EQ(reps.repX, c.repX);
        EXPECT_EQ(reps.repY, c.repY);
    }
}

}  // namespace
