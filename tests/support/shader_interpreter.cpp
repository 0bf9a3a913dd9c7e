#include "shader_interpreter.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

// Opcodes and register types of the token format.
enum : uint32_t {
    kMov = 0x01, kAdd = 0x02, kSub = 0x03, kMad = 0x04, kMul = 0x05, kRcp = 0x06,
    kMin = 0x0A, kMax = 0x0B, kFrc = 0x13, kDcl = 0x1F, kRep = 0x26, kEndRep = 0x27,
    kTexld = 0x42, kDef = 0x51, kDefi = 0x30,
};
enum : uint32_t { kTemp = 0, kInput = 1, kConst = 2, kConstInt = 7, kColorOut = 8, kSampler = 10 };

uint32_t RegType(uint32_t token)
{
    return ((token >> 28) & 7) | ((token >> 8) & 0x18);
}

DecodedShader::Operand Decode(uint32_t token)
{
    DecodedShader::Operand o;
    o.type = RegType(token);
    o.index = token & 0x7FF;
    o.swizzleOrMask = (token >> 16) & 0xFF;
    o.modifier = (token >> 24) & 0xF;
    return o;
}

int Address(int i, int n, uint32_t mode)
{
    if (mode == 2) {  // mirror
        int m = i % (2 * n);
        if (m < 0)
            m += 2 * n;
        return m >= n ? 2 * n - 1 - m : m;
    }
    return i < 0 ? 0 : i >= n ? n - 1 : i;  // clamp
}

struct Registers {
    std::array<Float4, 32> r{};
    Float4 v0{};
    Float4 oC0{};
};

}  // namespace

bool DecodeShader(const std::vector<uint32_t>& tokens, DecodedShader* shader, std::string* error)
{
    shader->code.clear();
    if (tokens.empty() || tokens[0] != 0xFFFF0300) {
        *error = "not ps_3_0";
        return false;
    }
    size_t pos = 1;
    while (pos < tokens.size() && tokens[pos] != 0x0000FFFF) {
        const uint32_t t = tokens[pos++];
        if ((t & 0xFFFF) == 0xFFFE) {
            pos += (t >> 16) & 0x7FFF;
            continue;
        }
        const uint32_t opcode = t & 0xFFFF;
        const uint32_t length = (t >> 24) & 0xF;
        if (pos + length > tokens.size() || (t & (1u << 28))) {
            *error = "bad instruction at token " + std::to_string(pos - 1);
            return false;
        }
        DecodedShader::Instruction in;
        in.opcode = opcode;
        const uint32_t* p = &tokens[pos];
        pos += length;
        switch (opcode) {
        case kDcl:
            continue;
        case kDef:
        case kDefi:
            in.dst = Decode(p[0]);
            for (int k = 0; k < 4; ++k)
                in.values[k] = p[1 + k];
            break;
        case kRep:
            in.src.push_back(Decode(p[0]));
            break;
        case kEndRep:
            break;
        case kMov: case kAdd: case kSub: case kMad: case kMul: case kRcp: case kMin: case kMax: case kFrc:
        case kTexld:
            if (opcode == kTexld && ((t >> 16) & 0xFF) != 0) {
                *error = "only plain texld is supported";
                return false;
            }
            in.dst = Decode(p[0]);
            in.saturate = (p[0] >> 20) & 1;
            for (uint32_t k = 1; k < length; ++k)
                in.src.push_back(Decode(p[k]));
            break;
        default:
            *error = "unsupported opcode " + std::to_string(opcode);
            return false;
        }
        shader->code.push_back(in);
    }
    return true;
}

Float4 SampleTexture(const SamplerTexture& tex, float u, float v)
{
    if (tex.filter != 2) {
        const int x = Address(static_cast<int>(std::floor(static_cast<double>(u) * tex.width)), tex.width, tex.addressU);
        const int y = Address(static_cast<int>(std::floor(static_cast<double>(v) * tex.height)), tex.height, tex.addressV);
        return tex.texels[static_cast<size_t>(y) * tex.width + x];
    }
    const double x = static_cast<double>(u) * tex.width - 0.5, y = static_cast<double>(v) * tex.height - 0.5;
    const double x0 = std::floor(x), y0 = std::floor(y);
    const double fx = x - x0, fy = y - y0;
    Float4 out{};
    for (int b = 0; b < 2; ++b) {
        for (int a = 0; a < 2; ++a) {
            const int xi = Address(static_cast<int>(x0) + a, tex.width, tex.addressU);
            const int yi = Address(static_cast<int>(y0) + b, tex.height, tex.addressV);
            const double w = (a ? fx : 1 - fx) * (b ? fy : 1 - fy);
            const Float4& texel = tex.texels[static_cast<size_t>(yi) * tex.width + xi];
            for (int c = 0; c < 4; ++c)
                out[c] = static_cast<float>(out[c] + w * texel[c]);
        }
    }
    return out;
}

Float4 RunPixelShader(const DecodedShader& shader, const ShaderMachine& input, const Float4& v0)
{
    ShaderMachine m = input;
    Registers regs;
    regs.v0 = v0;
    for (const auto& in : shader.code) {
        if (in.opcode == kDef)
            std::memcpy(m.c[in.dst.index].data(), in.values.data(), 16);
        else if (in.opcode == kDefi)
            std::memcpy(m.i[in.dst.index].data(), in.values.data(), 16);
    }

    auto read = [&](const DecodedShader::Operand& o) {
        Float4 raw{};
        switch (o.type) {
        case kTemp: raw = regs.r.at(o.index); break;
        case kInput:
            if (o.index != 0)
                throw std::runtime_error("only v0 is provided");
            raw = regs.v0;
            break;
        case kConst: raw = m.c.at(o.index); break;
        default: throw std::runtime_error("unsupported source register type " + std::to_string(o.type));
        }
        Float4 s{};
        for (int k = 0; k < 4; ++k)
            s[k] = raw[(o.swizzleOrMask >> (2 * k)) & 3];
        for (float& x : s) {
            switch (o.modifier) {
            case 0: break;
            case 1: x = -x; break;
            case 11: x = std::fabs(x); break;
            case 12: x = -std::fabs(x); break;
            default: throw std::runtime_error("unsupported source modifier");
            }
        }
        return s;
    };
    auto write = [&](const DecodedShader::Instruction& in, const Float4& value) {
        Float4* target = nullptr;
        if (in.dst.type == kTemp)
            target = &regs.r.at(in.dst.index);
        else if (in.dst.type == kColorOut && in.dst.index == 0)
            target = &regs.oC0;
        else
            throw std::runtime_error("unsupported destination register type");
        for (int k = 0; k < 4; ++k) {
            if (!(in.dst.swizzleOrMask & (1u << k)))
                continue;
            float x = value[k];
            if (in.saturate)
                x = std::fmin(1.0f, std::fmax(0.0f, x));
            (*target)[k] = x;
        }
    };

    struct Loop {
        size_t start;
        int remaining;
    };
    std::vector<Loop> loops;
    for (size_t pc = 0; pc < shader.code.size(); ++pc) {
        const auto& in = shader.code[pc];
        Float4 a{}, b{}, c{}, r{};
        switch (in.opcode) {
        case kDef:
        case kDefi:
            continue;
        case kRep: {
            if (in.src[0].type != kConstInt)
                throw std::runtime_error("rep without an integer register");
            int count = m.i.at(in.src[0].index)[0];
            count = count < 0 ? 0 : count > 255 ? 255 : count;
            if (count == 0) {
                int depth = 1;  // skip to the matching endrep
                while (depth > 0 && ++pc < shader.code.size())
                    depth += shader.code[pc].opcode == kRep ? 1 : shader.code[pc].opcode == kEndRep ? -1 : 0;
                continue;
            }
            loops.push_back({pc, count});
            continue;
        }
        case kEndRep:
            if (loops.empty())
                throw std::runtime_error("endrep without rep");
            if (--loops.back().remaining > 0)
                pc = loops.back().start;
            else
                loops.pop_back();
            continue;
        case kTexld: {
            a = read(in.src[0]);
            if (in.src[1].type != kSampler || !m.samplers.at(in.src[1].index))
                throw std::runtime_error("texld from a sampler without a texture");
            write(in, SampleTexture(*m.samplers[in.src[1].index], a[0], a[1]));
            continue;
        }
        default:
            break;
        }
        a = read(in.src.at(0));
        if (in.src.size() > 1)
            b = read(in.src[1]);
        if (in.src.size() > 2)
            c = read(in.src[2]);
        for (int k = 0; k < 4; ++k) {
            switch (in.opcode) {
            case kMov: r[k] = a[k]; break;
            case kAdd: r[k] = a[k] + b[k]; break;
            case kSub: r[k] = a[k] - b[k]; break;
            case kMul: r[k] = a[k] * b[k]; break;
            case kMad: { const float p = a[k] * b[k]; r[k] = p + c[k]; break; }
            case kMin: r[k] = std::fmin(a[k], b[k]); break;
            case kMax: r[k] = std::fmax(a[k], b[k]); break;
            case kFrc: r[k] = a[k] - std::floor(a[k]); break;
            case kRcp: r[k] = 1.0f / a[0]; break;
            default: throw std::runtime_error("unsupported opcode");
            }
        }
        write(in, r);
    }
    if (!loops.empty())
        throw std::runtime_error("rep without endrep");
    return regs.oC0;
}
