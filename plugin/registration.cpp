// The filter's registration record and the one export through which the
// host finds it. Strings are Shift-JIS bytes, as the host reads them.
#include "filter_abi.h"
#include "filter_procs.h"

namespace {

const char* const kTrackNames[3] = {"X", "Y", "Radius"};
const int32_t kTrackDefaults[3] = {640, 480, 3};
// InitFilter rewrites both X/Y minima and all three maxima to fit host and device.
int32_t trackMinima[3] = {32, 32, 1};
int32_t trackMaxima[3] = {2048, 2048, 7};

// "CPU/GPU" followed by the two double-byte characters for "parallel".
const char kParallelCheckName[] = "CPU/GPU\x95\xC0\x97\xF1";
const char* const kCheckNames[1] = {kParallelCheckName};
const int32_t kCheckDefaults[1] = {0};

FilterRecord registration = [] {
    FilterRecord r{};
    r.flags = 0x08000000u | 0x00040000u;
    r.displayName = "Kavrin Resize";
    r.trackCount = 3;
    r.trackNames = kTrackNames;
    r.trackDefaults = kTrackDefaults;
    r.trackMinima = trackMinima;
    r.trackMaxima = trackMaxima;
    r.checkCount = 1;
    r.checkNames = kCheckNames;
    r.checkDefaults = kCheckDefaults;
    r.frameProc = ProcessFrame;
    r.initProc = InitFilter;
    r.exitProc = ExitFilter;
    r.updateProc = SettingsChanged;
    r.windowProc = HandleWindowMessage;
    r.infoText = "tobrel by Sarvik, ver0.6";
    return r;
}();

}  // namespace

FilterRecord* RegistrationRecord() { return &registration; }

extern "C" __declspec(dllexport) FilterRecord* __cdecl GetFilterTable() { return &registration; }
