// The arithmetic of a resampling plan: which sizes are accepted, the size of
// the intermediate image, which effect passes run in which order, the two
// screen-aligned quads and the per-size constants. Plain C++, no platform
// types, so that it is tested natively.
#pragma once

#include <cstdint>

// Passes of the technique, by index.
enum EffectPass : int32_t {
    kPassNone = -1,
    kPassReduceX = 0,
    kPassEnlargeX = 1,
    kPassReduceY = 2,
    kPassEnlargeY = 3,
};

// Smallest image side the resampler accepts, in pixels.
constexpr int32_t kMinImageSide = 32;

// Source, destination and host row stride must all be at least 32, the four
// sides within the device's maximum texture size, and the stride must hold a
// row of either image. Signed comparisons throughout; a limit of -1 (not yet
// known) rejects everything.
bool PlanSizesValid(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, int32_t rowStride,
                    int32_t maxTexWidth, int32_t maxTexHeight);

struct PlanSize {
    int32_t width;
    int32_t height;
};

// The image the first pass draws: the destination itself when at most one
// axis changes; otherwise the source scaled along the axis of the first pass,
// which is the horizontal one when the width shrinks and the vertical one when
// it grows. Either way the intermediate image has the smaller of the two widths.
PlanSize PlanMiddleSize(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);

// Only when both axes change does the plan need an intermediate texture.
bool PlanIsTwoPass(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);

struct PassPair {
    int32_t first;   // kPassNone when nothing changes
    int32_t second;  // kPassNone in a one-pass plan
};

// The passes in drawing order, consistent with PlanMiddleSize.
PassPair ChoosePassPair(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);

// Two quads of four vertices (top-left, top-right, bottom-left, bottom-right),
// each vertex x, y, z, rhw, u, v, s, t: 32 bytes, 256 bytes in all. The first
// quad covers the intermediate image and addresses the source in pixels, the
// second covers the destination and addresses the intermediate image.
constexpr int kQuadVertexFloats = 8;
constexpr int kQuadBufferFloats = 8 * kQuadVertexFloats;
constexpr int kQuadBufferBytes = kQuadBufferFloats * 4;
constexpr int kSecondQuadOffset = 4 * kQuadVertexFloats * 4;
void FillQuadVertices(float* vertices, int32_t srcWidth, int32_t srcHeight, int32_t midWidth, int32_t midHeight,
                      int32_t dstWidth, int32_t dstHeight);

// The effect's per-size constants: the source texel size (1/width, 1/height)
// and the scale factors (destination / source), each quotient taken in double
// precision and stored as a float.
struct PlanConstants {
    float texelSize[4];
    float scale[4];
};
PlanConstants ComputePlanConstants(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);
