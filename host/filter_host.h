// The reference host: loads a filter DLL, keeps the host's copy of its filter
// record, serves the host services and calls the filter's procedures in the
// order a host must (GetFilterTable, InitFilter, frames and messages,
// ExitFilter). One FilterHost may exist at a time in a process, because the
// services reach it through a process-wide pointer.
#pragma once

#include "filter_abi.h"
#include "frame_source.h"
#include "thread_pool.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct HostConfig {
    int threads = 4;                // host worker threads behind runOnThreads
    int minWidth = 8, minHeight = 8;
    int maxWidth = 2304, maxHeight = 2304;
    int bufferWidth = 2304 + 16;    // frame buffers are larger than any frame
    int bufferHeight = 2304 + 16;
    bool systemInfoFails = false;   // getSystemInfo returns 0
    int reserveResultOverride = 0;  // nonzero: reserveFrameCache returns this
    int filterActive = 1;           // what isFilterActive reports
    std::string settingsPath = "tobrel-host.ini";
};

class FilterHost {
public:
    explicit FilterHost(HostConfig config = {});
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    // Loads the DLL and asks it for its registration record.
    bool load(const std::string& dllPath, std::string* error);

    // The registration record as the filter returned it.
    const FilterRecord* registration() const { return registration_; }
    // The host's own record of the same layout, passed to every procedure.
    FilterRecord* record() { return &record_; }
    HostConfig& config() { return config_; }

    BOOL initFilter();
    BOOL exitFilter();
    BOOL settingsChanged();
    BOOL windowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Produces frame n into the host's output buffer; the returned FrameInfo
    // holds the size the filter reported.
    BOOL processFrame(int frameNumber, FrameInfo* info);

    void setSource(std::unique_ptr<FrameSource> source) { source_ = std::move(source); }
    void setTrackValue(int index, int value) { trackValues_[index] = value; }
    void setParallel(bool on) { checkValues_[0] = on ? 1 : 0; }
    const YcPixel* outputBuffer() const { return output_.data(); }

    // Every service call, in order, as readable text ("fetchFrame 12").
    std::vector<std::string> calls() const;
    void clearCalls();

    // Called by the services (host_services.cpp).
    void logCall(std::string text);
    int32_t readSetting(const char* key, int32_t defaultValue);
    void writeSetting(const char* key, int32_t value);
    int32_t fillSystemInfo(HostSystemInfo* info);
    int32_t reserveFrameCache(int32_t bufferWidth, int32_t bufferHeight, int32_t depth);
    YcPixel* fetchFrame(int32_t frameNumber, int32_t* width, int32_t* height);
    void runOnThreads(RowTaskFn fn, void* param1, void* param2);
    int32_t filterActive() const { return config_.filterActive; }

    static FilterHost* current();

private:
    std::string settingsFile() const;
    std::string settingsSection() const;

    HostConfig config_;
    HMODULE module_ = nullptr;
    FilterRecord* registration_ = nullptr;
    FilterRecord record_{};
    HostServices services_{};
    HWND window_ = nullptr;
    bool initialised_ = false;

    std::vector<int32_t> trackValues_;
    std::vector<int32_t> checkValues_;

    std::unique_ptr<FrameSource> source_;
    std::vector<YcPixel> fetched_[2];  // the current frame and the one fetched ahead
    int nextFetchSlot_ = 0;
    std::vector<YcPixel> output_;
    std::unique_ptr<HostThreadPool> pool_;

    mutable std::mutex logMutex_;
    std::vector<std::string> calls_;
};
