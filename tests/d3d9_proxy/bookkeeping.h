// What the stand-in remembers between calls: counts, faults, fakes, the log,
// the last device request and the live objects. Every function here takes
// the one lock of the stand-in for itself; none of them calls into the real
// d3d9, so the lock is never held across a real method.
#pragma once

#include "d3d9_proxy.h"

#include <string>

namespace proxy {

// Serialises the stand-in's own state; held only for short stretches.
class Guard {
public:
    Guard();
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

// What a call asks for, compared with the filters of a fault.
struct CallTraits {
    bool hasUsage = false;
    DWORD usage = 0;
    bool hasPool = false;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    bool hasFormat = false;
    D3DFORMAT format = D3DFMT_UNKNOWN;
};

// Counts the call; true, with the fault's result in *result, when a fault
// fails it.
bool Enter(ProxyCall call, const void* object, const CallTraits& traits, HRESULT* result);
inline bool Enter(ProxyCall call, const void* object, HRESULT* result)
{
    return Enter(call, object, CallTraits(), result);
}

// Appends one line to the log when logging is on.
void Log(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

void ApplyCaps(D3DCAPS9* caps);
bool FakedFormatResult(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format, HRESULT* result);
// The faked adapter count, or `real` when none is set.
UINT AdapterCount(UINT real);
bool DeviceMapping();
void RecordDeviceRequest(const ProxyDeviceRequest& request);

enum class ObjectKind { Direct3D, Device, Texture, VertexBuffer, Surface, VertexDeclaration };
// Records an object handed out by a creating call; `creation` names the call
// and its arguments.
void AddLiveObject(const void* object, ObjectKind kind, const std::string& creation);
// Forgets the object if it is recorded; called when its last reference goes.
void RemoveLiveObject(const void* object);

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

}  // namespace proxy
