#include "weight_table.h"

#include <cmath>
#include <cstring>

#if defined(_WIN32) && defined(__i386__)
#include <float.h>
#endif

namespace {

// The 32-bit Windows runtime computes sin() on the x87 unit even when every
// other double is computed with SSE2, and a Direct3D device created without
// FPU_PRESERVE leaves its thread's x87 unit at 24-bit precision: a few entries
// of the larger radii then come out one off. The table is computed at the
// x87 unit's full precision and the caller's setting is put back after.
class FullX87Precision {
public:
#if defined(_WIN32) && defined(__i386__)
    FullX87Precision() : saved_(_controlfp(0, 0) & _MCW_PC) { _controlfp(_PC_64, _MCW_PC); }
    ~FullX87Precision() { _controlfp(saved_, _MCW_PC); }

private:
    unsigned saved_;
#endif
};

// The double nearest to pi.
constexpr double kPi = 3.141592653589793;

// One kernel entry at the distance c / 255 for kernel order a, in fixed point.
// The operations and their order are fixed: the table must come out bit for
// bit the same on every build, and any double-precision evaluation in this
// order does (the value before the floor stays at least 2e-5 away from an
// integer except where the kernel is exactly 0). The floor, rather than a
// truncation toward zero, rounds halves up on both sides of zero.
int16_t KernelEntry(int c, double a)
{
    const double t = (c * kPi) / 255.0;
    const double s2 = std::sin(t / a);
    const double s1 = std::sin(t);
    double v = s1 * (a / (t * t));
    v = v * s2;
    v = v * 32767.0;
    v = v + 0.5;
    return static_cast<int16_t>(std::floor(v));
}

void Store(unsigned char* row, int texel, int channel, int16_t value)
{
    std::memcpy(row + texel * 4 + channel * 2, &value, sizeof value);
}

}  // namespace

int ClampRadius(int radius)
{
    if (radius < kMinRadius)
        return kMinRadius;
    if (radius > kMaxRadius)
        return kMaxRadius;
    return radius;
}

void FillWeightTable(void* bits, int pitch, int radius)
{
    [[maybe_unused]] const FullX87Precision precision;
    unsigned char* base = static_cast<unsigned char*>(bits);
    const double a = radius;
    // The distance counter runs on across rows: in row r, texel k it is
    // 255 r + k, the distance r + k/255 in units of 1/255.
    int c = 1;
    int r = 0;
    for (; r < radius && r < kWeightTableRows; ++r) {
        unsigned char* row = base + static_cast<std::ptrdiff_t>(r) * pitch;
        // Distance r itself, a whole number: 1 at 0, 0 elsewhere. Set, since
        // the expression is undefined at 0.
        const int16_t head = r == 0 ? kWeightOne : 0;
        Store(row, 0, 0, head);
        Store(row, kWeightTableColumns - 1, 1, head);
        for (int k = 1; k < kWeightTableColumns; ++k) {
            const int16_t w = KernelEntry(c, a);
            Store(row, k, 0, w);
            Store(row, kWeightTableColumns - 1 - k, 1, w);
            ++c;
        }
    }
    for (; r < kWeightTableRows; ++r)
        std::memset(base + static_cast<std::ptrdiff_t>(r) * pitch, 0, kWeightTableRowBytes);
}

TapCountPair TapCounts(int radius, int srcWidth, int srcHeight, int dstWidth, int dstHeight)
{
    auto count = [radius](int src, int dst) {
        if (dst <= 0)
            return 0;
        const int n = (radius * src + (dst + 1) / 2) / dst;
        return n > kMaxTapCount ? kMaxTapCount : n;
    };
    return {count(srcWidth, dstWidth), count(srcHeight, dstHeight)};
}
