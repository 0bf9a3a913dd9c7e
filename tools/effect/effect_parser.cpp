// Parser of the effect source: a sequence of parameter declarations and
// techniques.
//
//   texture2D txWgt;
//   sampler samWgt : register(s0) = sampler_state { Texture = <txWgt>; AddressU = Clamp; };
//   int iRep[2] : register(i0);
//   technique T { pass p0 { VertexShader = NULL; PixelShader = asm { ps_3_0 ... }; ZEnable = False; } }
#include "effect_lexer.h"
#include "effect_source.h"

#include "d3dx_types.h"
#include "source_error.h"

#include <cctype>
#include <cstdlib>
#include <set>

namespace {

struct TypeName {
    const char* name;
    uint32_t type;
    uint32_t typeClass;
    uint32_t rows;
    uint32_t columns;
    RegType registerType;  // register file of a bound parameter
};

// clang-format off
constexpr TypeName kTypes[] = {
    {"texture",     kTypeTexture,     kClassObject, 0, 0, RegType::Temp},
    {"texture2D",   kTypeTexture2D,   kClassObject, 0, 0, RegType::Temp},
    {"texture3D",   kTypeTexture3D,   kClassObject, 0, 0, RegType::Temp},
    {"textureCUBE", kTypeTextureCube, kClassObject, 0, 0, RegType::Temp},
    {"sampler",     kTypeSampler,     kClassObject, 0, 0, RegType::Sampler},
    {"sampler2D",   kTypeSampler2D,   kClassObject, 0, 0, RegType::Sampler},
    {"sampler3D",   kTypeSampler3D,   kClassObject, 0, 0, RegType::Sampler},
    {"samplerCUBE", kTypeSamplerCube, kClassObject, 0, 0, RegType::Sampler},
    {"bool",        kTypeBool,        kClassScalar, 1, 1, RegType::ConstBool},
    {"int",         kTypeInt,         kClassScalar, 1, 1, RegType::ConstInt},
    {"int2",        kTypeInt,         kClassVector, 1, 2, RegType::ConstInt},
    {"int3",        kTypeInt,         kClassVector, 1, 3, RegType::ConstInt},
    {"int4",        kTypeInt,         kClassVector, 1, 4, RegType::ConstInt},
    {"float",       kTypeFloat,       kClassScalar, 1, 1, RegType::Const},
    {"float2",      kTypeFloat,       kClassVector, 1, 2, RegType::Const},
    {"float3",      kTypeFloat,       kClassVector, 1, 3, RegType::Const},
    {"float4",      kTypeFloat,       kClassVector, 1, 4, RegType::Const},
};
// clang-format on

const TypeName* FindType(const std::string& name)
{
    for (const TypeName& t : kTypes)
        if (name == t.name)
            return &t;
    return nullptr;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class Parser {
public:
    explicit Parser(const std::string& text) : lex_(text) {}
    EffectSource run();

private:
    [[noreturn]] void error(int line, const std::string& message) const { throw SourceError(line, message); }
    static std::string describe(const Token& t)
    {
        return t.kind == TokenKind::End ? std::string("the end of the file") : "'" + t.text + "'";
    }
    Token expect(const char* punct);
    Token expectIdentifier(const char* what);
    bool accept(const char* punct);
    // Annotations ("<...>" after a name) are not part of the language read here.
    void rejectAnnotations()
    {
        if (lex_.peek().kind == TokenKind::Punct && lex_.peek().text == "<")
            error(lex_.peek().line, "annotations are not supported");
    }
    int expectInteger(const char* what);

    void parameter(const TypeName& type);
    void registerBinding(SourceParameter& p, const TypeName& type);
    void samplerState(SourceParameter& p);
    void technique();
    void pass(SourceTechnique& t);
    SourceState state(bool inSampler);
    void numericValue(SourceState& s);

    const SourceParameter* findParameter(const std::string& name) const;

    EffectLexer lex_;
    EffectSource out_;
};

Token Parser::expect(const char* punct)
{
    Token t = lex_.next();
    if (t.kind != TokenKind::Punct || t.text != punct)
        error(t.line, std::string("expected '") + punct + "', found " + describe(t));
    return t;
}

Token Parser::expectIdentifier(const char* what)
{
    Token t = lex_.next();
    if (t.kind != TokenKind::Identifier)
        error(t.line, std::string("expected ") + what + ", found " + describe(t));
    return t;
}

bool Parser::accept(const char* punct)
{
    const Token& t = lex_.peek();
    if (t.kind == TokenKind::Punct && t.text == punct) {
        lex_.next();
        return true;
    }
    return false;
}

int Parser::expectInteger(const char* what)
{
    Token t = lex_.next();
    char* end = nullptr;
    const long v = t.kind == TokenKind::Number ? std::strtol(t.text.c_str(), &end, 10) : 0;
    if (t.kind != TokenKind::Number || *end != '\0' || v > 1000000)
        error(t.line, std::string("expected ") + what + ", found " + describe(t));
    return static_cast<int>(v);
}

EffectSource Parser::run()
{
    for (;;) {
        const Token t = lex_.next();
        if (t.kind == TokenKind::End)
            break;
        if (t.kind == TokenKind::Identifier && t.text == "technique") {
            technique();
            continue;
        }
        const TypeName* type = t.kind == TokenKind::Identifier ? FindType(t.text) : nullptr;
        if (!type)
            error(t.line, "expected a parameter declaration or a technique, found " + describe(t));
        parameter(*type);
    }
    if (out_.techniques.empty())
        error(1, "the effect has no technique");
    return out_;
}

const SourceParameter* Parser::findParameter(const std::string& name) const
{
    for (const SourceParameter& p : out_.parameters)
        if (p.name == name)
            return &p;
    return nullptr;
}

void Parser::parameter(const TypeName& type)
{
    SourceParameter p;
    const Token name = expectIdentifier("a parameter name");
    p.name = name.text;
    p.line = name.line;
    if (FindType(p.name) || p.name == "technique" || p.name == "pass")
        error(name.line, "'" + p.name + "' is a keyword, not a parameter name");
    if (findParameter(p.name))
        error(name.line, "parameter '" + p.name + "' is declared twice");
    p.type = type.type;
    p.typeClass = type.typeClass;
    p.rows = type.rows;
    p.columns = type.columns;

    if (accept("[")) {
        if (type.typeClass == kClassObject)
            error(name.line, "arrays of " + std::string(type.name) + " are not supported");
        const int n = expectInteger("an array size");
        if (n < 1 || n > 256)
            error(name.line, "array size " + std::to_string(n) + " out of range 1..256");
        p.elements = static_cast<uint32_t>(n);
        expect("]");
    }
    if (accept(":"))
        registerBinding(p, type);
    rejectAnnotations();
    if (accept("=")) {
        const Token init = lex_.next();
        if (IsSamplerType(p.type) && init.kind == TokenKind::Identifier && init.text == "sampler_state") {
            expect("{");
            samplerState(p);
        } else if (IsSamplerType(p.type)) {
            error(init.line, "a sampler is initialised with sampler_state { ... }");
        } else {
            error(init.line, "initial values are not supported: parameter '" + p.name + "' starts at zero");
        }
    }
    expect(";");
    if (IsSamplerType(p.type) && !p.bound)
        error(name.line, "sampler '" + p.name + "' needs a register binding such as : register(s0)");
    out_.parameters.push_back(std::move(p));
}

void Parser::registerBinding(SourceParameter& p, const TypeName& type)
{
    const Token kw = expectIdentifier("register(...)");
    if (kw.text != "register")
        error(kw.line, "expected register(...), found " + describe(kw));
    expect("(");
    const Token reg = expectIdentifier("a register such as c0");
    expect(")");
    if (IsTextureType(p.type))
        error(reg.line, "a texture takes no register; bind its sampler instead");
    const RegType wanted = type.registerType;
    int index = 0;
    const RegisterInfo* info = FindRegister(reg.text, &index);
    if (!info || info->type != wanted) {
        const RegisterInfo* expected = FindRegister(wanted, 0);
        error(reg.line, "'" + p.name + "' must be bound to a " + (expected ? expected->prefix : "?") +
                            "# register, not '" + reg.text + "'");
    }
    p.bound = true;
    p.registerType = wanted;
    p.registerIndex = index;
    p.registerCount = static_cast<int>(p.elements ? p.elements : 1);
    if (index + p.registerCount > info->count)
        error(reg.line, "'" + p.name + "' does not fit from " + reg.text + " (" + info->prefix +
                            std::to_string(info->count - 1) + " is the last)");
    for (const SourceParameter& other : out_.parameters) {
        if (!other.bound || other.registerType != wanted)
            continue;
        if (index < other.registerIndex + other.registerCount && other.registerIndex < index + p.registerCount)
            error(reg.line, "'" + p.name + "' overlaps the registers of '" + other.name + "'");
    }
}

void Parser::samplerState(SourceParameter& p)
{
    std::set<uint32_t> seen;
    while (!accept("}")) {
        SourceState s = state(true);
        if (!seen.insert(s.info->operation).second)
            error(s.line, std::string(s.info->name) + " is set twice in sampler '" + p.name + "'");
        p.samplerStates.push_back(std::move(s));
    }
}

void Parser::technique()
{
    SourceTechnique t;
    const Token name = expectIdentifier("a technique name");
    t.name = name.text;
    t.line = name.line;
    for (const SourceTechnique& other : out_.techniques)
        if (other.name == t.name)
            error(name.line, "technique '" + t.name + "' is defined twice");
    rejectAnnotations();
    expect("{");
    while (!accept("}")) {
        const Token kw = expectIdentifier("'pass'");
        if (kw.text != "pass")
            error(kw.line, "expected 'pass', found " + describe(kw));
        pass(t);
    }
    if (t.passes.empty())
        error(name.line, "technique '" + t.name + "' has no pass");
    out_.techniques.push_back(std::move(t));
}

void Parser::pass(SourceTechnique& t)
{
    SourcePass p;
    const Token name = expectIdentifier("a pass name");
    p.name = name.text;
    p.line = name.line;
    for (const SourcePass& other : t.passes)
        if (other.name == p.name)
            error(name.line, "pass '" + p.name + "' appears twice in technique '" + t.name + "'");
    rejectAnnotations();
    expect("{");
    std::set<std::pair<uint32_t, int>> seen;
    while (!accept("}")) {
        SourceState s = state(false);
        if (!seen.insert({s.info->operation, s.index}).second)
            error(s.line, std::string(s.info->name) + (s.index >= 0 ? "[" + std::to_string(s.index) + "]" : "") +
                              " is set twice in pass '" + p.name + "'");
        p.states.push_back(std::move(s));
    }
    t.passes.push_back(std::move(p));
}

SourceState Parser::state(bool inSampler)
{
    const Token name = expectIdentifier("a state name");
    SourceState s;
    s.line = name.line;
    s.info = FindState(name.text);
    if (!s.info)
        error(name.line, "unknown state '" + name.text + "'");
    const StateKind kind = s.info->kind;
    if (inSampler && kind != StateKind::Sampler && kind != StateKind::SamplerTexture)
        error(name.line, std::string(s.info->name) + " cannot be set in a sampler_state");
    if (!inSampler && kind == StateKind::SamplerTexture)
        error(name.line, "Texture is set inside a sampler_state, not in a pass");

    if (accept("[")) {
        if (inSampler || kind != StateKind::Sampler)
            error(name.line, std::string(s.info->name) + " takes no index here");
        s.index = expectInteger("a sampler stage");
        if (s.index >= kSamplerStages)
            error(name.line, "sampler stage " + std::to_string(s.index) + " out of range 0..15");
        expect("]");
    } else if (!inSampler && kind == StateKind::Sampler) {
        error(name.line, std::string(s.info->name) + " in a pass needs a sampler stage, as in " + s.info->name + "[0]");
    }
    expect("=");

    switch (kind) {
    case StateKind::SamplerTexture: {
        const bool angle = accept("<");
        if (!angle)
            expect("(");
        const Token ref = expectIdentifier("a texture parameter");
        expect(angle ? ">" : ")");
        const SourceParameter* texture = findParameter(ref.text);
        if (!texture)
            error(ref.line, "unknown texture '" + ref.text + "'");
        if (!IsTextureType(texture->type))
            error(ref.line, "'" + ref.text + "' is not a texture");
        s.reference = ref.text;
        break;
    }
    case StateKind::VertexShader:
    case StateKind::PixelShader: {
        const Token v = lex_.next();
        if (v.kind == TokenKind::Identifier && Lower(v.text) == "null") {
            s.isNull = true;
        } else if (kind == StateKind::PixelShader && v.kind == TokenKind::Identifier && v.text == "asm") {
            expect("{");
            s.code = lex_.rawBlock();
        } else if (v.kind == TokenKind::Identifier && v.text == "compile") {
            error(v.line, "compiled HLSL functions are not supported; write the shader as asm { ... }");
        } else {
            error(v.line, kind == StateKind::PixelShader ? "expected asm { ... } or NULL, found " + describe(v)
                                                         : "only VertexShader = NULL is supported, found " + describe(v));
        }
        break;
    }
    default:
        numericValue(s);
        break;
    }
    expect(";");
    return s;
}

void Parser::numericValue(SourceState& s)
{
    const Token v = lex_.next();
    if (v.kind == TokenKind::Identifier) {
        if (!FindStateValue(*s.info, v.text, &s.value))
            error(v.line, "'" + v.text + "' is not a value of " + s.info->name);
        return;
    }
    char* end = nullptr;
    const long n = v.kind == TokenKind::Number ? std::strtol(v.text.c_str(), &end, 10) : -1;
    if (v.kind != TokenKind::Number || *end != '\0' || n < 0 || !StateValueText(*s.info, static_cast<uint32_t>(n)))
        error(v.line, describe(v) + " is not a value of " + s.info->name);
    s.value = static_cast<uint32_t>(n);
}

}  // namespace

EffectSource ParseEffectSource(const std::string& text)
{
    return Parser(text).run();
}
