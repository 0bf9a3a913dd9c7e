// The host services as cdecl entry points. Each one records the call and
// hands it to the current FilterHost.
#include "host_services.h"

#include "filter_host.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace {

int32_t __cdecl RefreshControls(FilterRecord*)
{
    FilterHost::current()->logCall("refreshControls");
    return 1;
}

int32_t __cdecl IsFilterActive(FilterRecord*)
{
    FilterHost* host = FilterHost::current();
    host->logCall("isFilterActive");
    return host->filterActive();
}

int32_t __cdecl ReadSettingInt(FilterRecord*, const char* key, int32_t defaultValue)
{
    FilterHost* host = FilterHost::current();
    host->logCall(std::string("readSettingInt ") + (key ? key : "(null)") + " " + std::to_string(defaultValue));
    return key ? host->readSetting(key, defaultValue) : defaultValue;
}

int32_t __cdecl WriteSettingInt(FilterRecord*, const char* key, int32_t value)
{
    FilterHost* host = FilterHost::current();
    host->logCall(std::string("writeSettingInt ") + (key ? key : "(null)") + " " + std::to_string(value));
    if (key)
        host->writeSetting(key, value);
    return 1;
}

int32_t __cdecl GetSystemInfo(void*, HostSystemInfo* info)
{
    FilterHost* host = FilterHost::current();
    host->logCall("getSystemInfo");
    return info ? host->fillSystemInfo(info) : 0;
}

int32_t __cdecl ReserveFrameCache(FilterRecord*, int32_t bufferWidth, int32_t bufferHeight, int32_t depth,
                                  int32_t flags)
{
    FilterHost* host = FilterHost::current();
    host->logCall("reserveFrameCache " + std::to_string(bufferWidth) + " " + std::to_string(bufferHeight) + " " +
                  std::to_string(depth) + " " + std::to_string(flags));
    return host->reserveFrameCache(bufferWidth, bufferHeight, depth);
}

YcPixel* __cdecl FetchFrame(FilterRecord*, void*, int32_t frameNumber, int32_t* width, int32_t* height)
{
    FilterHost* host = FilterHost::current();
    const bool ahead = !width && !height;
    host->logCall("fetchFrame " + std::to_string(frameNumber) + (ahead ? " ahead" : ""));
    return host->fetchFrame(frameNumber, width, height);
}

int32_t __cdecl RunOnThreads(RowTaskFn fn, void* param1, void* param2)
{
    FilterHost* host = FilterHost::current();
    host->logCall("runOnThreads");
    if (fn)
        host->runOnThreads(fn, param1, param2);
    return 1;
}

// A slot the host does not serve: calling it is a fault of the filter.
template <int Slot>
int32_t __cdecl Unserved()
{
    std::fprintf(stderr, "tobrel-host: the filter called host service slot at offset %d, which is not served\n",
                 Slot * 4);
    std::fflush(stderr);
    std::abort();
}

template <int... Slots>
void FillTraps(void** slots, std::integer_sequence<int, Slots...>)
{
    ((slots[Slots] = reinterpret_cast<void*>(&Unserved<Slots>)), ...);
}

}  // namespace

void FillHostServices(HostServices* services)
{
    constexpr int kSlots = sizeof(HostServices) / sizeof(void*);
    FillTraps(reinterpret_cast<void**>(services), std::make_integer_sequence<int, kSlots>{});
    services->refreshControls = RefreshControls;
    services->isFilterActive = IsFilterActive;
    services->readSettingInt = ReadSettingInt;
    services->writeSettingInt = WriteSettingInt;
    services->getSystemInfo = GetSystemInfo;
    services->reserveFrameCache = ReserveFrameCache;
    services->fetchFrame = FetchFrame;
    services->runOnThreads = RunOnThreads;
}
