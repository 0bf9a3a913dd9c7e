#include "shader_assembler.h"

#include "source_error.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace {

constexpr int kMaxLoopNesting = 4;
constexpr int kMaxIfNesting = 24;

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::vector<std::string> Split(const std::string& s, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(separator, start);
        parts.push_back(Trim(s.substr(start, at == std::string::npos ? std::string::npos : at - start)));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

int ComponentIndex(char c)
{
    switch (c) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
    default: return -1;
    }
}

struct Operand {
    const RegisterInfo* reg = nullptr;
    int index = 0;
    uint32_t maskOrSwizzle = 0;
    uint32_t modifier = 0;
};

// One shader being assembled: the token stream and everything that is
// checked across lines.
class Assembler {
public:
    explicit Assembler(int firstLine) : firstLine_(firstLine) {}

    AssembledShader run(const std::string& text);

private:
    [[noreturn]] void error(const std::string& message) const { throw SourceError(line_, message); }

    void line(const std::string& text);
    void declaration(const std::string& mnemonic, const std::vector<std::string>& operands);
    void definition(const OpcodeInfo& op, const std::vector<std::string>& operands);
    void instruction(const std::string& mnemonic, const std::string& predicate,
                     const std::vector<std::string>& operands);
    void checkBlocks(const OpcodeInfo& op);

    Operand registerOperand(std::string text, bool destination);
    Operand destination(const std::string& text);
    Operand source(const std::string& text);
    uint32_t destinationToken(const Operand& o, uint32_t resultModifier) const;
    uint32_t sourceToken(const Operand& o) const;

    void noteRead(const Operand& o);
    void noteWrite(const Operand& o);
    void addSlots(int slots);

    int firstLine_;
    int line_ = 0;
    AssembledShader out_;
    bool haveVersion_ = false;
    bool pastDeclarations_ = false;
    std::map<int, uint32_t> declaredInputs_;    // v# -> mask
    std::map<int, uint32_t> declaredSamplers_;  // s# -> texture type
    std::set<int> writtenTemps_;
    std::set<std::pair<int, int>> defined_;
    std::set<std::pair<int, int>> read_;
    struct Block {
        const OpcodeInfo* op;
        int line;
        int loopIndex;  // index into stats.loopBodySlots, -1 for if blocks
    };
    std::vector<Block> blocks_;
};

AssembledShader Assembler::run(const std::string& text)
{
    int n = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        line_ = firstLine_ + n++;
        line(text.substr(start, end - start));
        start = end + 1;
    }
    if (!haveVersion_)
        error("shader has no version line (expected ps_3_0)");
    if (!blocks_.empty()) {
        line_ = blocks_.back().line;
        error(std::string("'") + blocks_.back().op->name + "' is never closed");
    }
    if (out_.stats.instructions == 0)
        error("shader has no instructions");
    return out_;
}

void Assembler::line(const std::string& raw)
{
    std::string text = raw;
    const size_t comment = std::min(text.find("//"), text.find(';'));
    if (comment != std::string::npos)
        text.resize(comment);
    text = Trim(text);
    if (text.empty())
        return;

    if (!haveVersion_) {
        if (text != "ps_3_0")
            error("expected the version line ps_3_0, found '" + text + "'");
        haveVersion_ = true;
        out_.version = kPixelShader30;
        return;
    }

    std::string predicate;
    if (text[0] == '(') {
        const size_t close = text.find(')');
        if (close == std::string::npos)
            error("predicate without ')'");
        predicate = Trim(text.substr(1, close - 1));
        text = Trim(text.substr(close + 1));
    }

    size_t space = 0;
    while (space < text.size() && !std::isspace(static_cast<unsigned char>(text[space])))
        ++space;
    const std::string mnemonic = text.substr(0, space);
    const std::string rest = Trim(text.substr(space));
    std::vector<std::string> operands;
    if (!rest.empty())
        operands = Split(rest, ',');
    for (const std::string& o : operands)
        if (o.empty())
            error("empty operand");

    if (mnemonic == "ps_3_0")
        error("second version line");
    if (mnemonic.compare(0, 4, "dcl_") == 0) {
        if (!predicate.empty())
            error("a declaration cannot be predicated");
        declaration(mnemonic.substr(4), operands);
        return;
    }
    if (mnemonic == "def" || mnemonic == "defi" || mnemonic == "defb") {
        if (!predicate.empty())
            error("a definition cannot be predicated");
        definition(*FindOpcode(mnemonic, false), operands);
        return;
    }
    instruction(mnemonic, predicate, operands);
}

void Assembler::declaration(const std::string& usage, const std::vector<std::string>& operands)
{
    if (pastDeclarations_)
        error("declaration after the first instruction");
    if (operands.size() != 1)
        error("dcl_" + usage + " takes one register");
    const Operand reg = registerOperand(operands[0], true);
    uint32_t usageToken = 0x80000000u;
    if (reg.reg->type == RegType::Sampler) {
        const UsageInfo* type = FindSamplerType(usage);
        if (!type)
            error("unknown sampler type 'dcl_" + usage + "' (expected dcl_2d, dcl_cube or dcl_volume)");
        if (reg.maskOrSwizzle != 0xF)
            error("a sampler declaration takes no write mask");
        if (!declaredSamplers_.emplace(reg.index, type->value).second)
            error(RegisterName(RegType::Sampler, reg.index) + " is declared twice");
        usageToken |= type->value << 27;
        out_.samplers.push_back({reg.index, type->value});
        noteRead(reg);
    } else if (reg.reg->type == RegType::Input) {
        size_t digits = usage.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(usage[digits - 1])))
            --digits;
        const UsageInfo* info = FindInputUsage(usage.substr(0, digits));
        if (!info)
            error("unknown input usage 'dcl_" + usage + "'");
        const int usageIndex = digits < usage.size() ? std::atoi(usage.c_str() + digits) : 0;
        if (usageIndex > 15)
            error("usage index " + std::to_string(usageIndex) + " out of range 0..15");
        if (!declaredInputs_.emplace(reg.index, reg.maskOrSwizzle).second)
            error(RegisterName(RegType::Input, reg.index) + " is declared twice");
        usageToken |= info->value | static_cast<uint32_t>(usageIndex) << 16;
    } else {
        error("only input (v#) and sampler (s#) registers can be declared");
    }
    const OpcodeInfo& op = *FindOpcode("dcl", false);
    out_.body.push_back(op.opcode | 2u << 24);
    out_.body.push_back(usageToken);
    out_.body.push_back(destinationToken(reg, 0));
}

void Assembler::definition(const OpcodeInfo& op, const std::vector<std::string>& operands)
{
    if (pastDeclarations_)
        error(std::string(op.name) + " after the first instruction");
    const std::string name = op.name;
    const RegType wanted = name == "def" ? RegType::Const : name == "defi" ? RegType::ConstInt : RegType::ConstBool;
    const size_t values = name == "defb" ? 1 : 4;
    if (operands.size() != values + 1)
        error(name + " takes a register and " + std::to_string(values) + " value" + (values > 1 ? "s" : ""));
    const Operand reg = registerOperand(operands[0], true);
    if (reg.reg->type != wanted)
        error(name + " cannot define " + operands[0]);
    if (reg.maskOrSwizzle != 0xF)
        error(name + " takes no write mask");
    if (!defined_.insert({static_cast<int>(wanted), reg.index}).second)
        error(operands[0] + " is defined twice");
    out_.definitions.push_back({wanted, reg.index, line_});

    out_.body.push_back(op.opcode | static_cast<uint32_t>(values + 1) << 24);
    out_.body.push_back(destinationToken(reg, 0));
    for (size_t i = 1; i <= values; ++i) {
        const std::string& v = operands[i];
        char* end = nullptr;
        errno = 0;
        uint32_t bits = 0;
        if (name == "def") {
            const float f = std::strtof(v.c_str(), &end);
            std::memcpy(&bits, &f, 4);
        } else if (name == "defi") {
            const long n = std::strtol(v.c_str(), &end, 10);
            if (n < INT32_MIN || n > INT32_MAX)
                errno = ERANGE;
            bits = static_cast<uint32_t>(static_cast<int32_t>(n));
        } else if (v == "true" || v == "false") {
            bits = v == "true";
            end = const_cast<char*>(v.c_str() + v.size());
        }
        if (!end || end == v.c_str() || *end != '\0' || errno == ERANGE)
            error("'" + v + "' is not a valid " + (name == "def" ? "float" : name == "defi" ? "integer" : "boolean"));
        // Helpers that walk a shader word by word take these for the end token
        // or a comment.
        if (bits == kEndToken || (bits & 0xFFFF) == kCommentOpcode)
            error("value '" + v + "' encodes as a control token; choose a neighbouring value");
        out_.body.push_back(bits);
    }
}

void Assembler::instruction(const std::string& mnemonic, const std::string& predicate,
                            const std::vector<std::string>& operands)
{
    const std::vector<std::string> parts = Split(mnemonic, '_');
    uint32_t resultModifier = 0;
    int comparison = 0;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p == "sat")
            resultModifier |= kResultSaturate;
        else if (p == "pp")
            resultModifier |= kResultPartialPrecision;
        else if (p == "centroid")
            resultModifier |= kResultCentroid;
        else if (int c = FindComparison(p); c != 0 && comparison == 0)
            comparison = c;
        else
            error("unknown modifier '_" + p + "' in '" + mnemonic + "'");
    }
    const OpcodeInfo* found = FindOpcode(parts[0], comparison != 0);
    if (!found) {
        if (FindOpcode(parts[0], comparison == 0))
            error(comparison ? "'" + parts[0] + "' takes no comparison" : "'" + parts[0] + "' needs a comparison such as _gt");
        error("unknown instruction '" + mnemonic + "'");
    }
    const OpcodeInfo& op = *found;
    if (op.flags & kOpDeclaration)
        error("'" + parts[0] + "' must be written with its declaration form");
    if (resultModifier && op.dstCount == 0)
        error("'" + parts[0] + "' has no result to modify");
    pastDeclarations_ = true;

    const size_t expected = op.dstCount + op.srcCount;
    if (operands.size() != expected)
        error("'" + parts[0] + "' takes " + std::to_string(expected) + " operand" + (expected == 1 ? "" : "s") +
              ", found " + std::to_string(operands.size()));

    Operand dst;
    if (op.dstCount)
        dst = destination(operands[0]);
    Operand src[3];
    for (int i = 0; i < op.srcCount; ++i)
        src[i] = source(operands[op.dstCount + i]);

    Operand pred;
    if (!predicate.empty()) {
        pred = source(predicate);
        if (pred.reg->type != RegType::Predicate)
            error("an instruction can only be predicated on p0");
    }

    // Operand rules of the instructions that have them.
    const std::string base = parts[0];
    if (op.flags & kOpScalar) {
        const uint32_t s = src[0].maskOrSwizzle;
        if (s != (s & 3) * 0x55)
            error("'" + base + "' needs a replicate swizzle such as .x on its source");
    }
    if (op.flags & kOpTexture) {
        if (src[1].reg->type != RegType::Sampler || src[1].modifier || src[1].maskOrSwizzle != 0xE4)
            error("the second source of '" + base + "' must be a sampler s#");
        if (!declaredSamplers_.count(src[1].index))
            error(RegisterName(RegType::Sampler, src[1].index) + " is used without a dcl_2d declaration");
    } else {
        for (int i = 0; i < op.srcCount; ++i)
            if (src[i].reg->type == RegType::Sampler)
                error("a sampler can only be read by a texture instruction");
    }
    if (base == "rep" && src[0].reg->type != RegType::ConstInt)
        error("rep counts with an integer register i#");
    if (base == "loop" && (src[0].reg->type != RegType::Loop || src[1].reg->type != RegType::ConstInt))
        error("loop takes aL and an integer register i#");
    if (base == "if" && !comparison && src[0].reg->type != RegType::ConstBool &&
        src[0].reg->type != RegType::Predicate)
        error("if takes a boolean register b# or the predicate p0");
    if (base == "setp" && dst.reg->type != RegType::Predicate)
        error("setp writes the predicate p0");
    if (base != "setp" && op.dstCount && dst.reg->type == RegType::Predicate)
        error("only setp writes the predicate");
    if (base == "break" && std::none_of(blocks_.begin(), blocks_.end(), [](const Block& b) { return b.loopIndex >= 0; }))
        error("'" + mnemonic + "' outside a rep or loop");
    if (src[0].reg && src[0].reg->type == RegType::Loop && base != "loop")
        error("aL is only supported as the counter of loop");

    for (int i = 0; i < op.srcCount; ++i)
        if (base != "loop" || i != 0)
            noteRead(src[i]);
    checkBlocks(op);

    const uint32_t length = op.dstCount + op.srcCount + (predicate.empty() ? 0 : 1);
    const uint32_t control = (op.flags & kOpComparison) ? comparison : op.control;
    out_.body.push_back(op.opcode | control << 16 | length << 24 | (predicate.empty() ? 0u : 1u << 28));
    if (op.dstCount)
        out_.body.push_back(destinationToken(dst, resultModifier));
    if (!predicate.empty())
        out_.body.push_back(sourceToken(pred));
    for (int i = 0; i < op.srcCount; ++i)
        out_.body.push_back(sourceToken(src[i]));
    if (op.dstCount)
        noteWrite(dst);

    ++out_.stats.instructions;
    if (op.flags & kOpTexture)
        ++out_.stats.textureInstructions;
}

void Assembler::checkBlocks(const OpcodeInfo& op)
{
    const std::string name = op.name;
    if (op.flags & (kOpBlockClose | kOpBlockElse)) {
        if (blocks_.empty() || std::strcmp(blocks_.back().op->name, op.closes) != 0)
            error("'" + name + "' without a matching '" + op.closes + "'");
        // The closing instruction belongs to the enclosing blocks, not to the
        // one it closes.
        if (op.flags & kOpBlockClose)
            blocks_.pop_back();
        addSlots(op.slots);
        return;
    }
    addSlots(op.slots);
    if (op.flags & kOpBlockOpen) {
        const bool loop = name == "rep" || name == "loop";
        int depth = 0;
        for (const Block& b : blocks_)
            depth += (b.loopIndex >= 0) == loop;
        if (depth >= (loop ? kMaxLoopNesting : kMaxIfNesting))
            error("'" + name + "' nested too deeply");
        int index = -1;
        if (loop) {
            index = static_cast<int>(out_.stats.loopBodySlots.size());
            out_.stats.loopBodySlots.push_back(0);
        }
        blocks_.push_back({&op, line_, index});
    }
}

void Assembler::addSlots(int slots)
{
    out_.stats.slots += slots;
    for (const Block& b : blocks_)
        if (b.loopIndex >= 0)
            out_.stats.loopBodySlots[b.loopIndex] += slots;
}

Operand Assembler::registerOperand(std::string text, bool isDestination)
{
    Operand o;
    if (text.find('[') != std::string::npos)
        error("relative addressing is not supported: '" + text + "'");
    std::string selector;
    const size_t dot = text.find('.');
    if (dot != std::string::npos) {
        selector = text.substr(dot + 1);
        text.resize(dot);
        if (selector.empty() || selector.size() > 4)
            error("bad component selection '." + selector + "'");
    }
    if (text.size() > 4 && text.compare(text.size() - 4, 4, "_abs") == 0) {
        if (isDestination)
            error("_abs is a source modifier");
        o.modifier = kSrcAbs;
        text.resize(text.size() - 4);
    }
    o.reg = FindRegister(text, &o.index);
    if (!o.reg)
        error("'" + text + "' is not a register");
    if (o.index >= o.reg->count)
        error("register " + text + " out of range (" + o.reg->prefix + "0.." + o.reg->prefix +
              std::to_string(o.reg->count - 1) + ")");

    if (isDestination) {
        uint32_t mask = 0;
        int last = -1;
        for (char c : selector) {
            const int i = ComponentIndex(c);
            if (i < 0 || i <= last)
                error("bad write mask '." + selector + "' (components in order x, y, z, w, each once)");
            mask |= 1u << i;
            last = i;
        }
        o.maskOrSwizzle = selector.empty() ? 0xF : mask;
    } else {
        uint32_t swizzle = 0xE4;
        if (!selector.empty()) {
            swizzle = 0;
            int last = 0;
            for (size_t i = 0; i < 4; ++i) {
                if (i < selector.size()) {
                    last = ComponentIndex(selector[i]);
                    if (last < 0)
                        error("bad swizzle '." + selector + "'");
                }
                swizzle |= static_cast<uint32_t>(last) << (2 * i);
            }
        }
        o.maskOrSwizzle = swizzle;
    }
    return o;
}

Operand Assembler::destination(const std::string& text)
{
    if (!text.empty() && (text[0] == '-' || text[0] == '!'))
        error("a destination takes no source modifier: '" + text + "'");
    Operand o = registerOperand(text, true);
    if (!o.reg->writable)
        error("register " + text + " cannot be written");
    return o;
}

Operand Assembler::source(const std::string& text)
{
    uint32_t prefix = kSrcNone;
    std::string rest = text;
    if (!rest.empty() && rest[0] == '-') {
        prefix = kSrcNegate;
        rest = Trim(rest.substr(1));
    } else if (!rest.empty() && rest[0] == '!') {
        prefix = kSrcNot;
        rest = Trim(rest.substr(1));
    }
    if (rest.compare(0, 2, "1-") == 0 || rest.find("_bias") != std::string::npos ||
        rest.find("_bx2") != std::string::npos || rest.find("_x2") != std::string::npos ||
        rest.find("_dz") != std::string::npos || rest.find("_dw") != std::string::npos)
        error("source modifier of '" + text + "' is not available in ps_3_0");
    Operand o = registerOperand(rest, false);
    if (!o.reg->readable)
        error("register " + rest + " cannot be read");
    if (prefix == kSrcNot) {
        if (o.reg->type != RegType::Predicate || o.modifier)
            error("'!' applies to the predicate only");
        o.modifier = kSrcNot;
    } else if (prefix == kSrcNegate) {
        o.modifier = o.modifier == kSrcAbs ? kSrcAbsNegate : kSrcNegate;
    }
    return o;
}

uint32_t Assembler::destinationToken(const Operand& o, uint32_t resultModifier) const
{
    return 0x80000000u | RegisterBits(o.reg->type, o.index) | o.maskOrSwizzle << 16 | resultModifier << 20;
}

uint32_t Assembler::sourceToken(const Operand& o) const
{
    return 0x80000000u | RegisterBits(o.reg->type, o.index) | o.maskOrSwizzle << 16 | o.modifier << 24;
}

void Assembler::noteRead(const Operand& o)
{
    switch (o.reg->type) {
    case RegType::Temp:
        if (!writtenTemps_.count(o.index))
            error(RegisterName(o.reg->type, o.index) + " is read before it is written");
        break;
    case RegType::Input:
        if (!declaredInputs_.count(o.index))
            error(RegisterName(o.reg->type, o.index) + " is read without a dcl declaration");
        break;
    case RegType::Const:
    case RegType::ConstInt:
    case RegType::ConstBool:
    case RegType::Sampler:
        if (read_.insert({static_cast<int>(o.reg->type), o.index}).second)
            out_.reads.push_back({o.reg->type, o.index, line_});
        break;
    default:
        break;
    }
}

void Assembler::noteWrite(const Operand& o)
{
    if (o.reg->type == RegType::Temp)
        writtenTemps_.insert(o.index);
}

}  // namespace

AssembledShader AssembleShader(const std::string& text, int firstLine)
{
    return Assembler(firstLine).run(text);
}

std::vector<uint32_t> LinkShader(uint32_t version, const std::vector<uint32_t>& comment,
                                 const std::vector<uint32_t>& body)
{
    std::vector<uint32_t> tokens;
    tokens.reserve(2 + comment.size() + body.size());
    tokens.push_back(version);
    tokens.insert(tokens.end(), comment.begin(), comment.end());
    tokens.insert(tokens.end(), body.begin(), body.end());
    tokens.push_back(kEndToken);
    return tokens;
}
