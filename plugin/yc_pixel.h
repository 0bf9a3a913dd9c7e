// One host pixel: three signed 16-bit values, 6 bytes, no gap between pixels.
// Kept free of Windows headers so that pure C++ code can share it.
#pragma once

#include <cstddef>
#include <cstdint>

struct YcPixel {
    int16_t y;
    int16_t cb;
    int16_t cr;
};

static_assert(sizeof(YcPixel) == 6 && offsetof(YcPixel, cb) == 2 && offsetof(YcPixel, cr) == 4);
