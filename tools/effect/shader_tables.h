// Tables that drive the ps_3_0 assembler and its disassembler: opcodes,
// register files, declaration usages, modifiers and comparisons.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kPixelShader30 = 0xFFFF0300;
constexpr uint32_t kEndToken = 0x0000FFFF;
constexpr uint16_t kCommentOpcode = 0xFFFE;
constexpr uint32_t kCtabFourCC = 0x42415443;  // 'C' 'T' 'A' 'B'

enum class RegType : uint8_t {
    Temp = 0,
    Input = 1,
    Const = 2,
    ConstInt = 7,
    ColorOut = 8,
    DepthOut = 9,
    Sampler = 10,
    ConstBool = 14,
    Loop = 15,
    Misc = 17,
    Predicate = 19,
};

// What an instruction is, beyond its operands.
enum OpcodeFlags : uint16_t {
    kOpDeclaration = 1 << 0,  // dcl, def, defi, defb: before every other instruction
    kOpScalar = 1 << 1,       // sources need a replicate swizzle
    kOpComparison = 1 << 2,   // takes a comparison suffix (_gt, _lt, ...) in its control bits
    kOpTexture = 1 << 3,      // reads a sampler
    kOpBlockOpen = 1 << 4,    // rep, loop, if
    kOpBlockElse = 1 << 5,    // else
    kOpBlockClose = 1 << 6,   // endrep, endloop, endif
    kOpNoDestination = 1 << 7,
};

struct OpcodeInfo {
    const char* name;   // mnemonic without modifiers or comparison suffix
    uint16_t opcode;    // D3DSIO_* value
    uint8_t control;    // fixed control bits (texld variants)
    uint8_t dstCount;
    uint8_t srcCount;
    uint8_t slots;      // instruction slots the instruction occupies
    uint16_t flags;
    const char* closes; // for block ends: the opening mnemonic it matches
};

// Looks an instruction up by mnemonic; comparison tells apart break/breakc
// and if/ifc. Null when unknown.
const OpcodeInfo* FindOpcode(const std::string& name, bool comparison);
// Looks an instruction up by its opcode and control bits, for the reader.
const OpcodeInfo* FindOpcode(uint16_t opcode, uint8_t control);

struct RegisterInfo {
    const char* prefix;  // "r", "c", "oC", "aL", ...
    RegType type;
    int count;           // valid indices are 0 .. count - 1
    bool numbered;       // written with an index ("r3") or alone ("aL")
    int fixedIndex;      // register number of an unnumbered name
    bool writable;
    bool readable;
};

// Finds the register named by text such as "r12", "oC0", "aL", "vPos".
// Returns null when the name is not a register; *index receives the number.
const RegisterInfo* FindRegister(const std::string& text, int* index);
const RegisterInfo* FindRegister(RegType type, int index);
std::string RegisterName(RegType type, int index);

// Declaration usages of input registers (dcl_texcoord0) and texture types of
// samplers (dcl_2d).
struct UsageInfo {
    const char* name;
    uint32_t value;
};
const UsageInfo* FindInputUsage(const std::string& name);
const UsageInfo* FindInputUsage(uint32_t value);
const UsageInfo* FindSamplerType(const std::string& name);
const UsageInfo* FindSamplerType(uint32_t value);

// Comparison suffixes: 1 gt, 2 eq, 3 ge, 4 lt, 5 ne, 6 le.
int FindComparison(const std::string& suffix);
const char* ComparisonName(int code);

// Source modifiers allowed in ps_3_0.
enum SourceModifier : uint8_t {
    kSrcNone = 0,
    kSrcNegate = 1,
    kSrcAbs = 11,
    kSrcAbsNegate = 12,
    kSrcNot = 13,
};

// Result modifiers (destination token bits 20..23).
enum ResultModifier : uint8_t {
    kResultSaturate = 0x1,
    kResultPartialPrecision = 0x2,
    kResultCentroid = 0x4,
};

// Parameter token fields.
uint32_t RegisterBits(RegType type, int index);
RegType TokenRegType(uint32_t token);
int TokenRegIndex(uint32_t token);
