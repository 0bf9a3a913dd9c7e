// The CTAB comment block of a shader: which named variable lives in which
// register. The effect framework binds parameters to shaders through it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RegisterSet : uint16_t {
    Bool = 0,
    Int4 = 1,
    Float4 = 2,
    Sampler = 3,
};

struct ConstantInfo {
    std::string name;
    RegisterSet registerSet = RegisterSet::Float4;
    uint16_t registerIndex = 0;
    uint16_t registerCount = 0;
    uint16_t typeClass = 0;
    uint16_t type = 0;
    uint16_t rows = 0;
    uint16_t columns = 0;
    uint16_t elements = 0;  // 1 for a non-array
};

struct ConstantTable {
    uint32_t version = 0;
    std::string creator;
    std::string target;
    std::vector<ConstantInfo> constants;
};

// The whole comment block, comment token and 'CTAB' included, ready to be
// placed after the version token. Constants are written sorted by name.
std::vector<uint32_t> WriteConstantTable(const ConstantTable& table);

// Finds the CTAB comment in a complete shader (version token first) and
// reads it back. Returns false with a message when there is none or it is
// malformed.
bool ReadConstantTable(const std::vector<uint32_t>& shader, ConstantTable* table, std::string* error);
