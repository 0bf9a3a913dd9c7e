#include "reference_model.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// One tap's texel: point sampling picks floor(coordinate * n), then the
// mirror rule places indices outside the image.
int PointTexel(float coordinate, int n)
{
    return MirrorIndex(static_cast<int>(std::floor(static_cast<double>(coordinate) * n)), n);
}

// frc as the shader computes it.
float Frac(float x)
{
    return x - std::floor(x);
}

// Column coordinate of a fraction: texel position 255 * phi.
float TableColumn(float phi)
{
    return (phi * 255.0f + 0.5f) * 0.00390625f;
}

// Row coordinate: the centre of row r.
float TableRow(float r)
{
    return (r + 0.5f) * 0.0625f;
}

}  // namespace

PlanarImage MakeImage(int width, int height, double fill)
{
    PlanarImage image;
    image.width = width;
    image.height = height;
    for (auto& plane : image.planes)
        plane.assign(static_cast<size_t>(width) * height, fill);
    return image;
}

PlanarImage HostRangePattern(int width, int height, unsigned seed)
{
    PlanarImage image = MakeImage(width, height);
    unsigned state = seed;
    for (int c = 0; c < 3; ++c) {
        for (double& v : image.planes[c]) {
            state = state * 1664525u + 1013904223u;
            const int r = static_cast<int>(state >> 8) % 4097;
            v = (state >> 30) & 1 ? r : (r < 2048 ? 0 : 4096) - 2048 * (c > 0);
        }
    }
    return image;
}

Interpolants QuadInterpolants(int i, int j, int srcWidth, int srcHeight, int dstWidth, int dstHeight)
{
    const double x = i + 0.5, y = j + 0.5;
    return {static_cast<float>(x / dstWidth), static_cast<float>(y / dstHeight),
            static_cast<float>(x * srcWidth / dstWidth - 0.5), static_cast<float>(y * srcHeight / dstHeight - 0.5)};
}

int MirrorIndex(int i, int n)
{
    int m = i % (2 * n);
    if (m < 0)
        m += 2 * n;
    return m >= n ? 2 * n - 1 - m : m;
}

WeightTexture MakeWeightTexture(int radius)
{
    WeightTexture table;
    table.texels.assign(static_cast<size_t>(kWeightTableRows) * kWeightTableColumns * 2, 0);
    FillWeightTable(table.texels.data(), kWeightTableRowBytes, radius);
    return table;
}

WeightSample SampleWeights(const WeightTexture& table, float wx, float wy)
{
    // Texel space: centres at whole numbers.
    const double x = static_cast<double>(wx) * kWeightTableColumns - 0.5;
    const double y = static_cast<double>(wy) * kWeightTableRows - 0.5;
    const double x0 = std::floor(x), y0 = std::floor(y);
    const double fx = x - x0, fy = y - y0;
    auto clampTo = [](double v, int n) { return static_cast<int>(std::min<double>(std::max(v, 0.0), n - 1)); };
    const int xs[2] = {clampTo(x0, kWeightTableColumns), clampTo(x0 + 1, kWeightTableColumns)};
    const int ys[2] = {clampTo(y0, kWeightTableRows), clampTo(y0 + 1, kWeightTableRows)};
    WeightSample s{0, 0};
    for (int b = 0; b < 2; ++b) {
        for (int a = 0; a < 2; ++a) {
            const double w = (a ? fx : 1 - fx) * (b ? fy : 1 - fy);
            s.u += w * table.u(ys[b], xs[a]);
            s.v += w * table.v(ys[b], xs[a]);
        }
    }
    s.u /= kWeightOne;
    s.v /= kWeightOne;
    return s;
}

PassParameters MakePassParameters(int radius, int srcWidth, int srcHeight, int dstWidth, int dstHeight)
{
    PassParameters p;
    p.radius = ClampRadius(radius);
    const TapCountPair reps = TapCounts(p.radius, srcWidth, srcHeight, dstWidth, dstHeight);
    p.rep[0] = reps.repX;
    p.rep[1] = reps.repY;
    p.pitch[0] = static_cast<float>(1.0 / srcWidth);
    p.pitch[1] = static_cast<float>(1.0 / srcHeight);
    p.ratio[0] = static_cast<float>(static_cast<double>(dstWidth) / srcWidth);
    p.ratio[1] = static_cast<float>(static_cast<double>(dstHeight) / srcHeight);
    return p;
}

SampleTaps EnlargeTaps(const WeightTexture& table, float p, int n, float pitch, int count)
{
    const float f = Frac(p);
    const float b = p - f;
    const float cA = b + 0.5f;
    const float cB = b + 1.5f;
    const float wx = TableColumn(f);
    SampleTaps out;
    for (int k = 0; k < count; ++k) {
        const float kf = static_cast<float>(k);
        const float tapA = (cA - kf) * pitch;
        const float tapB = (cB + kf) * pitch;
        const WeightSample w = SampleWeights(table, wx, TableRow(kf));
        out.taps.push_back({PointTexel(tapA, n), w.u});
        out.taps.push_back({PointTexel(tapB, n), w.v});
        out.weightSum += w.v + w.u;
    }
    return out;
}

SampleTaps ReduceTaps(const WeightTexture& table, float p, int n, float pitch, float ratio, int count)
{
    const float f = Frac(p);
    const float g = 1.0f - f;
    const float c = p + 0.5f;
    auto weight = [&table](float t) {
        const float phi = Frac(t);
        const float row = t - phi;
        return SampleWeights(table, TableColumn(phi), TableRow(row)).u;
    };
    SampleTaps out;
    for (int k = 0; k < count; ++k) {
        const float kf = static_cast<float>(k);
        const float dA = f + kf;
        const float dB = g + kf;
        const float tapA = (c - dA) * pitch;
        const float tapB = (c + dB) * pitch;
        const double wA = weight(dA * ratio);
        const double wB = weight(dB * ratio);
        out.taps.push_back({PointTexel(tapA, n), wA});
        out.taps.push_back({PointTexel(tapB, n), wB});
        out.weightSum += wA + wB;
    }
    return out;
}

PlanarImage RunPass(int pass, const PlanarImage& source, int dstWidth, int dstHeight, const WeightTexture& table,
                    const PassParameters& parameters)
{
    const bool horizontal = pass == kHorizontalReduce || pass == kHorizontalEnlarge;
    const bool reduce = pass == kHorizontalReduce || pass == kVerticalReduce;
    if (pass < 0 || pass > 3)
        throw std::invalid_argument("pass index outside 0..3");
    if ((horizontal && dstHeight != source.height) || (!horizontal && dstWidth != source.width))
        throw std::invalid_argument("a pass changes only the size along its axis");
    const int axis = horizontal ? 0 : 1;
    const int n = horizontal ? source.width : source.height;
    const int across = horizontal ? source.height : source.width;

    PlanarImage out = MakeImage(dstWidth, dstHeight);
    for (int j = 0; j < dstHeight; ++j) {
        for (int i = 0; i < dstWidth; ++i) {
            const Interpolants at = QuadInterpolants(i, j, source.width, source.height, dstWidth, dstHeight);
            const float p = horizontal ? at.s : at.t;
            const int line = PointTexel(horizontal ? at.v : at.u, across);
            const SampleTaps taps =
                reduce ? ReduceTaps(table, p, n, parameters.pitch[axis], parameters.ratio[axis], parameters.rep[axis])
                       : EnlargeTaps(table, p, n, parameters.pitch[axis], parameters.radius);
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (const Tap& tap : taps.taps)
                    sum += tap.weight * (horizontal ? source.at(c, tap.pixel, line) : source.at(c, line, tap.pixel));
                out.at(c, i, j) = sum * (1.0 / taps.weightSum);
            }
        }
    }
    return out;
}

double StoreTexel(double value, TexelStore store)
{
    switch (store) {
    case TexelStore::Signed:
        return std::min(32767.0, std::max(-32767.0, std::nearbyint(value)));
    case TexelStore::Unsigned:
        return std::min(32767.0, std::max(-32768.0, std::nearbyint(value)));
    default:
        return value;
    }
}

PlanarImage Resize(const PlanarImage& source, int dstWidth, int dstHeight, int radius, TexelStore intermediate)
{
    const int srcWidth = source.width, srcHeight = source.height;
    const PassParameters parameters = MakePassParameters(radius, srcWidth, srcHeight, dstWidth, dstHeight);
    const WeightTexture table = MakeWeightTexture(parameters.radius);
    const int horizontal = srcWidth > dstWidth ? kHorizontalReduce : kHorizontalEnlarge;
    const int vertical = srcHeight > dstHeight ? kVerticalReduce : kVerticalEnlarge;
    if (srcWidth == dstWidth && srcHeight == dstHeight)
        return source;
    if (srcHeight == dstHeight)
        return RunPass(horizontal, source, dstWidth, dstHeight, table, parameters);
    if (srcWidth == dstWidth)
        return RunPass(vertical, source, dstWidth, dstHeight, table, parameters);

    // Two passes: the narrower intermediate, so that a shrinking width goes
    // first and a growing width last.
    const bool widthFirst = srcWidth > dstWidth;
    PlanarImage middle = widthFirst ? RunPass(horizontal, source, dstWidth, srcHeight, table, parameters)
                                    : RunPass(vertical, source, srcWidth, dstHeight, table, parameters);
    for (auto& plane : middle.planes)
        for (double& v : plane)
            v = StoreTexel(v, intermediate);
    return widthFirst ? RunPass(vertical, middle, dstWidth, dstHeight, table, parameters)
                      : RunPass(horizontal, middle, dstWidth, dstHeight, table, parameters);
}
