#include "effect_compiler.h"

#include "source_error.h"

#include <map>

namespace {

RegisterSet SetOf(RegType type)
{
    switch (type) {
    case RegType::ConstBool: return RegisterSet::Bool;
    case RegType::ConstInt: return RegisterSet::Int4;
    case RegType::Sampler: return RegisterSet::Sampler;
    default: return RegisterSet::Float4;
    }
}

bool Owns(const SourceParameter& p, RegType type, int index)
{
    return p.bound && p.registerType == type && index >= p.registerIndex &&
           index < p.registerIndex + p.registerCount;
}

// The sampler type that the shader's declaration gives register s#.
uint16_t DeclaredSamplerType(const AssembledShader& shader, int index)
{
    for (const SamplerDeclaration& d : shader.samplers) {
        if (d.index != index)
            continue;
        switch (d.textureType) {
        case 3: return kTypeSamplerCube;
        case 4: return kTypeSampler3D;
        default: return kTypeSampler2D;
        }
    }
    return kTypeSampler2D;
}

FxState NumericState(const SourceState& s)
{
    FxState out;
    out.operation = s.info->operation;
    out.index = s.index < 0 ? 0 : static_cast<uint32_t>(s.index);
    out.type = kTypeInt;
    out.typeClass = kClassMatrixRows;
    out.value = s.value;
    return out;
}

}  // namespace

ConstantTable BuildConstantTable(const AssembledShader& shader, const std::vector<SourceParameter>& parameters,
                                 const std::string& creator)
{
    ConstantTable table;
    table.version = shader.version;
    table.target = "ps_3_0";
    table.creator = creator;

    for (const RegisterRef& d : shader.definitions)
        for (const SourceParameter& p : parameters)
            if (Owns(p, d.type, d.index))
                throw SourceError(d.line, RegisterName(d.type, d.index) + " belongs to parameter '" + p.name +
                                              "'; a definition there would override it");

    std::map<std::string, bool> included;
    for (const RegisterRef& r : shader.reads) {
        const SourceParameter* owner = nullptr;
        for (const SourceParameter& p : parameters)
            if (Owns(p, r.type, r.index))
                owner = &p;
        if (!owner) {
            bool defined = false;
            for (const RegisterRef& d : shader.definitions)
                defined |= d.type == r.type && d.index == r.index;
            if (!defined)
                throw SourceError(r.line, RegisterName(r.type, r.index) +
                                              " is neither bound to a parameter nor defined in the shader");
            continue;
        }
        if (included[owner->name])
            continue;
        included[owner->name] = true;

        ConstantInfo c;
        c.name = owner->name;
        c.registerSet = SetOf(owner->registerType);
        c.registerIndex = static_cast<uint16_t>(owner->registerIndex);
        c.registerCount = static_cast<uint16_t>(owner->registerCount);
        if (IsSamplerType(owner->type)) {
            c.typeClass = kClassObject;
            c.type = DeclaredSamplerType(shader, owner->registerIndex);
            c.rows = c.columns = 1;
        } else {
            c.typeClass = static_cast<uint16_t>(owner->typeClass);
            c.type = static_cast<uint16_t>(owner->type);
            c.rows = static_cast<uint16_t>(owner->rows);
            c.columns = static_cast<uint16_t>(owner->columns);
        }
        // The constant table counts a non-array as one element.
        c.elements = static_cast<uint16_t>(owner->elements ? owner->elements : 1);
        table.constants.push_back(c);
    }
    return table;
}

CompiledEffect CompileEffect(const std::string& source, const std::string& creator)
{
    const EffectSource parsed = ParseEffectSource(source);
    CompiledEffect out;

    for (const SourceParameter& p : parsed.parameters) {
        FxParameter fx;
        fx.name = p.name;
        fx.type = p.type;
        fx.typeClass = p.typeClass;
        fx.rows = p.rows;
        fx.columns = p.columns;
        fx.elements = p.elements;
        for (const SourceState& s : p.samplerStates) {
            if (s.info->kind == StateKind::SamplerTexture) {
                FxState texture;
                texture.operation = s.info->operation;
                texture.index = kSamplerBlockStateIndex;
                texture.typeClass = kClassObject;
                for (const SourceParameter& t : parsed.parameters)
                    if (t.name == s.reference)
                        texture.type = t.type;
                texture.reference = s.reference;
                fx.samplerStates.push_back(texture);
            } else {
                FxState state = NumericState(s);
                state.index = kSamplerBlockStateIndex;
                fx.samplerStates.push_back(state);
            }
        }
        out.effect.parameters.push_back(std::move(fx));
    }

    for (const SourceTechnique& t : parsed.techniques) {
        FxTechnique technique;
        technique.name = t.name;
        for (const SourcePass& p : t.passes) {
            FxPass pass;
            pass.name = p.name;
            for (const SourceState& s : p.states) {
                if (s.info->kind != StateKind::PixelShader || s.isNull) {
                    // Shader states set to NULL are written as the integer 0.
                    pass.states.push_back(NumericState(s));
                    continue;
                }
                const AssembledShader shader = AssembleShader(s.code.text, s.code.firstLine);
                const ConstantTable table = BuildConstantTable(shader, parsed.parameters, creator);
                const std::vector<uint32_t> tokens =
                    LinkShader(shader.version, WriteConstantTable(table), shader.body);
                FxState state;
                state.operation = s.info->operation;
                state.type = kTypePixelShader;
                state.typeClass = kClassObject;
                for (uint32_t w : tokens)
                    for (int b = 0; b < 4; ++b)
                        state.code.push_back(uint8_t(w >> (8 * b)));
                out.passes.push_back({t.name, p.name, shader.stats, state.code.size()});
                pass.states.push_back(std::move(state));
            }
            technique.passes.push_back(std::move(pass));
        }
        out.effect.techniques.push_back(std::move(technique));
    }

    std::string error;
    if (!WriteEffect(out.effect, &out.binary, &error))
        throw SourceError(1, "cannot write the effect: " + error);
    return out;
}
