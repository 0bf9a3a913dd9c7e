// The weight table computed on a thread that has created a device. Direct3D
// leaves that thread's x87 unit at single precision (the device is made
// without FPU_PRESERVE), and the runtime's sin() runs on the x87 unit even in
// an SSE2 build: not one entry may change, and the thread's setting must be
// the device's again afterwards.
#include "d3d_fixture.h"
#include "weight_table.h"

#include <float.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Table = std::vector<int16_t>;

Table Compute(int radius)
{
    Table table(kWeightTableRows * kWeightTableColumns * 2);
    FillWeightTable(table.data(), kWeightTableRowBytes, radius);
    return table;
}

int Differences(const Table& a, const Table& b)
{
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

int16_t U(const Table& t, int row, int k) { return t[(row * kWeightTableColumns + k) * 2]; }
int16_t V(const Table& t, int row, int k) { return t[(row * kWeightTableColumns + k) * 2 + 1]; }

TEST(WeightTableOnDeviceThread, DeviceCreationChangesNoEntry)
{
    std::vector<Table> before;
    for (int radius = kMinRadius; radius <= kMaxRadius; ++radius)
        before.push_back(Compute(radius));

    D3dSession session;
    session.Open();
    // The trap is real here: the device switched this thread to 24-bit x87.
    EXPECT_EQ(_controlfp(0, 0) & _MCW_PC, static_cast<unsigned>(_PC_24));

    for (int radius = kMinRadius; radius <= kMaxRadius; ++radius) {
        SCOPED_TRACE(radius);
        EXPECT_EQ(Differences(Compute(radius), before[radius - kMinRadius]), 0);
    }
    EXPECT_EQ(_controlfp(0, 0) & _MCW_PC, static_cast<unsigned>(_PC_24));

    // A few reference entries, computed after the device exists.
    const Table r3 = Compute(3);
    EXPECT_EQ(U(r3, 0, 64), 29138);
    EXPECT_EQ(V(r3, 0, 64), 8895);
    EXPECT_EQ(U(r3, 1, 64), -4362);
    EXPECT_EQ(V(r3, 1, 64), -2231);
    EXPECT_EQ(U(r3, 2, 128), 793);
    EXPECT_EQ(V(r3, 2, 128), 801);
    const Table r15 = Compute(15);
    EXPECT_EQ(U(r15, 14, 128), 25);
    EXPECT_EQ(V(r15, 14, 128), 25);

    session.Close();
}

}  // namespace
