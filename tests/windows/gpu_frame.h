// Host frames for the GPU tests and their comparison with the CPU model of
// the whole resize.
#pragma once

#include "gpu_resizer.h"
#include "reference_model.h"
#include "yc_pixel.h"

#include <string>
#include <vector>

// A host buffer of `rows` rows, `stride` pixels apart; pixels outside the
// frame hold a guard value that no transfer may change.
struct HostFrame {
    int width = 0;
    int height = 0;
    int stride = 0;
    int rows = 0;
    std::vector<YcPixel> pixels;

    YcPixel& at(int x, int y) { return pixels[static_cast<size_t>(y) * stride + x]; }
    const YcPixel& at(int x, int y) const { return pixels[static_cast<size_t>(y) * stride + x]; }
};

constexpr YcPixel kGuardPixel = {0x5A5A, -0x5A5B, 0x1234};

// Frame content from the model's test pattern, in the host's value range.
HostFrame MakeSourceFrame(int width, int height, int stride, unsigned seed);
// An output buffer of the given size, every pixel a guard.
HostFrame MakeOutputFrame(int width, int height, int stride, int rows);
PlanarImage ToPlanar(const HostFrame& frame);

struct FrameComparison {
    double maxDeviation = 0;
    double meanDeviation = 0;
    double exactShare = 0;
    bool guardsIntact = true;
    std::string describe() const;
};

// The output against the model's resize of the source, as the resizer's
// texel format stores the intermediate and the output.
FrameComparison CompareWithModel(const HostFrame& source, const HostFrame& output, int radius, int32_t texelFormat);
