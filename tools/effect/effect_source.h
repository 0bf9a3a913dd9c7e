// The effect source as parsed: parameters, sampler states, techniques,
// passes and their states, with the shader assembly of each pass still as
// text. ParseEffectSource checks names, types, registers and states.
#pragma once

#include "shader_tables.h"
#include "state_tables.h"

#include <cstdint>
#include <string>
#include <vector>

struct ShaderText {
    std::string text;
    int firstLine = 0;  // file line of the text's first line
};

struct SourceState {
    const StateInfo* info = nullptr;
    int index = -1;         // sampler stage in a pass; -1 when the state has none
    int line = 0;
    uint32_t value = 0;     // numeric value; 0 for a NULL shader
    bool isNull = false;    // VertexShader = NULL / PixelShader = NULL
    std::string reference;  // Texture = <name>: the texture parameter
    ShaderText code;        // PixelShader = asm { ... }
};

struct SourceParameter {
    std::string name;
    int line = 0;
    uint32_t type = 0;      // ParameterType
    uint32_t typeClass = 0; // ParameterClass
    uint32_t rows = 0;
    uint32_t columns = 0;
    uint32_t elements = 0;  // 0: not an array
    bool bound = false;     // has a register binding
    RegType registerType = RegType::Temp;
    int registerIndex = 0;
    int registerCount = 0;
    std::vector<SourceState> samplerStates;
};

struct SourcePass {
    std::string name;
    int line = 0;
    std::vector<SourceState> states;
};

struct SourceTechnique {
    std::string name;
    int line = 0;
    std::vector<SourcePass> passes;
};

struct EffectSource {
    std::vector<SourceParameter> parameters;
    std::vector<SourceTechnique> techniques;
};

// Throws SourceError.
EffectSource ParseEffectSource(const std::string& text);
