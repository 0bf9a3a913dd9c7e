// The compiled resampling effect: its byte layout, what a reader finds in
// it, and the constant tables through which its parameters reach the shaders.
#include "constant_table.h"
#include "effect_compiler.h"
#include "fx_effect.h"
#include "state_tables.h"
#include "test_data.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;

class LanczosEffect : public testing::Test {
protected:
    static void SetUpTestSuite() { compiled_ = new CompiledEffect(CompileEffect(ReadEffectSource())); }
    static void TearDownTestSuite()
    {
        delete compiled_;
        compiled_ = nullptr;
    }
    static const std::vector<uint8_t>& binary() { return compiled_->binary; }
    static const CompiledEffect& compiled() { return *compiled_; }

    static FxEffect Read(FxLayout* layout = nullptr)
    {
        FxEffect effect;
        FxLayout l;
        std::string error;
        EXPECT_TRUE(ReadEffect(binary(), &effect, layout ? layout : &l, &error)) << error;
        return effect;
    }

private:
    static CompiledEffect* compiled_;
};

CompiledEffect* LanczosEffect::compiled_ = nullptr;

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t offset)
{
    return ToWords(std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + 4))[0];
}

TEST_F(LanczosEffect, LaysOutItsRecordsAsTheLoadedEffect)
{
    std::vector<uint8_t> expected;
    std::string error;
    ASSERT_TRUE(ParseHexData(ReadDataFile("lanczos_effect_layout.hex"), 8, &expected, &error)) << error;
    ASSERT_GE(binary().size(), expected.size());
    const std::vector<uint8_t> head(binary().begin(), binary().begin() + expected.size());
    EXPECT_EQ(ToWords(head), ToWords(expected));

    // The four shader resources follow one another: pass p's code with its
    // exact size, padded to words, and nothing after the last.
    size_t at = 8 + 0xE78;
    size_t shaderBytes = 0;
    const FxEffect effect = Read();
    for (uint32_t pass = 0; pass < 4; ++pass) {
        SCOPED_TRACE(testing::Message() << "pass " << pass);
        ASSERT_LE(at + 24, binary().size());
        const uint32_t header[] = {0, pass, kNone, 1, 0};
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(WordAt(binary(), at + 4 * i), header[i]) << "word " << i;
        const uint32_t size = WordAt(binary(), at + 20);
        const std::vector<uint8_t>& code = effect.techniques.at(0).passes.at(pass).states.at(1).code;
        EXPECT_EQ(size, code.size());
        EXPECT_EQ(size % 4, 0u);
        EXPECT_TRUE(std::equal(code.begin(), code.end(), binary().begin() + at + 24));
        at += 24 + size;
        shaderBytes += size;
    }
    EXPECT_EQ(at, binary().size());
    EXPECT_EQ(binary().size(), 3808 + shaderBytes);
}

TEST_F(LanczosEffect, DeclaresItsParametersInOrder)
{
    struct Expected {
        const char* name;
        uint32_t type, typeClass, rows, columns, elements;
    };
    const Expected parameters[] = {
        {"txWgt", kTypeTexture2D, kClassObject, 0, 0, 0}, {"samWgt", kTypeSampler, kClassObject, 0, 0, 0},
        {"txSrc", kTypeTexture2D, kClassObject, 0, 0, 0}, {"samSrc", kTypeSampler, kClassObject, 0, 0, 0},
        {"iRadius", kTypeInt, kClassScalar, 1, 1, 0},     {"iRep", kTypeInt, kClassScalar, 1, 1, 2},
        {"fRszSrc", kTypeFloat, kClassVector, 1, 2, 0},   {"fMinRt", kTypeFloat, kClassVector, 1, 2, 0},
    };
    FxLayout layout;
    const FxEffect effect = Read(&layout);
    ASSERT_EQ(effect.parameters.size(), std::size(parameters));
    for (size_t i = 0; i < std::size(parameters); ++i) {
        const Expected& e = parameters[i];
        const FxParameter& p = effect.parameters[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(p.name, e.name);
        EXPECT_EQ(p.type, e.type);
        EXPECT_EQ(p.typeClass, e.typeClass);
        EXPECT_EQ(p.rows, e.rows);
        EXPECT_EQ(p.columns, e.columns);
        EXPECT_EQ(p.elements, e.elements);
        EXPECT_EQ(p.flags, 0u);
        if (p.typeClass != kClassObject) {
            EXPECT_EQ(p.value, std::vector<uint8_t>(NumericValueSize(p), 0));
        }
    }
    EXPECT_EQ(layout.shaderCount, 10u);  // 2 samplers + 4 passes + 4 pixel shaders
    EXPECT_EQ(layout.objectCount, 9u);
    EXPECT_EQ(effect.parameters[0].objectIds, std::vector<uint32_t>{1});
    EXPECT_EQ(effect.parameters[2].objectIds, std::vector<uint32_t>{3});
}

// D3DX state numbers and enumerated values.
constexpr uint32_t kTexture = 164, kAddressU = 165, kAddressV = 166, kMagFilter = 169, kMinFilter = 170,
                   kMipFilter = 171, kVertexShader = 146, kPixelShader = 147, kZEnable = 0;
constexpr uint32_t kMirror = 2, kClamp = 3, kNoFilter = 0, kPoint = 1, kLinear = 2;

TEST_F(LanczosEffect, SamplersNameTheirTexturesAndStates)
{
    const FxEffect effect = Read();
    struct Expected {
        size_t parameter;
        const char* texture;
        uint32_t address, filter;
    };
    for (const Expected& e : {Expected{1, "txWgt", kClamp, kLinear}, Expected{3, "txSrc", kMirror, kPoint}}) {
        const FxParameter& sampler = effect.parameters.at(e.parameter);
        SCOPED_TRACE(sampler.name);
        ASSERT_EQ(sampler.samplerStates.size(), 6u);
        const FxState& texture = sampler.samplerStates[0];
        EXPECT_EQ(texture.operation, kTexture);
        EXPECT_EQ(texture.typeClass, kClassObject);
        EXPECT_EQ(texture.type, kTypeTexture2D);
        EXPECT_EQ(texture.reference, e.texture);
        const uint32_t expected[][2] = {{kAddressU, e.address}, {kAddressV, e.address}, {kMinFilter, e.filter},
                                        {kMagFilter, e.filter}, {kMipFilter, kNoFilter}};
        for (size_t i = 0; i < 5; ++i) {
            const FxState& s = sampler.samplerStates[i + 1];
            EXPECT_EQ(s.operation, expected[i][0]) << "state " << i + 1;
            EXPECT_EQ(s.value, expected[i][1]) << "state " << i + 1;
            EXPECT_EQ(s.index, kSamplerBlockStateIndex);
        }
    }
}

TEST_F(LanczosEffect, EveryPassSetsTheThirteenStatesInOrder)
{
    const FxEffect effect = Read();
    ASSERT_EQ(effect.techniques.size(), 1u);
    const FxTechnique& technique = effect.techniques[0];
    EXPECT_EQ(technique.name, "LanczosResize");
    ASSERT_EQ(technique.passes.size(), 4u);
    // operation, stage, value; the pixel shader's value is its code.
    const uint32_t states[][3] = {
        {kVertexShader, 0, 0},    {kPixelShader, 0, 0},   {kAddressU, 0, kClamp}, {kAddressV, 0, kClamp},
        {kMinFilter, 0, kLinear}, {kMagFilter, 0, kLinear}, {kMipFilter, 0, kNoFilter}, {kAddressU, 1, kMirror},
        {kAddressV, 1, kMirror},  {kMinFilter, 1, kPoint}, {kMagFilter, 1, kPoint}, {kMipFilter, 1, kNoFilter},
        {kZEnable, 0, 0},
    };
    for (size_t p = 0; p < 4; ++p) {
        const FxPass& pass = technique.passes[p];
        SCOPED_TRACE(pass.name);
        EXPECT_EQ(pass.name, "p" + std::to_string(p));
        ASSERT_EQ(pass.states.size(), std::size(states));
        for (size_t i = 0; i < std::size(states); ++i) {
            const FxState& s = pass.states[i];
            EXPECT_EQ(s.operation, states[i][0]) << "state " << i;
            EXPECT_EQ(s.index, states[i][1]) << "state " << i;
            if (s.operation == kPixelShader) {
                EXPECT_EQ(s.typeClass, kClassObject);
                EXPECT_EQ(s.type, kTypePixelShader);
                EXPECT_EQ(s.objectId, 5 + p);
                ASSERT_GE(s.code.size(), 8u);
                EXPECT_EQ(ToWords(s.code).front(), 0xFFFF0300u);
                EXPECT_EQ(ToWords(s.code).back(), 0x0000FFFFu);
            } else {
                EXPECT_EQ(s.typeClass, kClassMatrixRows) << "state " << i;
                EXPECT_EQ(s.type, kTypeInt) << "state " << i;
                EXPECT_EQ(s.value, states[i][2]) << "state " << i;
            }
        }
    }
}

TEST_F(LanczosEffect, ShadersBindTheParametersTheyRead)
{
    struct Binding {
        RegisterSet set;
        int index, count, typeClass, type, columns, elements;
    };
    const std::map<std::string, Binding> all = {
        {"fRszSrc", {RegisterSet::Float4, 0, 1, kClassVector, kTypeFloat, 2, 1}},
        {"fMinRt", {RegisterSet::Float4, 1, 1, kClassVector, kTypeFloat, 2, 1}},
        {"iRep", {RegisterSet::Int4, 0, 2, kClassScalar, kTypeInt, 1, 2}},
        {"iRadius", {RegisterSet::Int4, 2, 1, kClassScalar, kTypeInt, 1, 1}},
        {"samWgt", {RegisterSet::Sampler, 0, 1, kClassObject, kTypeSampler2D, 1, 1}},
        {"samSrc", {RegisterSet::Sampler, 1, 1, kClassObject, kTypeSampler2D, 1, 1}},
    };
    const std::vector<std::string> reduce = {"fMinRt", "fRszSrc", "iRep", "samSrc", "samWgt"};
    const std::vector<std::string> enlarge = {"fRszSrc", "iRadius", "samSrc", "samWgt"};
    const FxEffect effect = Read();
    for (size_t p = 0; p < 4; ++p) {
        SCOPED_TRACE(testing::Message() << "pass p" << p);
        ConstantTable table;
        std::string error;
        ASSERT_TRUE(ReadConstantTable(ToWords(effect.techniques[0].passes[p].states[1].code), &table, &error))
            << error;
        EXPECT_EQ(table.target, "ps_3_0");
        EXPECT_EQ(table.version, 0xFFFF0300u);
        std::vector<std::string> names;
        for (const ConstantInfo& c : table.constants) {
            names.push_back(c.name);
            const auto it = all.find(c.name);
            ASSERT_NE(it, all.end()) << c.name;
            const Binding& b = it->second;
            EXPECT_EQ(c.registerSet, b.set) << c.name;
            EXPECT_EQ(c.registerIndex, b.index) << c.name;
            EXPECT_EQ(c.registerCount, b.count) << c.name;
            EXPECT_EQ(c.typeClass, b.typeClass) << c.name;
            EXPECT_EQ(c.type, b.type) << c.name;
            EXPECT_EQ(c.rows, 1) << c.name;
            EXPECT_EQ(c.columns, b.columns) << c.name;
            EXPECT_EQ(c.elements, b.elements) << c.name;
        }
        EXPECT_EQ(names, p % 2 == 0 ? reduce : enlarge);
    }
}

TEST_F(LanczosEffect, LoopBodiesStayWithinTheirBudgets)
{
    ASSERT_EQ(compiled().passes.size(), 4u);
    for (const PassReport& pass : compiled().passes) {
        SCOPED_TRACE(pass.pass);
        ASSERT_EQ(pass.stats.loopBodySlots.size(), 1u);
        const bool reduce = pass.pass == "p0" || pass.pass == "p2";
        EXPECT_LE(pass.stats.loopBodySlots[0], reduce ? 24 : 12);
        EXPECT_EQ(pass.stats.textureInstructions, reduce ? 4 : 3);
    }
}

TEST_F(LanczosEffect, WritingWhatWasReadGivesTheSameBytes)
{
    const FxEffect effect = Read();
    std::vector<uint8_t> again;
    std::string error;
    ASSERT_TRUE(WriteEffect(effect, &again, &error)) << error;
    EXPECT_EQ(again, binary());
}

TEST_F(LanczosEffect, ReaderRefusesDamagedCopies)
{
    struct Damage {
        const char* what;
        size_t offset;
        uint32_t value;
    };
    const Damage damages[] = {
        {"tag", 0, 0xFEFF0900},
        {"first unstructured word", 8, 4},
        {"object count below the highest id", 8 + 0xA14 + 12, 8},
        {"name offset outside the area", 8 + 0xA24, 0x10000},
        {"resource for a missing pass", 8 + 0xE78 + 4, 9},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        std::vector<uint8_t> copy = binary();
        for (int b = 0; b < 4; ++b)
            copy[d.offset + b] = static_cast<uint8_t>(d.value >> (8 * b));
        FxEffect effect;
        FxLayout layout;
        std::string error;
        EXPECT_FALSE(ReadEffect(copy, &effect, &layout, &error));
        EXPECT_FALSE(error.empty());
    }
    std::vector<uint8_t> truncated(binary().begin(), binary().end() - 4);
    FxEffect effect;
    FxLayout layout;
    std::string error;
    EXPECT_FALSE(ReadEffect(truncated, &effect, &layout, &error));
}

}  // namespace
