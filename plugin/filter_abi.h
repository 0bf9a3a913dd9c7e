// Binary interface between the host editor and a filter plug-in: the records
// the host passes, its service table and the filter's procedures. Every
// layout here is fixed by the host; the static_asserts pin each offset.
#pragma once

#include <windows.h>

#include "yc_pixel.h"

#include <cstddef>
#include <cstdint>

struct FilterRecord;

struct FrameInfo {
    int32_t reserved0;
    YcPixel* output;        // receives the filtered frame; never read
    int32_t reserved8;
    int32_t width;          // source size from fetchFrame, output size after a resize
    int32_t height;
    int32_t bufferWidth;    // pixels per row of every host frame buffer
    int32_t bufferHeight;
    int32_t frameNumber;
    int32_t reserved32[7];
    void* editHandle;       // opaque, handed back to fetchFrame
};

// Filled by the host's getSystemInfo; the filter zeroes it first.
struct HostSystemInfo {
    int32_t reserved0[3];
    int32_t minWidth;
    int32_t minHeight;
    int32_t maxWidth;
    int32_t maxHeight;
    int32_t reserved28[12];
};

// Everything the host calls and everything the filter hands to the host is cdecl.
using RowTaskFn = void(__cdecl*)(int threadIndex, int threadCount, void* param1, void* param2);

using RefreshControlsFn = int32_t(__cdecl*)(FilterRecord* fp);
using IsFilterActiveFn = int32_t(__cdecl*)(FilterRecord* fp);
using ReadSettingIntFn = int32_t(__cdecl*)(FilterRecord* fp, const char* key, int32_t defaultValue);
using WriteSettingIntFn = int32_t(__cdecl*)(FilterRecord* fp, const char* key, int32_t value);
using GetSystemInfoFn = int32_t(__cdecl*)(void* editHandle, HostSystemInfo* info);
using ReserveFrameCacheFn = int32_t(__cdecl*)(FilterRecord* fp, int32_t bufferWidth, int32_t bufferHeight,
                                              int32_t depth, int32_t flags);
using FetchFrameFn = YcPixel*(__cdecl*)(FilterRecord* fp, void* editHandle, int32_t frameNumber,
                                        int32_t* width, int32_t* height);
using RunOnThreadsFn = int32_t(__cdecl*)(RowTaskFn fn, void* param1, void* param2);

// The host's service table. Only the entries the filter calls are named.
struct HostServices {
    void* reserved0[21];
    RefreshControlsFn refreshControls;      // 84
    void* reserved88[3];
    IsFilterActiveFn isFilterActive;        // 100
    void* reserved104[8];
    ReadSettingIntFn readSettingInt;        // 136
    WriteSettingIntFn writeSettingInt;      // 140
    void* reserved144[4];
    GetSystemInfoFn getSystemInfo;          // 160
    void* reserved164[3];
    ReserveFrameCacheFn reserveFrameCache;  // 176
    void* reserved180[5];
    FetchFrameFn fetchFrame;                // 200
    RunOnThreadsFn runOnThreads;            // 204
};

using ProcessFrameFn = BOOL(__cdecl*)(FilterRecord* fp, FrameInfo* fi);
using InitFilterFn = BOOL(__cdecl*)(FilterRecord* fp);
using ExitFilterFn = BOOL(__cdecl*)(FilterRecord* fp);
using SettingsChangedFn = BOOL(__cdecl*)(FilterRecord* fp);
using HandleWindowMessageFn = BOOL(__cdecl*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             void* editHandle, FilterRecord* fp);

// The registration record; the host passes a record of the same layout to
// every procedure with the (host) fields filled.
struct FilterRecord {
    uint32_t flags;
    int32_t reserved4[2];
    const char* displayName;
    int32_t trackCount;
    const char* const* trackNames;
    const int32_t* trackDefaults;
    int32_t* trackMinima;
    int32_t* trackMaxima;
    int32_t checkCount;
    const char* const* checkNames;
    const int32_t* checkDefaults;
    ProcessFrameFn frameProc;
    InitFilterFn initProc;
    ExitFilterFn exitProc;
    SettingsChangedFn updateProc;
    HandleWindowMessageFn windowProc;
    int32_t* trackValues;        // (host) [0] X, [1] Y, [2] Radius
    int32_t* checkValues;        // (host) [0] parallel mode
    int32_t reserved76[2];
    const char* infoText;
    int32_t reserved88[2];
    HostServices* services;      // (host)
    HWND hostWindow;             // (host)
    HINSTANCE moduleInstance;    // (host)
    int32_t reserved108[8];
};

// Messages the host sends to windowProc besides WM_COMMAND.
constexpr UINT kMsgSettingsWindowReady = WM_USER + 103;   // 1127
constexpr UINT kMsgSettingsWindowClosing = WM_USER + 104; // 1128
constexpr UINT kMsgFilterMaybeToggled = WM_USER + 109;    // 1133

static_assert(sizeof(void*) == 4, "the host interface is 32-bit");

static_assert(offsetof(FrameInfo, output) == 4);
static_assert(offsetof(FrameInfo, width) == 12);
static_assert(offsetof(FrameInfo, height) == 16);
static_assert(offsetof(FrameInfo, bufferWidth) == 20);
static_assert(offsetof(FrameInfo, bufferHeight) == 24);
static_assert(offsetof(FrameInfo, frameNumber) == 28);
static_assert(offsetof(FrameInfo, editHandle) == 60);
static_assert(sizeof(FrameInfo) == 64);

static_assert(offsetof(HostSystemInfo, minWidth) == 12);
static_assert(offsetof(HostSystemInfo, minHeight) == 16);
static_assert(offsetof(HostSystemInfo, maxWidth) == 20);
static_assert(offsetof(HostSystemInfo, maxHeight) == 24);
static_assert(sizeof(HostSystemInfo) == 76);

static_assert(offsetof(HostServices, refreshControls) == 84);
static_assert(offsetof(HostServices, isFilterActive) == 100);
static_assert(offsetof(HostServices, readSettingInt) == 136);
static_assert(offsetof(HostServices, writeSettingInt) == 140);
static_assert(offsetof(HostServices, getSystemInfo) == 160);
static_assert(offsetof(HostServices, reserveFrameCache) == 176);
static_assert(offsetof(HostServices, fetchFrame) == 200);
static_assert(offsetof(HostServices, runOnThreads) == 204);
static_assert(sizeof(HostServices) == 208);

static_assert(offsetof(FilterRecord, displayName) == 12);
static_assert(offsetof(FilterRecord, trackCount) == 16);
static_assert(offsetof(FilterRecord, trackNames) == 20);
static_assert(offsetof(FilterRecord, trackDefaults) == 24);
static_assert(offsetof(FilterRecord, trackMinima) == 28);
static_assert(offsetof(FilterRecord, trackMaxima) == 32);
static_assert(offsetof(FilterRecord, checkCount) == 36);
static_assert(offsetof(FilterRecord, checkNames) == 40);
static_assert(offsetof(FilterRecord, checkDefaults) == 44);
static_assert(offsetof(FilterRecord, frameProc) == 48);
static_assert(offsetof(FilterRecord, initProc) == 52);
static_assert(offsetof(FilterRecord, exitProc) == 56);
static_assert(offsetof(FilterRecord, updateProc) == 60);
static_assert(offsetof(FilterRecord, windowProc) == 64);
static_assert(offsetof(FilterRecord, trackValues) == 68);
static_assert(offsetof(FilterRecord, checkValues) == 72);
static_assert(offsetof(FilterRecord, infoText) == 84);
static_assert(offsetof(FilterRecord, services) == 96);
static_assert(offsetof(FilterRecord, hostWindow) == 100);
static_assert(offsetof(FilterRecord, moduleInstance) == 104);
static_assert(sizeof(FilterRecord) == 140);
