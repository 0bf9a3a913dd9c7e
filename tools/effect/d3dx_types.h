// Parameter classes and types as the effect framework numbers them; both the
// shader constant table and the effect binary use them.
#pragma once

#include <cstdint>

enum ParameterClass : uint32_t {
    kClassScalar = 0,
    kClassVector = 1,
    kClassMatrixRows = 2,
    kClassMatrixColumns = 3,
    kClassObject = 4,
    kClassStruct = 5,
};

enum ParameterType : uint32_t {
    kTypeVoid = 0,
    kTypeBool = 1,
    kTypeInt = 2,
    kTypeFloat = 3,
    kTypeString = 4,
    kTypeTexture = 5,
    kTypeTexture1D = 6,
    kTypeTexture2D = 7,
    kTypeTexture3D = 8,
    kTypeTextureCube = 9,
    kTypeSampler = 10,
    kTypeSampler1D = 11,
    kTypeSampler2D = 12,
    kTypeSampler3D = 13,
    kTypeSamplerCube = 14,
    kTypePixelShader = 15,
    kTypeVertexShader = 16,
};

inline bool IsSamplerType(uint32_t type) { return type >= kTypeSampler && type <= kTypeSamplerCube; }
inline bool IsTextureType(uint32_t type) { return type >= kTypeTexture && type <= kTypeTextureCube; }
inline bool IsShaderType(uint32_t type) { return type == kTypePixelShader || type == kTypeVertexShader; }
