// The five procedures the host reaches through the registration record.
#pragma once

#include "filter_abi.h"

BOOL __cdecl InitFilter(FilterRecord* fp);
BOOL __cdecl ExitFilter(FilterRecord* fp);
BOOL __cdecl SettingsChanged(FilterRecord* fp);
BOOL __cdecl HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, void* editHandle,
                                 FilterRecord* fp);
BOOL __cdecl ProcessFrame(FilterRecord* fp, FrameInfo* fi);

// The static registration record; InitFilter rewrites its track limits.
FilterRecord* RegistrationRecord();
