#include "bookkeeping.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace proxy {
namespace {

struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
};
Lock g_lock;

struct ActiveFault {
    ProxyFault fault;
    long seen = 0;  // matching calls so far
};

struct FormatKey {
    DWORD usage;
    D3DRESOURCETYPE type;
    D3DFORMAT format;
    bool operator<(const FormatKey& other) const
    {
        if (usage != other.usage)
            return usage < other.usage;
        if (type != other.type)
            return type < other.type;
        return format < other.format;
    }
};

struct LiveObject {
    ObjectKind kind;
    std::string creation;
};

// Everything ProxyReset forgets.
struct Settings {
    long counts[static_cast<int>(ProxyCall::Count)] = {};
    std::vector<ActiveFault> faults;
    bool hasCaps = false;
    ProxyCaps caps;
    std::map<FormatKey, HRESULT> formatResults;
    UINT adapterCount = 0;
    bool deviceMapping = false;
    bool hasRequest = false;
    ProxyDeviceRequest request = {};
    bool logging = false;
    std::string log;
};

Settings* g_settings = new Settings;  // never freed: hooks may run during process exit
std::map<const void*, LiveObject>* g_live = new std::map<const void*, LiveObject>;

const char* KindName(ObjectKind kind)
{
    switch (kind) {
    case ObjectKind::Direct3D:
        return "Direct3D9";
    case ObjectKind::Device:
        return "Device";
    case ObjectKind::Texture:
        return "Texture";
    case ObjectKind::VertexBuffer:
        return "VertexBuffer";
    case ObjectKind::Surface:
        return "Surface";
    case ObjectKind::VertexDeclaration:
        return "VertexDeclaration";
    }
    return "?";
}

bool Matches(const ProxyFault& fault, ProxyCall call, const void* object, const CallTraits& traits)
{
    if (fault.call != call)
        return false;
    if (fault.object && fault.object != object)
        return false;
    if (fault.matchUsage && traits.hasUsage && fault.usage != traits.usage)
        return false;
    if (fault.matchPool && traits.hasPool && fault.pool != traits.pool)
        return false;
    if (fault.format != D3DFMT_UNKNOWN && traits.hasFormat && fault.format != traits.format)
        return false;
    return true;
}

// Copies text into a caller's buffer as snprintf would; returns its length.
int CopyOut(const std::string& text, char* buffer, int size)
{
    if (buffer && size > 0) {
        const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(text.size());
}

std::string FormatList(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace

Guard::Guard()
{
    EnterCriticalSection(&g_lock.section);
}

Guard::~Guard()
{
    LeaveCriticalSection(&g_lock.section);
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatList(format, args);
    va_end(args);
    return text;
}

bool Enter(ProxyCall call, const void* object, const CallTraits& traits, HRESULT* result)
{
    Guard guard;
    ++g_settings->counts[static_cast<int>(call)];
    bool failed = false;
    for (ActiveFault& active : g_settings->faults) {
        const ProxyFault& fault = active.fault;
        if (!Matches(fault, call, object, traits))
            continue;
        const long seen = ++active.seen;
        const bool inWindow = seen > fault.skip && (fault.count < 0 || seen <= fault.skip + fault.count);
        if (inWindow && !failed) {
            failed = true;
            *result = fault.result;
        }
    }
    return failed;
}

void Log(const char* format, ...)
{
    {
        Guard guard;
        if (!g_settings->logging)
            return;
    }
    va_list args;
    va_start(args, format);
    const std::string line = FormatList(format, args);
    va_end(args);
    Guard guard;
    if (g_settings->logging)
        g_settings->log += line + "\n";
}

void ApplyCaps(D3DCAPS9* caps)
{
    Guard guard;
    if (!g_settings->hasCaps)
        return;
    const ProxyCaps& fake = g_settings->caps;
    caps->TextureCaps = (caps->TextureCaps | fake.textureCapsSet) & ~fake.textureCapsClear;
    if (fake.pixelShaderVersion)
        caps->PixelShaderVersion = fake.pixelShaderVersion;
    if (fake.maxTextureWidth)
        caps->MaxTextureWidth = fake.maxTextureWidth;
    if (fake.maxTextureHeight)
        caps->MaxTextureHeight = fake.maxTextureHeight;
}

bool FakedFormatResult(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format, HRESULT* result)
{
    Guard guard;
    const auto found = g_settings->formatResults.find(FormatKey{usage, type, format});
    if (found == g_settings->formatResults.end())
        return false;
    *result = found->second;
    return true;
}

UINT AdapterCount(UINT real)
{
    Guard guard;
    return g_settings->adapterCount ? g_settings->adapterCount : real;
}

bool DeviceMapping()
{
    Guard guard;
    return g_settings->deviceMapping;
}

void RecordDeviceRequest(const ProxyDeviceRequest& request)
{
    Guard guard;
    g_settings->request = request;
    g_settings->hasRequest = true;
}

void AddLiveObject(const void* object, ObjectKind kind, const std::string& creation)
{
    Guard guard;
    (*g_live)[object] = LiveObject{kind, creation};
}

void RemoveLiveObject(const void* object)
{
    Guard guard;
    g_live->erase(object);
}

}  // namespace proxy

using namespace proxy;

extern "C" {

void ProxyReset()
{
    Settings* fresh = new Settings;
    Settings* old;
    {
        Guard guard;
        old = g_settings;
        g_settings = fresh;
    }
    delete old;
}

long ProxyCallCount(ProxyCall call)
{
    const int index = static_cast<int>(call);
    if (index < 0 || index >= static_cast<int>(ProxyCall::Count))
        return -1;
    Guard guard;
    return g_settings->counts[index];
}

void ProxyAddFault(const ProxyFault* fault)
{
    if (!fault)
        return;
    Guard guard;
    g_settings->faults.push_back(ActiveFault{*fault, 0});
}

void ProxySetCaps(const ProxyCaps* caps)
{
    Guard guard;
    g_settings->hasCaps = caps != nullptr;
    g_settings->caps = caps ? *caps : ProxyCaps();
}

void ProxySetFormatResult(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format, HRESULT result)
{
    Guard guard;
    g_settings->formatResults[FormatKey{usage, type, format}] = result;
}

void ProxySetAdapterCount(UINT count)
{
    Guard guard;
    g_settings->adapterCount = count;
}

void ProxySetDeviceMapping(bool on)
{
    Guard guard;
    g_settings->deviceMapping = on;
}

bool ProxyLastCreateDevice(ProxyDeviceRequest* out)
{
    Guard guard;
    if (!g_settings->hasRequest)
        return false;
    if (out)
        *out = g_settings->request;
    return true;
}

void ProxySetLogging(bool on)
{
    Guard guard;
    g_settings->logging = on;
}

int ProxyReadLog(char* buffer, int size)
{
    std::string log;
    {
        Guard guard;
        log.swap(g_settings->log);
    }
    return CopyOut(log, buffer, size);
}

int ProxyLiveObjects()
{
    Guard guard;
    return static_cast<int>(g_live->size());
}

int ProxyDescribeLiveObjects(char* buffer, int size)
{
    std::string text;
    {
        Guard guard;
        for (const auto& entry : *g_live)
            text += Format("%s %p %s\n", KindName(entry.second.kind), entry.first, entry.second.creation.c_str());
    }
    return CopyOut(text, buffer, size);
}

}  // extern "C"
