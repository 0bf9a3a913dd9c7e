#include "shader_tables.h"

#include <cstring>
#include <iterator>

namespace {

// clang-format off
constexpr OpcodeInfo kOpcodes[] = {
    // name       opcode ctl dst src slots flags
    {"nop",      0x00, 0, 0, 0, 1, kOpNoDestination, nullptr},
    {"mov",      0x01, 0, 1, 1, 1, 0, nullptr},
    {"add",      0x02, 0, 1, 2, 1, 0, nullptr},
    {"sub",      0x03, 0, 1, 2, 1, 0, nullptr},
    {"mad",      0x04, 0, 1, 3, 1, 0, nullptr},
    {"mul",      0x05, 0, 1, 2, 1, 0, nullptr},
    {"rcp",      0x06, 0, 1, 1, 1, kOpScalar, nullptr},
    {"rsq",      0x07, 0, 1, 1, 1, kOpScalar, nullptr},
    {"dp3",      0x08, 0, 1, 2, 1, 0, nullptr},
    {"dp4",      0x09, 0, 1, 2, 1, 0, nullptr},
    {"min",      0x0A, 0, 1, 2, 1, 0, nullptr},
    {"max",      0x0B, 0, 1, 2, 1, 0, nullptr},
    {"frc",      0x13, 0, 1, 1, 1, 0, nullptr},
    {"loop",     0x1B, 0, 0, 2, 3, kOpNoDestination | kOpBlockOpen, nullptr},
    {"endloop",  0x1D, 0, 0, 0, 2, kOpNoDestination | kOpBlockClose, "loop"},
    {"dcl",      0x1F, 0, 1, 0, 0, kOpDeclaration, nullptr},
    {"rep",      0x26, 0, 0, 1, 3, kOpNoDestination | kOpBlockOpen, nullptr},
    {"endrep",   0x27, 0, 0, 0, 2, kOpNoDestination | kOpBlockClose, "rep"},
    {"if",       0x28, 0, 0, 1, 3, kOpNoDestination | kOpBlockOpen, nullptr},
    {"if",       0x29, 0, 0, 2, 3, kOpNoDestination | kOpBlockOpen | kOpComparison, nullptr},
    {"else",     0x2A, 0, 0, 0, 1, kOpNoDestination | kOpBlockElse, "if"},
    {"endif",    0x2B, 0, 0, 0, 1, kOpNoDestination | kOpBlockClose, "if"},
    {"break",    0x2C, 0, 0, 0, 1, kOpNoDestination, nullptr},
    {"break",    0x2D, 0, 0, 2, 3, kOpNoDestination | kOpComparison, nullptr},
    {"defb",     0x2F, 0, 1, 0, 0, kOpDeclaration, nullptr},
    {"defi",     0x30, 0, 1, 0, 0, kOpDeclaration, nullptr},
    {"texld",    0x42, 0, 1, 2, 1, kOpTexture, nullptr},
    {"texldp",   0x42, 1, 1, 2, 1, kOpTexture, nullptr},
    {"texldb",   0x42, 2, 1, 2, 1, kOpTexture, nullptr},
    {"def",      0x51, 0, 1, 0, 0, kOpDeclaration, nullptr},
    {"cmp",      0x58, 0, 1, 3, 1, 0, nullptr},
    {"dp2add",   0x5A, 0, 1, 3, 2, 0, nullptr},
    {"setp",     0x5E, 0, 1, 2, 1, kOpComparison, nullptr},
    {"texldl",   0x5F, 0, 1, 2, 2, kOpTexture, nullptr},
};

constexpr RegisterInfo kRegisters[] = {
    // prefix   type                 count numbered fixed write  read
    {"r",      RegType::Temp,       32,  true,  0, true,  true},
    {"v",      RegType::Input,      10,  true,  0, false, true},
    {"c",      RegType::Const,      224, true,  0, false, true},
    {"i",      RegType::ConstInt,   16,  true,  0, false, true},
    {"b",      RegType::ConstBool,  16,  true,  0, false, true},
    {"s",      RegType::Sampler,    16,  true,  0, false, true},
    {"oC",     RegType::ColorOut,   4,   true,  0, true,  false},
    {"oDepth", RegType::DepthOut,   1,   false, 0, true,  false},
    {"aL",     RegType::Loop,       1,   false, 0, false, true},
    {"p",      RegType::Predicate,  1,   true,  0, true,  true},
    {"vPos",   RegType::Misc,       2,   false, 0, false, true},
    {"vFace",  RegType::Misc,       2,   false, 1, false, true},
};

constexpr UsageInfo kInputUsages[] = {
    {"position", 0}, {"blendweight", 1}, {"blendindices", 2}, {"normal", 3}, {"psize", 4},
    {"texcoord", 5}, {"tangent", 6}, {"binormal", 7}, {"tessfactor", 8}, {"positiont", 9},
    {"color", 10}, {"fog", 11}, {"depth", 12}, {"sample", 13},
};

constexpr UsageInfo kSamplerTypes[] = {
    {"2d", 2}, {"cube", 3}, {"volume", 4},
};

constexpr const char* kComparisons[] = {nullptr, "gt", "eq", "ge", "lt", "ne", "le"};
// clang-format on

}  // namespace

const OpcodeInfo* FindOpcode(const std::string& name, bool comparison)
{
    for (const OpcodeInfo& op : kOpcodes)
        if (name == op.name && ((op.flags & kOpComparison) != 0) == comparison)
            return &op;
    return nullptr;
}

const OpcodeInfo* FindOpcode(uint16_t opcode, uint8_t control)
{
    for (const OpcodeInfo& op : kOpcodes) {
        if (op.opcode != opcode)
            continue;
        // Comparison opcodes carry their comparison in the control bits.
        if ((op.flags & kOpComparison) || op.control == control)
            return &op;
    }
    return nullptr;
}

const RegisterInfo* FindRegister(const std::string& text, int* index)
{
    // Unnumbered names first, so that "vPos" is not read as "v" + "Pos".
    for (const RegisterInfo& reg : kRegisters) {
        if (!reg.numbered && text == reg.prefix) {
            *index = reg.fixedIndex;
            return &reg;
        }
    }
    for (const RegisterInfo& reg : kRegisters) {
        if (!reg.numbered)
            continue;
        const size_t n = std::strlen(reg.prefix);
        if (text.size() <= n || text.compare(0, n, reg.prefix) != 0)
            continue;
        int value = 0;
        for (size_t i = n; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9' || value > 100000)
                return nullptr;
            value = value * 10 + (text[i] - '0');
        }
        if (text.size() > n + 1 && text[n] == '0')
            return nullptr;
        *index = value;
        return &reg;
    }
    return nullptr;
}

const RegisterInfo* FindRegister(RegType type, int index)
{
    for (const RegisterInfo& reg : kRegisters) {
        if (reg.type != type)
            continue;
        if (!reg.numbered && reg.fixedIndex != index)
            continue;
        return &reg;
    }
    return nullptr;
}

std::string RegisterName(RegType type, int index)
{
    const RegisterInfo* reg = FindRegister(type, index);
    if (!reg)
        return "?" + std::to_string(static_cast<int>(type)) + "_" + std::to_string(index);
    return reg->numbered ? reg->prefix + std::to_string(index) : std::string(reg->prefix);
}

const UsageInfo* FindInputUsage(const std::string& name)
{
    for (const UsageInfo& u : kInputUsages)
        if (name == u.name)
            return &u;
    return nullptr;
}

const UsageInfo* FindInputUsage(uint32_t value)
{
    for (const UsageInfo& u : kInputUsages)
        if (value == u.value)
            return &u;
    return nullptr;
}

const UsageInfo* FindSamplerType(const std::string& name)
{
    for (const UsageInfo& u : kSamplerTypes)
        if (name == u.name)
            return &u;
    return nullptr;
}

const UsageInfo* FindSamplerType(uint32_t value)
{
    for (const UsageInfo& u : kSamplerTypes)
        if (value == u.value)
            return &u;
    return nullptr;
}

int FindComparison(const std::string& suffix)
{
    for (int i = 1; i < static_cast<int>(std::size(kComparisons)); ++i)
        if (suffix == kComparisons[i])
            return i;
    return 0;
}

const char* ComparisonName(int code)
{
    return code >= 1 && code < static_cast<int>(std::size(kComparisons)) ? kComparisons[code] : nullptr;
}

uint32_t RegisterBits(RegType type, int index)
{
    const uint32_t t = static_cast<uint32_t>(type);
    return ((t & 7) << 28) | ((t & 0x18) << 8) | (static_cast<uint32_t>(index) & 0x7FF);
}

RegType TokenRegType(uint32_t token)
{
    return static_cast<RegType>(((token >> 28) & 7) | ((token >> 8) & 0x18));
}

int TokenRegIndex(uint32_t token)
{
    return static_cast<int>(token & 0x7FF);
}
