#include "filter_host.h"

#include "host_services.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

FilterHost* currentHost = nullptr;

const wchar_t kWindowClass[] = L"TobrelHostWindow";

HWND CreateHostWindow()
{
    static const ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        return RegisterClassW(&wc);
    }();
    if (!atom)
        return nullptr;
    return CreateWindowExW(0, kWindowClass, L"tobrel-host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                           480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

std::string LastErrorText()
{
    return "Windows error " + std::to_string(GetLastError());
}

}  // namespace

FilterHost* FilterHost::current() { return currentHost; }

FilterHost::FilterHost(HostConfig config) : config_(std::move(config))
{
    currentHost = this;
    FillHostServices(&services_);
    window_ = CreateHostWindow();
}

FilterHost::~FilterHost()
{
    if (initialised_)
        exitFilter();
    pool_.reset();
    if (module_)
        FreeLibrary(module_);
    if (window_)
        DestroyWindow(window_);
    currentHost = nullptr;
}

bool FilterHost::load(const std::string& dllPath, std::string* error)
{
    module_ = LoadLibraryA(dllPath.c_str());
    if (!module_) {
        *error = "cannot load " + dllPath + " (" + LastErrorText() + ")";
        return false;
    }
    using GetFilterTableFn = FilterRecord*(__cdecl*)();
    auto getTable = reinterpret_cast<GetFilterTableFn>(reinterpret_cast<void*>(GetProcAddress(module_, "GetFilterTable")));
    if (!getTable) {
        *error = dllPath + " does not export GetFilterTable";
        return false;
    }
    registration_ = getTable();
    if (!registration_) {
        *error = "GetFilterTable of " + dllPath + " returned null";
        return false;
    }

    // The host's record starts as a copy of the registration and gets the
    // host's fields: current values, services, window and instance.
    record_ = *registration_;
    const FilterRecord& r = *registration_;
    trackValues_.assign(r.trackDefaults, r.trackDefaults + r.trackCount);
    checkValues_.assign(r.checkDefaults, r.checkDefaults + r.checkCount);
    record_.trackValues = trackValues_.data();
    record_.checkValues = checkValues_.data();
    record_.services = &services_;
    record_.hostWindow = window_;
    record_.moduleInstance = module_;
    return true;
}

BOOL FilterHost::initFilter()
{
    initialised_ = true;
    return record_.initProc ? record_.initProc(&record_) : 1;
}

BOOL FilterHost::exitFilter()
{
    initialised_ = false;
    return record_.exitProc ? record_.exitProc(&record_) : 1;
}

BOOL FilterHost::settingsChanged()
{
    return record_.updateProc ? record_.updateProc(&record_) : 1;
}

BOOL FilterHost::windowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return record_.windowProc ? record_.windowProc(window, message, wParam, lParam, this, &record_) : 0;
}

BOOL FilterHost::processFrame(int frameNumber, FrameInfo* info)
{
    output_.resize(static_cast<size_t>(config_.bufferWidth) * config_.bufferHeight);
    *info = FrameInfo{};
    info->output = output_.data();
    info->bufferWidth = config_.bufferWidth;
    info->bufferHeight = config_.bufferHeight;
    info->frameNumber = frameNumber;
    info->editHandle = this;
    return record_.frameProc ? record_.frameProc(&record_, info) : 1;
}

std::vector<std::string> FilterHost::calls() const
{
    std::lock_guard<std::mutex> lock(logMutex_);
    return calls_;
}

void FilterHost::clearCalls()
{
    std::lock_guard<std::mutex> lock(logMutex_);
    calls_.clear();
}

void FilterHost::logCall(std::string text)
{
    std::lock_guard<std::mutex> lock(logMutex_);
    calls_.push_back(std::move(text));
}

std::string FilterHost::settingsFile() const
{
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(config_.settingsPath.c_str(), MAX_PATH, full, nullptr);
    return (n > 0 && n < MAX_PATH) ? std::string(full) : config_.settingsPath;
}

std::string FilterHost::settingsSection() const
{
    return registration_ && registration_->displayName ? registration_->displayName : "filter";
}

int32_t FilterHost::readSetting(const char* key, int32_t defaultValue)
{
    char text[64] = "";
    GetPrivateProfileStringA(settingsSection().c_str(), key, "", text, sizeof text, settingsFile().c_str());
    if (!text[0])
        return defaultValue;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno || *end || value < INT32_MIN || value > INT32_MAX)
        return defaultValue;
    return static_cast<int32_t>(value);
}

void FilterHost::writeSetting(const char* key, int32_t value)
{
    WritePrivateProfileStringA(settingsSection().c_str(), key, std::to_string(value).c_str(),
                               settingsFile().c_str());
}

int32_t FilterHost::fillSystemInfo(HostSystemInfo* info)
{
    if (config_.systemInfoFails)
        return 0;
    info->minWidth = config_.minWidth;
    info->minHeight = config_.minHeight;
    info->maxWidth = config_.maxWidth;
    info->maxHeight = config_.maxHeight;
    return 1;
}

int32_t FilterHost::reserveFrameCache(int32_t bufferWidth, int32_t bufferHeight, int32_t depth)
{
    if (config_.reserveResultOverride)
        return config_.reserveResultOverride;
    if (bufferWidth <= 0 || bufferHeight <= 0 || bufferWidth > config_.bufferWidth ||
        bufferHeight > config_.bufferHeight || depth < 1 || depth > 2)
        return 0;
    return 1;
}

YcPixel* FilterHost::fetchFrame(int32_t frameNumber, int32_t* width, int32_t* height)
{
    if (!source_ || frameNumber < 0 || frameNumber >= source_->frameCount() ||
        source_->width() > config_.bufferWidth || source_->height() > config_.bufferHeight)
        return nullptr;
    // Two buffers in turn: a frame stays valid until the next fetch.
    std::vector<YcPixel>& buffer = fetched_[nextFetchSlot_];
    buffer.resize(static_cast<size_t>(config_.bufferWidth) * config_.bufferHeight);
    if (!source_->readFrame(frameNumber, buffer.data(), config_.bufferWidth))
        return nullptr;
    nextFetchSlot_ ^= 1;
    if (width)
        *width = source_->width();
    if (height)
        *height = source_->height();
    return buffer.data();
}

void FilterHost::runOnThreads(RowTaskFn fn, void* param1, void* param2)
{
    if (!pool_)
        pool_ = std::make_unique<HostThreadPool>(config_.threads);
    pool_->run([&](int index, int count) { fn(index, count, param1, param2); });
}
