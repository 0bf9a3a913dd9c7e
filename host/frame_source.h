// Where the reference host's frames come from: a clip file or a generated
// pattern. A source writes host pixels straight into a host frame buffer.
#pragma once

#include "yc_pixel.h"

#include <string>

class FrameSource {
public:
    virtual ~FrameSource() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual int frameCount() const = 0;

    // Writes frame n (0 <= n < frameCount()) into rows `stride` pixels apart.
    // On failure returns false and leaves a reason in error().
    virtual bool readFrame(int n, YcPixel* dst, int stride) = 0;

    const std::string& error() const { return error_; }

protected:
    std::string error_;
};
