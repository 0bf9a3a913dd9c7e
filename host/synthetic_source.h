// A generated clip: a zone plate that drifts from frame to frame in Y, text-
// like hard edges, and colour ramps in Cb and Cr, all in the host's range
// (Y 0..4096, Cb and Cr -2048..2048). Every frame is a pure function of its
// number, so any frame can be produced in any order.
#pragma once

#include "frame_source.h"

class SyntheticSource final : public FrameSource {
public:
    SyntheticSource(int width, int height, int frameCount);

    int width() const override { return width_; }
    int height() const override { return height_; }
    int frameCount() const override { return frameCount_; }
    bool readFrame(int n, YcPixel* dst, int stride) override;

    static constexpr int kMaxY = 4096;
    static constexpr int kMaxChroma = 2048;

private:
    int width_;
    int height_;
    int frameCount_;
};
