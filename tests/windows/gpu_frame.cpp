#include "gpu_frame.h"

#include <cmath>
#include <sstream>

namespace {

bool IsGuard(const YcPixel& p)
{
    return p.y == kGuardPixel.y && p.cb == kGuardPixel.cb && p.cr == kGuardPixel.cr;
}

int16_t Channel(const YcPixel& p, int channel)
{
    return channel == 0 ? p.y : channel == 1 ? p.cb : p.cr;
}

}  // namespace

HostFrame MakeSourceFrame(int width, int height, int stride, unsigned seed)
{
    HostFrame frame = MakeOutputFrame(width, height, stride, height);
    const PlanarImage pattern = HostRangePattern(width, height, seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.at(x, y) = {static_cast<int16_t>(pattern.at(0, x, y)), static_cast<int16_t>(pattern.at(1, x, y)),
                              static_cast<int16_t>(pattern.at(2, x, y))};
    return frame;
}

HostFrame MakeOutputFrame(int width, int height, int stride, int rows)
{
    HostFrame frame;
    frame.width = width;
    frame.height = height;
    frame.stride = stride;
    frame.rows = rows;
    frame.pixels.assign(static_cast<size_t>(stride) * rows, kGuardPixel);
    return frame;
}

PlanarImage ToPlanar(const HostFrame& frame)
{
    PlanarImage image = MakeImage(frame.width, frame.height);
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            for (int c = 0; c < 3; ++c)
                image.at(c, x, y) = Channel(frame.at(x, y), c);
    return image;
}

std::string FrameComparison::describe() const
{
    std::ostringstream s;
    s << "max " << maxDeviation << ", mean " << meanDeviation << ", exact " << exactShare * 100 << " %"
      << (guardsIntact ? "" : ", pixels outside the frame changed");
    return s.str();
}

FrameComparison CompareWithModel(const HostFrame& source, const HostFrame& output, int radius, int32_t texelFormat)
{
    const TexelStore store = texelFormat == kTexelSigned ? TexelStore::Signed : TexelStore::Unsigned;
    const PlanarImage expected = Resize(ToPlanar(source), output.width, output.height, radius, store);
    FrameComparison result;
    double sum = 0;
    size_t exact = 0, count = 0;
    for (int y = 0; y < output.height; ++y)
        for (int x = 0; x < output.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double want = StoreTexel(expected.at(c, x, y), store);
                const double d = std::fabs(want - Channel(output.at(x, y), c));
                result.maxDeviation = std::max(result.maxDeviation, d);
                sum += d;
                exact += d == 0;
                ++count;
            }
    result.meanDeviation = count ? sum / count : 0;
    result.exactShare = count ? static_cast<double>(exact) / count : 0;
    for (int y = 0; y < output.rows; ++y)
        for (int x = 0; x < output.stride; ++x)
            if ((x >= output.width || y >= output.height) && !IsGuard(output.at(x, y)))
                result.guardsIntact = false;
    return result;
}
