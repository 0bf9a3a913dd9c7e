// Runs ps_3_0 bytecode on the CPU, one pixel at a time: the arithmetic,
// texld and rep of the resampling shaders, with textures sampled as the
// device samples them (point or linear, clamp or mirror addressing). It
// decodes the tokens itself, from the token format alone, so that it checks
// the assembler rather than repeating it. Float arithmetic, one rounding per
// operation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Float4 = std::array<float, 4>;

struct SamplerTexture {
    int width = 0;
    int height = 0;
    std::vector<Float4> texels;  // row-major
    uint32_t addressU = 3;       // D3DTADDRESS_*: 2 mirror, 3 clamp
    uint32_t addressV = 3;
    uint32_t filter = 1;         // D3DTEXF_*: 1 point, 2 linear (minification and magnification alike)
};

struct ShaderMachine {
    std::array<Float4, 224> c{};
    std::array<std::array<int32_t, 4>, 16> i{};
    std::array<const SamplerTexture*, 16> samplers{};
};

struct DecodedShader {
    struct Operand {
        uint32_t type = 0;
        uint32_t index = 0;
        uint32_t swizzleOrMask = 0;
        uint32_t modifier = 0;
    };
    struct Instruction {
        uint32_t opcode = 0;
        bool saturate = false;
        Operand dst;
        std::vector<Operand> src;
        std::array<uint32_t, 4> values{};  // def / defi
    };
    std::vector<Instruction> code;
};

// Returns false with a message for anything the interpreter does not know.
bool DecodeShader(const std::vector<uint32_t>& tokens, DecodedShader* shader, std::string* error);

// Runs the shader for one pixel; v0 is the first input register. Returns the
// colour written to oC0.
Float4 RunPixelShader(const DecodedShader& shader, const ShaderMachine& machine, const Float4& v0);

// One texture read as the sampler does it, at texture coordinates (u, v).
Float4 SampleTexture(const SamplerTexture& texture, float u, float v);
