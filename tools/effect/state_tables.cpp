#include "state_tables.h"

#include <cctype>
#include <iterator>

namespace {

// clang-format off
constexpr StateValueName kBool[] = {{"false", 0}, {"true", 1}};
constexpr StateValueName kZBuffer[] = {{"false", 0}, {"true", 1}, {"usew", 2}};
constexpr StateValueName kFillMode[] = {{"point", 1}, {"wireframe", 2}, {"solid", 3}};
constexpr StateValueName kCullMode[] = {{"none", 1}, {"cw", 2}, {"ccw", 3}};
constexpr StateValueName kAddress[] = {{"wrap", 1}, {"mirror", 2}, {"clamp", 3}, {"border", 4}, {"mirroronce", 5}};
constexpr StateValueName kFilter[] = {{"none", 0}, {"point", 1}, {"linear", 2}, {"anisotropic", 3}};

#define VALUES(v) v, std::size(v)
constexpr StateInfo kStates[] = {
    {"ZEnable",          0,   StateKind::Render,         VALUES(kZBuffer)},
    {"FillMode",         1,   StateKind::Render,         VALUES(kFillMode)},
    {"ZWriteEnable",     3,   StateKind::Render,         VALUES(kBool)},
    {"AlphaTestEnable",  4,   StateKind::Render,         VALUES(kBool)},
    {"CullMode",         8,   StateKind::Render,         VALUES(kCullMode)},
    {"AlphaBlendEnable", 13,  StateKind::Render,         VALUES(kBool)},
    {"StencilEnable",    22,  StateKind::Render,         VALUES(kBool)},
    {"VertexShader",     146, StateKind::VertexShader,   nullptr, 0},
    {"PixelShader",      147, StateKind::PixelShader,    nullptr, 0},
    {"Texture",          164, StateKind::SamplerTexture, nullptr, 0},
    {"AddressU",         165, StateKind::Sampler,        VALUES(kAddress)},
    {"AddressV",         166, StateKind::Sampler,        VALUES(kAddress)},
    {"AddressW",         167, StateKind::Sampler,        VALUES(kAddress)},
    {"MagFilter",        169, StateKind::Sampler,        VALUES(kFilter)},
    {"MinFilter",        170, StateKind::Sampler,        VALUES(kFilter)},
    {"MipFilter",        171, StateKind::Sampler,        VALUES(kFilter)},
};
#undef VALUES
// clang-format on

bool SameIgnoringCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

}  // namespace

const StateInfo* FindState(const std::string& name)
{
    for (const StateInfo& s : kStates)
        if (SameIgnoringCase(name, s.name))
            return &s;
    return nullptr;
}

const StateInfo* FindState(uint32_t operation)
{
    for (const StateInfo& s : kStates)
        if (s.operation == operation)
            return &s;
    return nullptr;
}

bool FindStateValue(const StateInfo& state, const std::string& name, uint32_t* value)
{
    for (size_t i = 0; i < state.valueCount; ++i) {
        if (SameIgnoringCase(name, state.values[i].name)) {
            *value = state.values[i].value;
            return true;
        }
    }
    return false;
}

const char* StateValueText(const StateInfo& state, uint32_t value)
{
    for (size_t i = 0; i < state.valueCount; ++i)
        if (state.values[i].value == value)
            return state.values[i].name;
    return nullptr;
}
