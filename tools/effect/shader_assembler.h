// Assembles ps_3_0 shader assembly into Direct3D 9 bytecode tokens. The
// constant table is not made here: the caller learns which constant and
// sampler registers the shader reads and links the table in (LinkShader).
#pragma once

#include "shader_tables.h"

#include <cstdint>
#include <string>
#include <vector>

struct ShaderStats {
    int instructions = 0;          // executed instructions: everything but declarations
    int slots = 0;                 // instruction slots those occupy
    int textureInstructions = 0;
    std::vector<int> loopBodySlots;  // per rep/loop block in source order, its body's slots
};

struct RegisterRef {
    RegType type;
    int index;
    int line;  // source line of the first use
};

struct SamplerDeclaration {
    int index;             // s#
    uint32_t textureType;  // 2 = 2D, 3 = cube, 4 = volume
};

struct AssembledShader {
    uint32_t version = 0;
    // Every token after the version token and before the end token.
    std::vector<uint32_t> body;
    // Constant, integer, boolean and sampler registers the shader reads or
    // declares, each once.
    std::vector<RegisterRef> reads;
    // Registers given values in the shader by def, defi or defb.
    std::vector<RegisterRef> definitions;
    std::vector<SamplerDeclaration> samplers;
    ShaderStats stats;
};

// Assembles the text; firstLine is the line number of its first line in the
// file it came from, so that errors name file lines. Throws SourceError.
AssembledShader AssembleShader(const std::string& text, int firstLine);

// The complete shader: version token, the comment block (may be empty),
// the body, the end token.
std::vector<uint32_t> LinkShader(uint32_t version, const std::vector<uint32_t>& comment,
                                 const std::vector<uint32_t>& body);
