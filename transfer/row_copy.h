// Row copies between the host's frame buffers and locked texture levels.
//
// A host row is rowPixels YcPixels (6 bytes each, no gap); host rows are
// hostStride pixels apart. A texel holds four 16-bit channels (8 bytes): the
// pixel's Y, Cb and Cr at byte offsets 0, 2 and 4, and a fourth channel that
// uploads set to 0 and downloads ignore. Texel rows are texelPitch bytes
// apart. The biased routines serve unsigned texel formats: the upload adds
// 0x8000 modulo 65536 to each value and the download subtracts it, so that
// -32768..32767 maps onto 0..65535 in order.
//
// Every routine touches only the bytes of the rows it copies: 6 * rowPixels
// bytes of each host row and 8 * rowPixels bytes of each texel row, read on
// one side and written on the other. Pixels after a row (the next row's first
// pixel when hostStride equals rowPixels) and padding after a texel row are
// neither read nor written.
//
// Plain C++ with SSE2; no platform types.
#pragma once

#include "yc_pixel.h"

#include <atomic>
#include <cstdint>

// Calling convention of the host's thread service on 32-bit Windows; empty elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define TOBREL_CDECL __cdecl
#else
#define TOBREL_CDECL
#endif

// One transfer, filled on the caller's stack; the routines only read it.
struct RowCopyJob {
    int32_t rowCount;    // rows to copy
    int32_t rowPixels;   // pixels (and texels) per row
    int32_t texelPitch;  // bytes from one texel row to the next
    int32_t hostStride;  // pixels from one host row to the next
    void* texels;        // first texel of the locked level
    YcPixel* pixels;     // first pixel of the host buffer
};

// The next row to take in a threaded transfer. Threads share it through
// fetch_add; it must be reset with ResetRowCounter before each threaded run.
extern std::atomic<int32_t> rowCounter;

// Sets rowCounter to 0 (an atomic exchange). Call before each threaded transfer.
void ResetRowCounter();

// The four routines share one signature, that of a task for the host's worker
// threads: (thread index, thread count, job, unused).
//
// threadCount != 0: each call takes rows from rowCounter until it runs past
// rowCount, so every row is copied once by whichever thread takes it; the
// thread index is not used. Every call ends with one take that finds no row,
// so after N threads the counter stands at rowCount + N.
// threadCount == 0: the caller's own single call copies rows 0..rowCount-1 in
// order and leaves rowCounter alone; call it as (0, 0, &job, nullptr).
void TOBREL_CDECL UploadRows(int threadIndex, int threadCount, void* job, void* unused);          // pixels -> texels
void TOBREL_CDECL UploadRowsBiased(int threadIndex, int threadCount, void* job, void* unused);    // pixels -> texels, +0x8000
void TOBREL_CDECL DownloadRows(int threadIndex, int threadCount, void* job, void* unused);        // texels -> pixels
void TOBREL_CDECL DownloadRowsBiased(int threadIndex, int threadCount, void* job, void* unused);  // texels -> pixels, -0x8000
