#include "synthetic_source.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 5x7 dot pattern of a few glyphs, enough to give sharp, irregular edges.
constexpr unsigned char kGlyphs[4][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},  // R
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // T
    {0x11, 0x11, 0x11, 0x11, 0x0A, 0x0A, 0x04},  // V
};

bool InsideGlyph(int x, int y, int frame)
{
    constexpr int kScale = 3;
    const int cellX = x / (6 * kScale), cellY = y / (9 * kScale);
    const int gx = (x / kScale) % 6, gy = (y / kScale) % 9;
    if (gx >= 5 || gy >= 7)
        return false;
    const auto& glyph = kGlyphs[(cellX + cellY + frame / 8) % 4];
    return (glyph[gy] >> (4 - gx)) & 1;
}

int16_t Clamp(double v, int lo, int hi)
{
    return static_cast<int16_t>(std::clamp(static_cast<int>(std::lround(v)), lo, hi));
}

}  // namespace

SyntheticSource::SyntheticSource(int width, int height, int frameCount)
    : width_(width), height_(height), frameCount_(frameCount)
{
}

bool SyntheticSource::readFrame(int n, YcPixel* dst, int stride)
{
    if (n < 0 || n >= frameCount_) {
        error_ = "frame " + std::to_string(n) + " is outside the clip (0.." + std::to_string(frameCount_ - 1) + ")";
        return false;
    }
    // Upper two thirds: zone plate, its centre drifting with the frame number.
    // Lower third: glyphs. Chroma: horizontal and vertical ramps.
    const int plateRows = height_ * 2 / 3;
    const double cx = width_ * (0.5 + 0.1 * std::sin(n * 0.2));
    const double cy = plateRows * 0.5;
    const double k = kPi / std::max(1, std::max(width_, height_));
    for (int y = 0; y < height_; ++y) {
        YcPixel* row = dst + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < width_; ++x) {
            double luma;
            if (y < plateRows) {
                const double dx = x - cx, dy = y - cy;
                luma = 2048.0 + 2047.0 * std::cos(k * (dx * dx + dy * dy));
            } else {
                luma = InsideGlyph(x, y - plateRows, n) ? 3760.0 : 256.0;
            }
            row[x].y = Clamp(luma, 0, kMaxY);
            row[x].cb = Clamp(-kMaxChroma + 2.0 * kMaxChroma * x / std::max(1, width_ - 1), -kMaxChroma, kMaxChroma);
            row[x].cr = Clamp(kMaxChroma - 2.0 * kMaxChroma * y / std::max(1, height_ - 1), -kMaxChroma, kMaxChroma);
        }
    }
    return true;
}
