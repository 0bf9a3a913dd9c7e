// Moves a frame between the host's buffers and the GPU's textures: the
// upload into the input texture, and after the draw the wait for the worker
// (or the read-back) and the download from the system-memory copy.
#pragma once

#include "filter_abi.h"

#include <windows.h>

struct GpuResizer;

// Writes the srcWidth x srcHeight frame, rows rowStride pixels apart, into
// the input texture. The host's threads copy the rows when threads is given.
bool UploadFrame(GpuResizer* r, const YcPixel* pixels, RunOnThreadsFn threads);
// Writes the dstWidth x dstHeight image of the system-memory copy into the
// host's buffer, rows rowStride pixels apart.
HRESULT DownloadFrame(GpuResizer* r, YcPixel* pixels, RunOnThreadsFn threads);
// Makes sure the drawn frame has reached the system-memory copy (waiting for
// the worker when the frame was kicked to it, reading back otherwise) and
// downloads it. True when output holds the resized frame.
bool FinishFrame(GpuResizer* r, YcPixel* output, RunOnThreadsFn threads);
