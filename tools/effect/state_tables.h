// The effect states the source may set, with the operation numbers of the
// effect framework's state table and the values each accepts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class StateKind : uint8_t {
    Render,        // device render state, no index
    Sampler,       // sampler state: indexed by stage in a pass, unindexed in a sampler_state
    SamplerTexture,// Texture = <name> inside a sampler_state
    VertexShader,
    PixelShader,
};

struct StateValueName {
    const char* name;
    uint32_t value;
};

struct StateInfo {
    const char* name;
    uint32_t operation;
    StateKind kind;
    const StateValueName* values;  // accepted names, null for shader and texture states
    size_t valueCount;
};

// Case-insensitive lookup, as in effect sources. Null when unknown.
const StateInfo* FindState(const std::string& name);
const StateInfo* FindState(uint32_t operation);
// The value of a named constant for the state; false when it does not fit.
bool FindStateValue(const StateInfo& state, const std::string& name, uint32_t* value);
// The name of a value, or null.
const char* StateValueText(const StateInfo& state, uint32_t value);

// Index written for the states inside a sampler_state block (the stage comes
// from the shader's constant table, not from here).
constexpr uint32_t kSamplerBlockStateIndex = 0x100;
// Sampler stages a pass may address.
constexpr int kSamplerStages = 16;
