// The Lanczos weight table that the resampling shaders read through the
// texture unit, and the tap counts of the reducing passes. Plain C++, no
// platform types: the caller locks the texture and hands over its bits.
#pragma once

#include <cstdint>

// Table geometry: 16 rows of 256 texels, each texel two signed 16-bit weights
// (U first, then V), 32767 standing for 1.0.
constexpr int kWeightTableRows = 16;
constexpr int kWeightTableColumns = 256;
constexpr int kWeightTableRowBytes = kWeightTableColumns * 4;
constexpr int kWeightOne = 32767;

// Radii the filter supports.
constexpr int kMinRadius = 1;
constexpr int kMaxRadius = 15;

// The largest loop count a ps_3_0 rep instruction accepts.
constexpr int kMaxTapCount = 255;

// Clamps a radius to 1..15.
int ClampRadius(int radius);

// Writes all 16 rows of the table for the given radius. Row r starts at
// bits + r * pitch; only its first 1024 bytes are written, so bytes of a
// longer pitch are left as they were. Rows from the radius on are zeroed.
// For a row r below the radius, texel k holds U = W(r + k/255) and
// V = W(r + 1 - k/255), W the kernel in fixed point.
void FillWeightTable(void* bits, int pitch, int radius);

// Tap pairs per output pixel of the reducing passes, horizontal and vertical.
struct TapCountPair {
    int repX;
    int repY;
};

// radius * source / destination per axis, rounded to nearest with halves up
// (the half of an odd destination is taken as (size + 1) / 2), at most 255.
// Integer arithmetic only. The radius is used as given; destination sizes
// must be positive (a non-positive one yields 0 taps for that axis).
TapCountPair TapCounts(int radius, int srcWidth, int srcHeight, int dstWidth, int dstHeight);
