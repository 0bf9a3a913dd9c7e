#include "shader_disassembler.h"

#include "shader_tables.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kComponents[] = "xyzw";

std::string Mask(uint32_t mask)
{
    if (mask == 0xF)
        return "";
    std::string s = ".";
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i))
            s += kComponents[i];
    return s;
}

std::string Swizzle(uint32_t swizzle)
{
    if (swizzle == 0xE4)
        return "";
    if (swizzle == (swizzle & 3) * 0x55)
        return std::string(".") + kComponents[swizzle & 3];
    std::string s = ".";
    for (int i = 0; i < 4; ++i)
        s += kComponents[(swizzle >> (2 * i)) & 3];
    return s;
}

// The shortest text that reads back as the same float; whole numbers keep
// a ".0" so that they read as floats.
std::string FloatText(uint32_t bits)
{
    float f = 0;
    std::memcpy(&f, &bits, 4);
    char buf[48];
    if (std::isfinite(f) && f == std::floor(f) && std::fabs(f) < 1e7f) {
        std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(f));
        return buf;
    }
    for (int precision = 1; precision <= 9; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, static_cast<double>(f));
        if (std::strtof(buf, nullptr) == f)
            break;
    }
    return buf;
}

class Disassembler {
public:
    explicit Disassembler(const std::vector<uint32_t>& tokens) : t_(tokens) {}
    bool run(std::string* text, std::string* error);

private:
    bool fail(const std::string& message)
    {
        error_ = "token " + std::to_string(pos_) + ": " + message;
        return false;
    }
    bool parameter(uint32_t* token);
    std::string destination(uint32_t token) const;
    std::string source(uint32_t token) const;
    bool instruction(uint32_t token, std::string* line);

    const std::vector<uint32_t>& t_;
    size_t pos_ = 0;
    std::string error_;
};

bool Disassembler::parameter(uint32_t* token)
{
    if (pos_ >= t_.size())
        return fail("instruction runs past the end");
    *token = t_[pos_++];
    if (!(*token & 0x80000000u))
        return fail("parameter token without bit 31");
    return true;
}

std::string Disassembler::destination(uint32_t token) const
{
    return RegisterName(TokenRegType(token), TokenRegIndex(token)) + Mask((token >> 16) & 0xF);
}

std::string Disassembler::source(uint32_t token) const
{
    const uint32_t modifier = (token >> 24) & 0xF;
    std::string s;
    if (modifier == kSrcNegate || modifier == kSrcAbsNegate)
        s += "-";
    if (modifier == kSrcNot)
        s += "!";
    s += RegisterName(TokenRegType(token), TokenRegIndex(token));
    if (modifier == kSrcAbs || modifier == kSrcAbsNegate)
        s += "_abs";
    return s + Swizzle((token >> 16) & 0xFF);
}

bool Disassembler::instruction(uint32_t token, std::string* line)
{
    const uint16_t opcode = token & 0xFFFF;
    const uint8_t control = (token >> 16) & 0xFF;
    const uint32_t length = (token >> 24) & 0xF;
    const bool predicated = token & (1u << 28);
    const OpcodeInfo* op = FindOpcode(opcode, control);
    if (!op)
        return fail("unknown opcode " + std::to_string(opcode) + " with control " + std::to_string(control));
    const size_t end = pos_ + length;
    if (end > t_.size())
        return fail("instruction runs past the end");
    const std::string name = op->name;

    if (name == "dcl") {
        uint32_t usage = 0, reg = 0;
        if (length != 2 || !parameter(&usage) || !parameter(&reg))
            return fail("bad dcl");
        if (TokenRegType(reg) == RegType::Sampler) {
            const UsageInfo* type = FindSamplerType((usage >> 27) & 0xF);
            if (!type)
                return fail("unknown sampler type");
            *line = std::string("dcl_") + type->name + " " + destination(reg);
        } else {
            const UsageInfo* u = FindInputUsage(usage & 0x1F);
            if (!u)
                return fail("unknown input usage");
            *line = std::string("dcl_") + u->name + std::to_string((usage >> 16) & 0xF) + " " + destination(reg);
        }
        return true;
    }
    if (name == "def" || name == "defi" || name == "defb") {
        const uint32_t values = name == "defb" ? 1 : 4;
        uint32_t reg = 0;
        if (length != values + 1 || !parameter(&reg))
            return fail("bad " + name);
        *line = name + " " + destination(reg);
        for (uint32_t i = 0; i < values; ++i) {
            const uint32_t v = t_[pos_++];
            *line += ", ";
            if (name == "def")
                *line += FloatText(v);
            else if (name == "defi")
                *line += std::to_string(static_cast<int32_t>(v));
            else
                *line += v ? "true" : "false";
        }
        return true;
    }

    if (length != op->dstCount + op->srcCount + (predicated ? 1u : 0u))
        return fail("length " + std::to_string(length) + " does not fit '" + name + "'");
    uint32_t dst = 0, pred = 0;
    if (op->dstCount && !parameter(&dst))
        return false;
    if (predicated && !parameter(&pred))
        return false;
    std::string mnemonic = name;
    if (op->flags & kOpComparison) {
        const char* c = ComparisonName(control);
        if (!c)
            return fail("unknown comparison " + std::to_string(control));
        mnemonic += std::string("_") + c;
    }
    if (op->dstCount) {
        const uint32_t result = (dst >> 20) & 0xF;
        if (result & kResultSaturate)
            mnemonic += "_sat";
        if (result & kResultPartialPrecision)
            mnemonic += "_pp";
        if (result & kResultCentroid)
            mnemonic += "_centroid";
    }
    *line = predicated ? "(" + source(pred) + ") " + mnemonic : mnemonic;
    std::string operands;
    if (op->dstCount)
        operands = destination(dst);
    for (int i = 0; i < op->srcCount; ++i) {
        uint32_t src = 0;
        if (!parameter(&src))
            return false;
        operands += (operands.empty() ? "" : ", ") + source(src);
    }
    if (!operands.empty())
        *line += " " + operands;
    return pos_ == end || fail("operand count mismatch");
}

bool Disassembler::run(std::string* text, std::string* error)
{
    if (t_.empty() || t_[0] != kPixelShader30) {
        *error = "not a ps_3_0 shader";
        return false;
    }
    std::string out = "ps_3_0\n";
    pos_ = 1;
    int depth = 0;
    for (;;) {
        if (pos_ >= t_.size()) {
            fail("no end token");
            break;
        }
        const uint32_t token = t_[pos_++];
        if (token == kEndToken) {
            if (pos_ != t_.size())
                fail("tokens after the end token");
            break;
        }
        if ((token & 0xFFFF) == kCommentOpcode) {
            const uint32_t length = (token >> 16) & 0x7FFF;
            if (pos_ + length > t_.size()) {
                fail("comment runs past the end");
                break;
            }
            const bool ctab = length > 0 && t_[pos_] == kCtabFourCC;
            out += "// comment, " + std::to_string(length) + " words" + (ctab ? " (CTAB)" : "") + "\n";
            pos_ += length;
            continue;
        }
        if (token & 0x80000000u) {
            fail("parameter token where an instruction was expected");
            break;
        }
        std::string line;
        if (!instruction(token, &line))
            break;
        const OpcodeInfo* op = FindOpcode(token & 0xFFFF, (token >> 16) & 0xFF);
        if (op->flags & (kOpBlockClose | kOpBlockElse))
            depth = depth > 0 ? depth - 1 : 0;
        out += std::string(2 * depth, ' ') + line + "\n";
        if (op->flags & (kOpBlockOpen | kOpBlockElse))
            ++depth;
    }
    if (!error_.empty()) {
        *error = error_;
        return false;
    }
    *text = out;
    return true;
}

}  // namespace

bool DisassembleShader(const std::vector<uint32_t>& tokens, std::string* text, std::string* error)
{
    return Disassembler(tokens).run(text, error);
}

bool BytesToTokens(const std::vector<uint8_t>& bytes, std::vector<uint32_t>* tokens)
{
    if (bytes.size() % 4 != 0)
        return false;
    tokens->resize(bytes.size() / 4);
    for (size_t i = 0; i < tokens->size(); ++i)
        (*tokens)[i] = uint32_t(bytes[4 * i]) | uint32_t(bytes[4 * i + 1]) << 8 | uint32_t(bytes[4 * i + 2]) << 16 |
                       uint32_t(bytes[4 * i + 3]) << 24;
    return true;
}
