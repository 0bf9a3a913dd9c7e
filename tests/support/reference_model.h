// A CPU model of the four resampling passes of the effect: the same tap
// frame, mirror rule, weight-table addressing (with the texture unit's
// linear filter over the table's texels) and float32 position arithmetic as
// the shaders, with the weighted sums in double. It gives the values a pass
// should output before the render target rounds them; tests compare GPU
// output with it under a tolerance.
#pragma once

#include "weight_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Three planes (Y, Cb, Cr) of width x height values, row by row.
struct PlanarImage {
    int width = 0;
    int height = 0;
    std::array<std::vector<double>, 3> planes;

    double at(int channel, int x, int y) const { return planes[channel][static_cast<std::size_t>(y) * width + x]; }
    double& at(int channel, int x, int y) { return planes[channel][static_cast<std::size_t>(y) * width + x]; }
};

PlanarImage MakeImage(int width, int height, double fill = 0.0);

// Test content in the host's range (Y 0..4096, Cb and Cr -2048..2048): random
// values and hard edges, different per channel, the same for the same seed.
PlanarImage HostRangePattern(int width, int height, unsigned seed);

// Effect pass indices.
enum PassIndex : int {
    kHorizontalReduce = 0,
    kHorizontalEnlarge = 1,
    kVerticalReduce = 2,
    kVerticalEnlarge = 3,
};

// Texture coordinate set 0 at the centre of target pixel (i, j) of a quad
// that maps a source of srcWidth x srcHeight pixels onto a target of
// dstWidth x dstHeight: u = (i + 0.5) / dstWidth, s = (i + 0.5) * srcWidth /
// dstWidth - 0.5, v and t likewise; exact values rounded to float.
struct Interpolants {
    float u, v, s, t;
};
Interpolants QuadInterpolants(int i, int j, int srcWidth, int srcHeight, int dstWidth, int dstHeight);

// Mirror addressing: the source pixel that index i reads in an extent of n.
int MirrorIndex(int i, int n);

// The weight texture: 16 rows of 256 (U, V) texels.
struct WeightTexture {
    std::vector<int16_t> texels;  // row-major, U then V per texel
    int16_t u(int row, int k) const { return texels[(static_cast<std::size_t>(row) * kWeightTableColumns + k) * 2]; }
    int16_t v(int row, int k) const { return texels[(static_cast<std::size_t>(row) * kWeightTableColumns + k) * 2 + 1]; }
};
WeightTexture MakeWeightTexture(int radius);

// A read of the table with linear filtering and clamp addressing at texture
// coordinates (wx, wy), in units of 1.0 = 32767.
struct WeightSample {
    double u;
    double v;
};
WeightSample SampleWeights(const WeightTexture& table, float wx, float wy);

// What the plug-in puts into the effect's numeric parameters.
struct PassParameters {
    int radius = 1;              // iRadius, clamped to 1..15
    int rep[2] = {0, 0};         // iRep
    float pitch[2] = {0, 0};     // fRszSrc: 1 / source width, 1 / source height
    float ratio[2] = {0, 0};     // fMinRt: destination / source, per axis
};
PassParameters MakePassParameters(int radius, int srcWidth, int srcHeight, int dstWidth, int dstHeight);

// The taps of one sample along the pass's axis, pair by pair (tap A of pair
// k, then tap B), each the source pixel after mirroring and its weight as
// read from the table.
struct Tap {
    int pixel;
    double weight;
};
struct SampleTaps {
    std::vector<Tap> taps;
    double weightSum = 0;
};

// Enlarging pass: p the axis coordinate, n the source extent along the axis,
// pitch its fRszSrc component, count the pairs (iRadius).
SampleTaps EnlargeTaps(const WeightTexture& table, float p, int n, float pitch, int count);
// Reducing pass: ratio the fMinRt component, count the pairs (iRep element).
SampleTaps ReduceTaps(const WeightTexture& table, float p, int n, float pitch, float ratio, int count);

// One pass over a whole image into a target of dstWidth x dstHeight (a
// horizontal pass keeps the height, a vertical one the width).
PlanarImage RunPass(int pass, const PlanarImage& source, int dstWidth, int dstHeight, const WeightTexture& table,
                    const PassParameters& parameters);

// How a texel format stores a pass's output: not at all (exact values), the
// signed format (rounded to nearest, clamped to -32767..32767) or the unsigned
// one (rounded, clamped to -32768..32767 in host units). Ties go to even; the
// device's choice for ties is not known.
enum class TexelStore { Exact, Signed, Unsigned };
double StoreTexel(double value, TexelStore store);

// The whole resize as the plug-in plans it: one pass per axis that changes,
// the intermediate stored as the texel format stores it, the output exact.
PlanarImage Resize(const PlanarImage& source, int dstWidth, int dstHeight, int radius,
                   TexelStore intermediate = TexelStore::Exact);
