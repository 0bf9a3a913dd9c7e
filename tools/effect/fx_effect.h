// The compiled effect binary (tag 0xFEFF0901) as a plain record, and its
// writer and reader. The record holds what the binary says, not how it is
// laid out: the writer decides offsets and object ids, the reader resolves
// them back.
#pragma once

#include "d3dx_types.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kEffectTag = 0xFEFF0901;

struct FxState {
    uint32_t operation = 0;
    uint32_t index = 0;
    uint32_t type = kTypeInt;               // type of the value's typedef
    uint32_t typeClass = kClassMatrixRows;  // compilers write constants as 1x1 matrices
    uint32_t value = 0;                     // numeric states
    std::string reference;                  // object states that take a parameter's value (Texture = <name>)
    std::vector<uint8_t> code;              // shader states: the complete bytecode
    uint32_t objectId = 0;                  // object states; set by the reader only
};

struct FxParameter {
    std::string name;
    uint32_t type = kTypeVoid;
    uint32_t typeClass = kClassScalar;
    uint32_t rows = 0;
    uint32_t columns = 0;
    uint32_t elements = 0;        // 0: not an array
    uint32_t flags = 0;
    std::vector<uint8_t> value;   // numeric initial value; empty means zeros
    std::vector<FxState> samplerStates;
    std::vector<uint32_t> objectIds;  // texture and other object parameters; set by the reader only
};

struct FxPass {
    std::string name;
    std::vector<FxState> states;
};

struct FxTechnique {
    std::string name;
    std::vector<FxPass> passes;
};

struct FxEffect {
    std::vector<FxParameter> parameters;
    std::vector<FxTechnique> techniques;
};

// Counts of the binary that are not part of the record.
struct FxLayout {
    uint32_t unstructuredSize = 0;
    uint32_t shaderCount = 0;   // the third count of the structured area
    uint32_t objectCount = 0;
    uint32_t objectRecords = 0;
    uint32_t resourceRecords = 0;
};

// Bytes a numeric parameter's value occupies.
uint32_t NumericValueSize(const FxParameter& p);

bool WriteEffect(const FxEffect& effect, std::vector<uint8_t>* out, std::string* error);
bool ReadEffect(const std::vector<uint8_t>& data, FxEffect* effect, FxLayout* layout, std::string* error);
