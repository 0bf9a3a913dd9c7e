// Bodies of the five host procedures and the frame driver's state.
//
// The graphics back end (device, plan, transfer, worker) is not part of this
// build yet: without it no GpuResizer can be opened, so InitFilter fails and
// every frame fails, exactly as after a failed device bring-up.
#include "filter_procs.h"

struct GpuResizer;

namespace {

// The filter's one graphics context, owned from InitFilter to ExitFilter.
GpuResizer* resizer = nullptr;

// The plan must be rebuilt before the next draw.
uint8_t rebuildPending = 1;
// The weight table must be refreshed for the current radius before the next draw.
uint8_t weightsStale = 1;

}  // namespace

BOOL __cdecl InitFilter(FilterRecord* /*fp*/)
{
    // No device can be opened without the graphics back end.
    return 0;
}

BOOL __cdecl ExitFilter(FilterRecord* /*fp*/)
{
    resizer = nullptr;
    return 1;
}

BOOL __cdecl SettingsChanged(FilterRecord* /*fp*/)
{
    weightsStale = 1;
    return 1;
}

BOOL __cdecl HandleWindowMessage(HWND /*window*/, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/,
                                 void* /*editHandle*/, FilterRecord* fp)
{
    switch (message) {
    case kMsgSettingsWindowClosing:
        return 1;
    case kMsgFilterMaybeToggled:
        if (resizer && fp->services->isFilterActive(fp) == 0)
            rebuildPending = 1;
        return 0;
    default:
        return 0;
    }
}

BOOL __cdecl ProcessFrame(FilterRecord* /*fp*/, FrameInfo* /*fi*/)
{
    // Without a GpuResizer (no InitFilter yet, or a failed one) every frame fails.
    return 0;
}
