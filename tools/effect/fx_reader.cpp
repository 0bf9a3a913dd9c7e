// Reads the effect binary back into its record, checking every offset and
// object id on the way, so that tests can look at what the writer produced.
#include "fx_effect.h"

#include "byte_buffer.h"

#include <map>
#include <tuple>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kBase = 8;

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& data) : data_(data) {}
    bool run(FxEffect* effect, FxLayout* layout, std::string* error);

private:
    bool fail(const std::string& message)
    {
        if (error_.empty())
            error_ = message;
        return false;
    }
    // A word at an offset from the base, inside the unstructured area.
    bool word(uint32_t offset, uint32_t* value);
    // The next word of the structured area.
    bool next(uint32_t* value);
    bool string(uint32_t offset, std::string* s);
    bool readTypedef(uint32_t offset, FxParameter* p);
    bool readState(FxState* s);
    bool objectId(uint32_t id);

    const std::vector<uint8_t>& data_;
    uint32_t unstructured_ = 0;
    size_t cursor_ = 0;
    uint32_t objectCount_ = 0;
    std::string error_;
};

bool Reader::word(uint32_t offset, uint32_t* value)
{
    if (offset % 4 != 0 || offset >= unstructured_ || !ReadU32(data_, kBase + offset, value))
        return fail("offset " + std::to_string(offset) + " outside the unstructured area");
    return true;
}

bool Reader::next(uint32_t* value)
{
    if (!ReadU32(data_, cursor_, value))
        return fail("structured area ends early at file offset " + std::to_string(cursor_));
    cursor_ += 4;
    return true;
}

bool Reader::string(uint32_t offset, std::string* s)
{
    uint32_t length = 0;
    if (!word(offset, &length))
        return false;
    if (length == 0 || static_cast<size_t>(offset) + 4 + length > unstructured_)
        return fail("string at " + std::to_string(offset) + " runs past the unstructured area");
    const size_t at = kBase + offset + 4;
    if (data_[at + length - 1] != 0)
        return fail("string at " + std::to_string(offset) + " has no terminating NUL within its length");
    s->assign(data_.begin() + at, data_.begin() + at + length - 1);
    return true;
}

bool Reader::readTypedef(uint32_t offset, FxParameter* p)
{
    uint32_t name = 0, semantic = 0;
    if (!word(offset, &p->type) || !word(offset + 4, &p->typeClass) || !word(offset + 8, &name) ||
        !word(offset + 12, &semantic) || !word(offset + 16, &p->elements))
        return false;
    if (semantic != 0)
        return fail("semantics are not expected");
    if (p->typeClass == kClassStruct)
        return fail("struct types are not expected");
    if (p->typeClass != kClassObject) {
        uint32_t first = 0, second = 0;
        if (!word(offset + 20, &first) || !word(offset + 24, &second))
            return false;
        p->rows = p->typeClass == kClassVector ? second : first;
        p->columns = p->typeClass == kClassVector ? first : second;
    }
    p->name.clear();
    return name == 0 || string(name, &p->name);
}

bool Reader::objectId(uint32_t id)
{
    if (id == 0 || id >= objectCount_)
        return fail("object id " + std::to_string(id) + " outside 1.." + std::to_string(objectCount_ - 1));
    return true;
}

bool Reader::readState(FxState* s)
{
    uint32_t typedefAt = 0, valueAt = 0;
    if (!next(&s->operation) || !next(&s->index) || !next(&typedefAt) || !next(&valueAt))
        return false;
    FxParameter type;
    if (!readTypedef(typedefAt, &type))
        return false;
    if (!type.name.empty())
        return fail("a state's typedef has a name");
    s->type = type.type;
    s->typeClass = type.typeClass;
    if (type.typeClass == kClassObject) {
        if (!word(valueAt, &s->objectId) || !objectId(s->objectId))
            return false;
    } else {
        if (type.rows != 1 || type.columns != 1 || type.elements != 0)
            return fail("a constant state value is not 1x1");
        if (!word(valueAt, &s->value))
            return false;
    }
    return true;
}

bool Reader::run(FxEffect* effect, FxLayout* layout, std::string* error)
{
    *effect = FxEffect();
    *layout = FxLayout();
    uint32_t tag = 0;
    if (!ReadU32(data_, 0, &tag) || tag != kEffectTag || !ReadU32(data_, 4, &unstructured_)) {
        *error = "not an fx_2_0 effect (tag 0xFEFF0901)";
        return false;
    }
    if (unstructured_ % 4 != 0 || kBase + static_cast<size_t>(unstructured_) > data_.size()) {
        *error = "bad unstructured size " + std::to_string(unstructured_);
        return false;
    }
    layout->unstructuredSize = unstructured_;
    cursor_ = kBase + unstructured_;

    uint32_t first = 1;
    word(0, &first);
    if (first != 0)
        fail("the first word of the unstructured area is not 0");

    uint32_t parameterCount = 0, techniqueCount = 0;
    next(&parameterCount);
    next(&techniqueCount);
    next(&layout->shaderCount);
    next(&objectCount_);
    layout->objectCount = objectCount_;

    for (uint32_t i = 0; error_.empty() && i < parameterCount; ++i) {
        FxParameter p;
        uint32_t typedefAt = 0, valueAt = 0, annotations = 0;
        if (!next(&typedefAt) || !next(&valueAt) || !next(&p.flags) || !next(&annotations) ||
            !readTypedef(typedefAt, &p))
            break;
        if (annotations != 0) {
            fail("annotations are not expected");
            break;
        }
        if (IsSamplerType(p.type)) {
            uint32_t count = 0;
            if (!word(valueAt, &count))
                break;
            // The sampler block has the layout of pass states: read it with
            // the same cursor, then come back to the structured area.
            const size_t saved = cursor_;
            cursor_ = kBase + valueAt + 4;
            for (uint32_t k = 0; error_.empty() && k < count; ++k) {
                FxState s;
                if (cursor_ + 16 > kBase + static_cast<size_t>(unstructured_)) {
                    fail("sampler block runs past the unstructured area");
                    break;
                }
                if (readState(&s))
                    p.samplerStates.push_back(s);
            }
            cursor_ = saved;
        } else if (p.typeClass == kClassObject) {
            for (uint32_t e = 0; e < (p.elements ? p.elements : 1); ++e) {
                uint32_t id = 0;
                if (word(valueAt + 4 * e, &id) && objectId(id))
                    p.objectIds.push_back(id);
            }
        } else {
            const uint32_t size = NumericValueSize(p);
            if (valueAt + static_cast<size_t>(size) > unstructured_) {
                fail("value of " + p.name + " runs past the unstructured area");
                break;
            }
            p.value.assign(data_.begin() + kBase + valueAt, data_.begin() + kBase + valueAt + size);
        }
        effect->parameters.push_back(std::move(p));
    }

    for (uint32_t t = 0; error_.empty() && t < techniqueCount; ++t) {
        FxTechnique technique;
        uint32_t nameAt = 0, annotations = 0, passes = 0;
        if (!next(&nameAt) || !next(&annotations) || !next(&passes) || !string(nameAt, &technique.name))
            break;
        if (annotations != 0) {
            fail("annotations are not expected");
            break;
        }
        for (uint32_t k = 0; error_.empty() && k < passes; ++k) {
            FxPass pass;
            uint32_t states = 0;
            if (!next(&nameAt) || !next(&annotations) || !next(&states) || !string(nameAt, &pass.name))
                break;
            if (annotations != 0) {
                fail("annotations are not expected");
                break;
            }
            for (uint32_t s = 0; error_.empty() && s < states; ++s) {
                FxState state;
                if (readState(&state))
                    pass.states.push_back(state);
            }
            technique.passes.push_back(std::move(pass));
        }
        effect->techniques.push_back(std::move(technique));
    }

    uint32_t objects = 0, resources = 0;
    if (error_.empty() && next(&objects) && next(&resources)) {
        layout->objectRecords = objects;
        layout->resourceRecords = resources;
        for (uint32_t i = 0; error_.empty() && i < objects; ++i) {
            uint32_t id = 0, size = 0;
            if (!next(&id) || !next(&size) || !objectId(id))
                break;
            cursor_ += (size + 3) / 4 * 4;
        }
        for (uint32_t i = 0; error_.empty() && i < resources; ++i) {
            uint32_t technique = 0, pass = 0, element = 0, state = 0, usage = 0, size = 0;
            if (!next(&technique) || !next(&pass) || !next(&element) || !next(&state) || !next(&usage) ||
                !next(&size))
                break;
            if (cursor_ + size > data_.size()) {
                fail("resource data runs past the end of the file");
                break;
            }
            std::vector<uint8_t> bytes(data_.begin() + cursor_, data_.begin() + cursor_ + size);
            cursor_ += (size + 3) / 4 * 4;
            FxState* target = nullptr;
            if (technique == kNone) {
                if (pass < effect->parameters.size() && element == 0 &&
                    state < effect->parameters[pass].samplerStates.size())
                    target = &effect->parameters[pass].samplerStates[state];
            } else if (technique < effect->techniques.size() && element == kNone &&
                       pass < effect->techniques[technique].passes.size() &&
                       state < effect->techniques[technique].passes[pass].states.size()) {
                target = &effect->techniques[technique].passes[pass].states[state];
            }
            if (!target || target->typeClass != kClassObject) {
                fail("resource " + std::to_string(i) + " addresses no object state");
                break;
            }
            if (usage == 1) {
                if (bytes.empty() || bytes.back() != 0) {
                    fail("resource " + std::to_string(i) + ": name without NUL");
                    break;
                }
                target->reference.assign(bytes.begin(), bytes.end() - 1);
            } else if (usage == 0) {
                target->code = std::move(bytes);
            } else {
                fail("resource " + std::to_string(i) + ": unsupported usage " + std::to_string(usage));
            }
        }
        if (error_.empty() && cursor_ != data_.size())
            fail(std::to_string(data_.size() - cursor_) + " bytes after the last resource");
    }
    if (!error_.empty()) {
        *error = error_;
        return false;
    }
    return true;
}

}  // namespace

bool ReadEffect(const std::vector<uint8_t>& data, FxEffect* effect, FxLayout* layout, std::string* error)
{
    return Reader(data).run(effect, layout, error);
}
