// Writes the effect binary in the order the compiler lays it out: tag and
// the unstructured size, then the unstructured area (strings, typedefs,
// values), then the structured area (counts, parameters, techniques, passes,
// states), then object and resource records. Offsets are relative to the
// byte after the second word.
#include "fx_effect.h"

#include "byte_buffer.h"
#include "state_tables.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;

struct Resource {
    uint32_t technique;  // or kNone for a sampler parameter's state
    uint32_t pass;       // or the parameter index
    uint32_t element;    // kNone for pass states
    uint32_t state;
    uint32_t usage;      // 0 code, 1 parameter name
    std::vector<uint8_t> data;
};

struct StateRecord {
    uint32_t operation;
    uint32_t index;
    uint32_t typedefAt;
    uint32_t valueAt;
};

class Writer {
public:
    bool run(const FxEffect& effect, std::vector<uint8_t>* out, std::string* error);

private:
    uint32_t putString(ByteBuffer& b, const std::string& s);
    uint32_t putTypedef(uint32_t type, uint32_t typeClass, uint32_t rows, uint32_t columns, uint32_t elements);
    StateRecord putState(const FxState& s);

    ByteBuffer u_;  // unstructured area
    uint32_t nextObject_ = 1;
    std::vector<uint32_t> textureObjects_;
    std::vector<Resource> resources_;
};

uint32_t Writer::putString(ByteBuffer& b, const std::string& s)
{
    const uint32_t at = static_cast<uint32_t>(b.putU32(static_cast<uint32_t>(s.size() + 1)));
    b.putBytes(s.c_str(), s.size() + 1);
    b.align4();
    return at;
}

uint32_t Writer::putTypedef(uint32_t type, uint32_t typeClass, uint32_t rows, uint32_t columns, uint32_t elements)
{
    const uint32_t at = static_cast<uint32_t>(u_.putU32(type));
    u_.putU32(typeClass);
    u_.putU32(0);  // name, patched by the caller when there is one
    u_.putU32(0);  // no semantic
    u_.putU32(elements);
    if (typeClass == kClassVector) {
        u_.putU32(columns);
        u_.putU32(rows);
    } else if (typeClass != kClassObject) {
        u_.putU32(rows);
        u_.putU32(columns);
    }
    return at;
}

StateRecord Writer::putState(const FxState& s)
{
    // The value comes first, then its typedef.
    StateRecord r{s.operation, s.index, 0, 0};
    if (s.typeClass == kClassObject) {
        r.valueAt = static_cast<uint32_t>(u_.putU32(nextObject_++));
        r.typedefAt = putTypedef(s.type, kClassObject, 0, 0, 0);
    } else {
        r.valueAt = static_cast<uint32_t>(u_.putU32(s.value));
        r.typedefAt = putTypedef(s.type, s.typeClass, 1, 1, 0);
    }
    return r;
}

bool Writer::run(const FxEffect& effect, std::vector<uint8_t>* out, std::string* error)
{
    // Offset 0 is read as "no name" by the loader, which still reads a
    // length there: it must be 0.
    u_.putU32(0);

    struct ParameterRecord {
        uint32_t typedefAt;
        uint32_t valueAt;
        uint32_t flags;
    };
    std::vector<ParameterRecord> parameters;
    uint32_t shaderCount = 0;
    for (size_t pi = 0; pi < effect.parameters.size(); ++pi) {
        const FxParameter& p = effect.parameters[pi];
        const uint32_t elementCount = p.elements ? p.elements : 1;
        const uint32_t typedefAt = putTypedef(p.type, p.typeClass, p.rows, p.columns, p.elements);
        uint32_t valueAt = 0;
        if (IsSamplerType(p.type)) {
            if (p.elements) {
                *error = "sampler arrays are not supported: " + p.name;
                return false;
            }
            std::vector<StateRecord> states;
            for (size_t si = 0; si < p.samplerStates.size(); ++si) {
                const FxState& s = p.samplerStates[si];
                states.push_back(putState(s));
                if (s.typeClass == kClassObject) {
                    if (s.reference.empty()) {
                        *error = "sampler state without a texture reference in " + p.name;
                        return false;
                    }
                    std::vector<uint8_t> name(s.reference.begin(), s.reference.end());
                    name.push_back(0);
                    resources_.push_back({kNone, static_cast<uint32_t>(pi), 0, static_cast<uint32_t>(si), 1, name});
                }
            }
            valueAt = static_cast<uint32_t>(u_.putU32(static_cast<uint32_t>(states.size())));
            for (const StateRecord& r : states) {
                u_.putU32(r.operation);
                u_.putU32(kSamplerBlockStateIndex);
                u_.putU32(r.typedefAt);
                u_.putU32(r.valueAt);
            }
            shaderCount += elementCount;
        } else if (p.typeClass == kClassObject) {
            if (!IsTextureType(p.type)) {
                *error = "unsupported object parameter " + p.name;
                return false;
            }
            valueAt = static_cast<uint32_t>(u_.size());
            for (uint32_t e = 0; e < elementCount; ++e) {
                textureObjects_.push_back(nextObject_);
                u_.putU32(nextObject_++);
            }
        } else {
            const uint32_t size = NumericValueSize(p);
            if (!p.value.empty() && p.value.size() != size) {
                *error = "value of " + p.name + " has the wrong size";
                return false;
            }
            valueAt = static_cast<uint32_t>(u_.size());
            if (p.value.empty()) {
                for (uint32_t i = 0; i < size / 4; ++i)
                    u_.putU32(0);
            } else {
                u_.putBytes(p.value.data(), p.value.size());
            }
        }
        u_.setU32(typedefAt + 8, putString(u_, p.name));
        parameters.push_back({typedefAt, valueAt, p.flags});
    }

    struct PassRecord {
        uint32_t nameAt;
        std::vector<StateRecord> states;
    };
    std::vector<std::vector<PassRecord>> techniquePasses;
    std::vector<uint32_t> techniqueNames;
    for (size_t ti = 0; ti < effect.techniques.size(); ++ti) {
        const FxTechnique& t = effect.techniques[ti];
        techniquePasses.emplace_back();
        for (size_t pi = 0; pi < t.passes.size(); ++pi) {
            const FxPass& pass = t.passes[pi];
            PassRecord record;
            for (size_t si = 0; si < pass.states.size(); ++si) {
                const FxState& s = pass.states[si];
                record.states.push_back(putState(s));
                if (s.typeClass == kClassObject) {
                    if (!IsShaderType(s.type) || s.code.empty()) {
                        *error = "pass " + pass.name + ": object state without shader code";
                        return false;
                    }
                    resources_.push_back({static_cast<uint32_t>(ti), static_cast<uint32_t>(pi), kNone,
                                          static_cast<uint32_t>(si), 0, s.code});
                    ++shaderCount;
                }
            }
            record.nameAt = putString(u_, pass.name);
            techniquePasses.back().push_back(std::move(record));
            ++shaderCount;
        }
        techniqueNames.push_back(putString(u_, t.name));
    }

    ByteBuffer file;
    file.putU32(kEffectTag);
    file.putU32(static_cast<uint32_t>(u_.size()));
    file.putBytes(u_.bytes().data(), u_.size());

    file.putU32(static_cast<uint32_t>(parameters.size()));
    file.putU32(static_cast<uint32_t>(effect.techniques.size()));
    file.putU32(shaderCount);
    file.putU32(nextObject_);
    for (const ParameterRecord& p : parameters) {
        file.putU32(p.typedefAt);
        file.putU32(p.valueAt);
        file.putU32(p.flags);
        file.putU32(0);  // annotations
    }
    for (size_t ti = 0; ti < effect.techniques.size(); ++ti) {
        file.putU32(techniqueNames[ti]);
        file.putU32(0);
        file.putU32(static_cast<uint32_t>(techniquePasses[ti].size()));
        for (const PassRecord& pass : techniquePasses[ti]) {
            file.putU32(pass.nameAt);
            file.putU32(0);
            file.putU32(static_cast<uint32_t>(pass.states.size()));
            for (const StateRecord& s : pass.states) {
                file.putU32(s.operation);
                file.putU32(s.index);
                file.putU32(s.typedefAt);
                file.putU32(s.valueAt);
            }
        }
    }

    file.putU32(static_cast<uint32_t>(textureObjects_.size()));
    file.putU32(static_cast<uint32_t>(resources_.size()));
    for (uint32_t id : textureObjects_) {
        file.putU32(id);
        file.putU32(0);
    }
    for (const Resource& r : resources_) {
        file.putU32(r.technique);
        file.putU32(r.pass);
        file.putU32(r.element);
        file.putU32(r.state);
        file.putU32(r.usage);
        file.putU32(static_cast<uint32_t>(r.data.size()));
        file.putBytes(r.data.data(), r.data.size());
        file.align4();
    }

    if (!u_.ok() || !file.ok()) {
        *error = !u_.ok() ? u_.error() : file.error();
        return false;
    }
    *out = file.bytes();
    return true;
}

}  // namespace

uint32_t NumericValueSize(const FxParameter& p)
{
    return 4 * p.rows * p.columns * (p.elements ? p.elements : 1);
}

bool WriteEffect(const FxEffect& effect, std::vector<uint8_t>* out, std::string* error)
{
    return Writer().run(effect, out, error);
}
