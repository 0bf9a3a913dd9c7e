#include "resample_plan.h"

bool PlanSizesValid(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight, int32_t rowStride,
                    int32_t maxTexWidth, int32_t maxTexHeight)
{
    const auto within = [](int32_t side, int32_t limit) { return side >= kMinImageSide && side <= limit; };
    return within(srcWidth, maxTexWidth) && within(srcHeight, maxTexHeight) && within(dstWidth, maxTexWidth) &&
           within(dstHeight, maxTexHeight) && rowStride >= kMinImageSide && rowStride >= srcWidth &&
           rowStride >= dstWidth;
}

PlanSize PlanMiddleSize(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight)
{
    if (!PlanIsTwoPass(srcWidth, srcHeight, dstWidth, dstHeight))
        return {dstWidth, dstHeight};
    if (srcWidth > dstWidth)
        return {dstWidth, srcHeight};
    return {srcWidth, dstHeight};
}

bool PlanIsTwoPass(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight)
{
    return srcWidth != dstWidth && srcHeight != dstHeight;
}

PassPair ChoosePassPair(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight)
{
    const int32_t horizontal = srcWidth > dstWidth ? kPassReduceX : srcWidth < dstWidth ? kPassEnlargeX : kPassNone;
    const int32_t vertical = srcHeight > dstHeight ? kPassReduceY : srcHeight < dstHeight ? kPassEnlargeY : kPassNone;
    if (horizontal == kPassNone)
        return {vertical, kPassNone};
    if (vertical == kPassNone)
        return {horizontal, kPassNone};
    // Both change: a shrinking width is drawn first, a growing one last, so
    // that the vertical pass always runs at the smaller width.
    if (horizontal == kPassReduceX)
        return {horizontal, vertical};
    return {vertical, horizontal};
}

namespace {

float HalfBelow(int32_t n)
{
    return static_cast<float>(n - 0.5);
}

// One quad: the target's corners at pixel edges, u and v across it, s and t
// the corners of the image it reads, in that image's pixels.
void FillQuad(float* quad, int32_t targetWidth, int32_t targetHeight, int32_t readWidth, int32_t readHeight)
{
    for (int corner = 0; corner < 4; ++corner) {
        const bool right = corner & 1;
        const bool bottom = corner & 2;
        float* v = quad + corner * kQuadVertexFloats;
        v[0] = right ? HalfBelow(targetWidth) : -0.5f;
        v[1] = bottom ? HalfBelow(targetHeight) : -0.5f;
        v[2] = 1.0f;
        v[3] = 1.0f;
        v[4] = right ? 1.0f : 0.0f;
        v[5] = bottom ? 1.0f : 0.0f;
        v[6] = right ? HalfBelow(readWidth) : -0.5f;
        v[7] = bottom ? HalfBelow(readHeight) : -0.5f;
    }
}

}  // namespace

void FillQuadVertices(float* vertices, int32_t srcWidth, int32_t srcHeight, int32_t midWidth, int32_t midHeight,
                      int32_t dstWidth, int32_t dstHeight)
{
    FillQuad(vertices, midWidth, midHeight, srcWidth, srcHeight);
    FillQuad(vertices + 4 * kQuadVertexFloats, dstWidth, dstHeight, midWidth, midHeight);
}

PlanConstants ComputePlanConstants(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight)
{
    PlanConstants c = {};
    c.texelSize[0] = static_cast<float>(1.0 / srcWidth);
    c.texelSize[1] = static_cast<float>(1.0 / srcHeight);
    c.scale[0] = static_cast<float>(static_cast<double>(dstWidth) / srcWidth);
    c.scale[1] = static_cast<float>(static_cast<double>(dstHeight) / srcHeight);
    return c;
}
