// The effect's pixel shaders, run by the CPU interpreter with the parameters
// bound through their constant tables and the samplers set up from the
// effect's own sampler states, must compute what the reference model says.
#include "constant_table.h"
#include "effect_compiler.h"
#include "fx_effect.h"
#include "reference_model.h"
#include "shader_interpreter.h"
#include "test_data.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr uint32_t kAddressU = 165, kAddressV = 166, kMinFilter = 170;

class EffectShaders : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const CompiledEffect compiled = CompileEffect(ReadEffectSource());
        effect_ = new FxEffect;
        FxLayout layout;
        std::string error;
        ASSERT_TRUE(ReadEffect(compiled.binary, effect_, &layout, &error)) << error;
    }
    static void TearDownTestSuite()
    {
        delete effect_;
        effect_ = nullptr;
    }

    static const FxParameter& parameter(const std::string& name)
    {
        for (const FxParameter& p : effect_->parameters)
            if (p.name == name)
                return p;
        throw std::runtime_error("no parameter " + name);
    }

    // A sampler set up as the effect's sampler parameter says.
    static void applySamplerStates(const std::string& name, SamplerTexture* texture)
    {
        for (const FxState& s : parameter(name).samplerStates) {
            if (s.operation == kAddressU)
                texture->addressU = s.value;
            else if (s.operation == kAddressV)
                texture->addressV = s.value;
            else if (s.operation == kMinFilter)
                texture->filter = s.value;
        }
    }

    static const std::vector<uint8_t>& passCode(int pass)
    {
        return effect_->techniques.at(0).passes.at(pass).states.at(1).code;
    }

private:
    static FxEffect* effect_;
};

FxEffect* EffectShaders::effect_ = nullptr;

TEST_F(EffectShaders, ComputeWhatTheModelComputes)
{
    struct Case {
        int pass, srcW, srcH, dstW, dstH, radius;
    };
    const Case cases[] = {
        {kHorizontalEnlarge, 32, 3, 64, 3, 3},  {kHorizontalEnlarge, 37, 2, 101, 2, 1},
        {kHorizontalEnlarge, 33, 2, 70, 2, 15}, {kVerticalEnlarge, 3, 32, 3, 64, 3},
        {kVerticalEnlarge, 2, 37, 2, 90, 2},    {kHorizontalReduce, 64, 3, 32, 3, 3},
        {kHorizontalReduce, 100, 2, 37, 2, 2},  {kHorizontalReduce, 200, 2, 120, 2, 2},
        {kHorizontalReduce, 2048, 1, 32, 1, 15}, {kVerticalReduce, 3, 64, 3, 32, 3},
        {kVerticalReduce, 2, 97, 2, 41, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pass " << c.pass << ", " << c.srcW << "x" << c.srcH << " to " << c.dstW
                                        << "x" << c.dstH << ", radius " << c.radius);
        const std::vector<uint32_t> tokens = ToWords(passCode(c.pass));
        DecodedShader shader;
        std::string error;
        ASSERT_TRUE(DecodeShader(tokens, &shader, &error)) << error;
        ConstantTable table;
        ASSERT_TRUE(ReadConstantTable(tokens, &table, &error)) << error;

        const PlanarImage source = HostRangePattern(c.srcW, c.srcH, 17u + c.pass);
        const PassParameters parameters = MakePassParameters(c.radius, c.srcW, c.srcH, c.dstW, c.dstH);
        const WeightTexture weights = MakeWeightTexture(parameters.radius);

        SamplerTexture weightTexture;
        weightTexture.width = kWeightTableColumns;
        weightTexture.height = kWeightTableRows;
        for (int r = 0; r < kWeightTableRows; ++r)
            for (int k = 0; k < kWeightTableColumns; ++k)
                weightTexture.texels.push_back({weights.u(r, k) / 32767.0f, weights.v(r, k) / 32767.0f, 1, 1});
        applySamplerStates("samWgt", &weightTexture);

        SamplerTexture sourceTexture;
        sourceTexture.width = c.srcW;
        sourceTexture.height = c.srcH;
        for (int y = 0; y < c.srcH; ++y)
            for (int x = 0; x < c.srcW; ++x)
                sourceTexture.texels.push_back({static_cast<float>(source.at(0, x, y)),
                                                static_cast<float>(source.at(1, x, y)),
                                                static_cast<float>(source.at(2, x, y)), 12345.0f});
        applySamplerStates("samSrc", &sourceTexture);

        // Parameters reach the registers the constant table names, as the
        // effect framework sets them.
        ShaderMachine machine;
        for (const ConstantInfo& constant : table.constants) {
            if (constant.name == "fRszSrc")
                machine.c[constant.registerIndex] = {parameters.pitch[0], parameters.pitch[1], 0, 0};
            else if (constant.name == "fMinRt")
                machine.c[constant.registerIndex] = {parameters.ratio[0], parameters.ratio[1], 0, 0};
            else if (constant.name == "iRadius")
                machine.i[constant.registerIndex][0] = parameters.radius;
            else if (constant.name == "iRep")
                for (int e = 0; e < constant.registerCount; ++e)
                    machine.i[constant.registerIndex + e][0] = parameters.rep[e];
            else if (constant.name == "samWgt")
                machine.samplers[constant.registerIndex] = &weightTexture;
            else if (constant.name == "samSrc")
                machine.samplers[constant.registerIndex] = &sourceTexture;
        }

        const PlanarImage expected = RunPass(c.pass, source, c.dstW, c.dstH, weights, parameters);
        double worst = 0;
        for (int j = 0; j < c.dstH; ++j) {
            for (int i = 0; i < c.dstW; ++i) {
                const Interpolants at = QuadInterpolants(i, j, c.srcW, c.srcH, c.dstW, c.dstH);
                const Float4 out = RunPixelShader(shader, machine, {at.u, at.v, at.s, at.t});
                for (int ch = 0; ch < 3; ++ch)
                    worst = std::max(worst, std::fabs(out[ch] - expected.at(ch, i, j)));
                ASSERT_EQ(out[3], 0.0f) << "pixel " << i << "," << j;
            }
        }
        // Float sums against double sums of values up to 4096.
        EXPECT_LT(worst, 0.01);
    }
}

}  // namespace
