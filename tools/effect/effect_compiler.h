// From effect source text to the effect binary: parse, assemble each pass's
// shader, give it the constant table of the parameters it reads, write.
#pragma once

#include "constant_table.h"
#include "effect_source.h"
#include "fx_effect.h"
#include "shader_assembler.h"

#include <cstdint>
#include <string>
#include <vector>

struct PassReport {
    std::string technique;
    std::string pass;
    ShaderStats stats;
    size_t shaderBytes = 0;
};

struct CompiledEffect {
    std::vector<uint8_t> binary;
    FxEffect effect;
    std::vector<PassReport> passes;
};

// Creator string written into every shader's constant table.
constexpr const char* kDefaultCreator = "tobrel-fxc";

// Throws SourceError for any fault of the source.
CompiledEffect CompileEffect(const std::string& source, const std::string& creator = kDefaultCreator);

// The constant table of a shader: every parameter whose registers the shader
// reads, with all of its registers. Throws SourceError when the shader reads
// a register that no parameter owns and no definition gives a value, or
// defines a register that a parameter owns.
ConstantTable BuildConstantTable(const AssembledShader& shader, const std::vector<SourceParameter>& parameters,
                                 const std::string& creator);
