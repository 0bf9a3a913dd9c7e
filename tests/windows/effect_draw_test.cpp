// Each pass of the effect drawn on the device, compared with the CPU
// reference model of the same pass, in both texel formats.
//
// One quad covers the target, pre-transformed, with texture coordinate set 0
// = (u, v, s, t); the weight table goes up through a system-memory texture;
// the result comes back through GetRenderTargetData. The model's exact
// output is rounded and clamped as the format stores it before comparing.
#include "d3d_fixture.h"
#include "reference_model.h"
#include "weight_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

enum class Content {
    HostRange,  // Y 0..4096, Cb and Cr -2048..2047, runs of 1..6 pixels: hard edges everywhere
    FullRange,  // runs of -32768, -32767, 0 and 32767 and random values: overshoot beyond what the format holds
    Flat,       // one value per channel, the extremes among them
};

struct DrawCase {
    const char* name;
    int pass;       // 0 horizontal reduce, 1 horizontal enlarge, 2 vertical reduce, 3 vertical enlarge
    int srcLength;  // along the pass's axis
    int dstLength;
    int across;  // the other dimension, which the pass keeps
    int radius;
    Content content;
    bool withinNeighbours = false;  // radius 1: no output leaves the range of its source taps
};

// Sizes of the reductions are chosen so that no sample point falls exactly
// on a source pixel centre (where the outermost tap of a rounded-down tap
// count switches side with the float error of the position).
const DrawCase kCases[] = {
    {"Enlarge32To64Radius3H", 1, 32, 64, 6, 3, Content::HostRange},
    {"Enlarge32To64Radius3V", 3, 32, 64, 6, 3, Content::HostRange},
    {"Reduce64To32Radius3H", 0, 64, 32, 6, 3, Content::HostRange},
    {"Reduce64To32Radius3V", 2, 64, 32, 6, 3, Content::HostRange},
    {"Reduce96To64Radius3H", 0, 96, 64, 6, 3, Content::HostRange},
    {"Reduce96To64Radius3V", 2, 96, 64, 6, 3, Content::HostRange},
    // The plug-in's 1920 -> 1280 at full length, one line: positions up to
    // 1920 carry the largest float error of the interpolated coordinates.
    {"Reduce1920To1280Radius3H", 0, 1920, 1280, 1, 3, Content::HostRange},
    {"Reduce1920To1280Radius3V", 2, 1920, 1280, 1, 3, Content::HostRange},
    // 960 pairs wanted, 255 run: the kernel is cut, the division keeps the gain.
    {"Reduce2048To32Radius15CappedH", 0, 2048, 32, 2, 15, Content::HostRange},
    {"Reduce2048To32Radius15CappedV", 2, 2048, 32, 2, 15, Content::HostRange},
    {"Enlarge40To100Radius1H", 1, 40, 100, 4, 1, Content::HostRange, true},
    {"Enlarge40To100Radius1V", 3, 40, 100, 4, 1, Content::HostRange, true},
    {"Reduce100To40Radius1H", 0, 100, 40, 4, 1, Content::HostRange, true},
    {"Reduce100To40Radius1V", 2, 100, 40, 4, 1, Content::HostRange, true},
    {"FlatEnlarge33To97Radius15H", 1, 33, 97, 3, 15, Content::Flat},
    {"FlatEnlarge33To97Radius15V", 3, 33, 97, 3, 15, Content::Flat},
    {"FlatReduce97To33Radius15H", 0, 97, 33, 3, 15, Content::Flat},
    {"FlatReduce97To33Radius15V", 2, 97, 33, 3, 15, Content::Flat},
    {"FullRangeEnlarge32To64Radius3H", 1, 32, 64, 4, 3, Content::FullRange},
    {"FullRangeEnlarge32To64Radius3V", 3, 32, 64, 4, 3, Content::FullRange},
    {"FullRangeReduce64To32Radius3H", 0, 64, 32, 4, 3, Content::FullRange},
    {"FullRangeReduce64To32Radius3V", 2, 64, 32, 4, 3, Content::FullRange},
};

struct Format {
    const char* name;
    D3DFORMAT format;
    TexelStore store;
};
const Format kFormats[] = {
    {"signed", D3DFMT_Q16W16V16U16, TexelStore::Signed},
    {"unsigned", D3DFMT_A16B16G16R16, TexelStore::Unsigned},
};

// Measured on llvmpipe against the model, both formats, every case: no
// value deviates by more than 1 unit, full-range content included (at these
// coordinates the float32 position error times an edge of 65535 stays well
// under one unit; the clamp hides the overshoot). Most cases are at least
// 98.8 % exact with a mean below 0.012. The exception is the reduction capped
// at 255 pairs: its 510 float32 products of texels near 0.5 (the unsigned
// format stores values offset by 32768) drift by up to one code, measured
// mean 0.052 and 94.8 % exact on 192 values. A flat field is exact: the
// weighted mean of equal values is that value.
struct Tolerance {
    double maxDeviation;
    double meanDeviation;
    double exactShare;
};
Tolerance ToleranceFor(Content content, int pairs)
{
    if (content == Content::Flat)
        return {0, 0, 1};
    if (pairs > 64)
        return {1, 0.08, 0.92};
    return {1, 0.02, 0.98};
}

bool IsHorizontal(int pass)
{
    return pass == 0 || pass == 1;
}

// Deterministic source content: three planes of host values plus a junk
// fourth channel that no pass may pass on.
struct Source {
    PlanarImage image;
    std::vector<int16_t> fourth;
};

class Random {
public:
    explicit Random(uint32_t seed) : state_(seed) {}
    uint32_t next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint32_t>(hi - lo + 1)); }

private:
    uint32_t state_;
};

Source MakeSource(const DrawCase& c, int width, int height)
{
    Source source{MakeImage(width, height), std::vector<int16_t>(static_cast<size_t>(width) * height)};
    Random random(static_cast<uint32_t>(width * 7919 + height * 104729 + c.radius));
    const double flat[3] = {32767, -32768, 1234};
    const int extremes[5] = {-32768, -32767, 0, 32767, 32767};
    for (int channel = 0; channel < 3; ++channel) {
        // Runs follow the pass's axis, so that every tap window meets edges.
        const bool horizontal = IsHorizontal(c.pass);
        const int lines = horizontal ? height : width;
        const int length = horizontal ? width : height;
        for (int line = 0; line < lines; ++line) {
            double value = 0;
            int left = 0;
            for (int k = 0; k < length; ++k) {
                if (left == 0) {
                    left = random.range(1, 6);
                    switch (c.content) {
                    case Content::HostRange:
                        value = channel == 0 ? random.range(0, 4096) : random.range(-2048, 2047);
                        break;
                    case Content::FullRange:
                        value = random.range(0, 3) == 0 ? random.range(-32768, 32767) : extremes[random.range(0, 4)];
                        break;
                    case Content::Flat:
                        value = flat[channel];
                        break;
                    }
                }
                --left;
                const int x = horizontal ? k : line, y = horizontal ? line : k;
                source.image.at(channel, x, y) = value;
            }
        }
    }
    for (int16_t& v : source.fourth)
        v = static_cast<int16_t>(random.range(-32768, 32767));
    return source;
}

// Texel channel order in memory: U V W Q for the signed format, R G B A for
// the unsigned one; both put channel 1 first. The unsigned format stores
// every value with its sign bit inverted.
uint16_t Encode(double value, TexelStore store)
{
    const auto v = static_cast<int16_t>(value);
    return store == TexelStore::Unsigned ? static_cast<uint16_t>(v ^ 0x8000) : static_cast<uint16_t>(v);
}
double Decode(uint16_t code, TexelStore store)
{
    return store == TexelStore::Unsigned ? static_cast<int16_t>(code ^ 0x8000) : static_cast<int16_t>(code);
}

// What the shader reads from a texel: the signed format has no code below
// -1.0, so -32768 reads as -32767.
PlanarImage AsStored(const PlanarImage& image, TexelStore store)
{
    PlanarImage out = image;
    if (store == TexelStore::Signed)
        for (auto& plane : out.planes)
            for (double& v : plane)
                v = std::max(v, -32767.0);
    return out;
}

struct Vertex {
    float x, y, z, rhw;
    float u, v, s, t;
};

const D3DVERTEXELEMENT9 kVertexElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};

// The output of the device: three planes and the raw fourth channel.
struct DeviceOutput {
    PlanarImage image;
    std::vector<uint16_t> fourth;
};

// One device for the whole suite: llvmpipe compiles a pass's shader for
// each device anew, which under emulation costs seconds per draw. Each test
// still ends with a reference count check: the device holds exactly the
// references it held before the test; the suite's end releases it to zero.
class EffectDraw : public ::testing::TestWithParam<DrawCase> {
protected:
    static void SetUpTestSuite()
    {
        session_ = new D3dSession;
        session_->Open();
        // The effect makes the state block that Begin saves into on its first
        // Begin and keeps it (one device reference) until it is released:
        // make it now, before any test counts references.
        if (ID3DXEffect* e = session_->effect.get()) {
            UINT passes = 0;
            if (SUCCEEDED(e->SetTechnique(e->GetTechniqueByName("LanczosResize"))) && SUCCEEDED(e->Begin(&passes, 0)))
                e->End();
        }
    }
    static void TearDownTestSuite()
    {
        session_->Close();
        delete session_;
        session_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(session_->device && session_->effect) << "no device or no effect: see the suite's set-up";
        references_ = session_->DeviceReferences();
    }
    void TearDown() override
    {
        EXPECT_EQ(session_->DeviceReferences(), references_) << "the test left objects of the device behind";
    }

    IDirect3DDevice9* device() const { return session_->device.get(); }
    ID3DXEffect* effect() const { return session_->effect.get(); }

    // Draws the case's pass over the source and reads the target back.
    void Draw(const DrawCase& c, const Format& format, const Source& source, int dstWidth, int dstHeight,
              DeviceOutput* out);

private:
    static D3dSession* session_;
    ULONG references_ = 0;
};

D3dSession* EffectDraw::session_ = nullptr;

void EffectDraw::Draw(const DrawCase& c, const Format& format, const Source& source, int dstWidth, int dstHeight,
                      DeviceOutput* out)
{
    IDirect3DDevice9* d = device();
    const int srcWidth = source.image.width, srcHeight = source.image.height;

    // The source, as the plug-in uploads it: a dynamic texture locked with discard.
    ComRef<IDirect3DTexture9> input;
    ASSERT_EQ(d->CreateTexture(srcWidth, srcHeight, 1, D3DUSAGE_DYNAMIC, format.format, D3DPOOL_DEFAULT, input.out(),
                               nullptr),
              D3D_OK);
    D3DLOCKED_RECT lock = {};
    ASSERT_EQ(input->LockRect(0, &lock, nullptr, D3DLOCK_DISCARD), D3D_OK);
    for (int y = 0; y < srcHeight; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(lock.pBits) + y * lock.Pitch);
        for (int x = 0; x < srcWidth; ++x) {
            for (int channel = 0; channel < 3; ++channel)
                row[x * 4 + channel] = Encode(source.image.at(channel, x, y), format.store);
            row[x * 4 + 3] = static_cast<uint16_t>(source.fourth[static_cast<size_t>(y) * srcWidth + x]);
        }
    }
    ASSERT_EQ(input->UnlockRect(0), D3D_OK);

    // The weight table: filled in system memory, then uploaded.
    ComRef<IDirect3DTexture9> sysWeights, weights;
    ASSERT_EQ(d->CreateTexture(256, 16, 1, 0, D3DFMT_V16U16, D3DPOOL_SYSTEMMEM, sysWeights.out(), nullptr), D3D_OK);
    ASSERT_EQ(d->CreateTexture(256, 16, 1, 0, D3DFMT_V16U16, D3DPOOL_DEFAULT, weights.out(), nullptr), D3D_OK);
    ASSERT_EQ(sysWeights->LockRect(0, &lock, nullptr, D3DLOCK_NOSYSLOCK), D3D_OK);
    FillWeightTable(lock.pBits, lock.Pitch, c.radius);
    ASSERT_EQ(sysWeights->UnlockRect(0), D3D_OK);
    ASSERT_EQ(d->UpdateTexture(sysWeights.get(), weights.get()), D3D_OK);

    ComRef<IDirect3DSurface9> target, readBack;
    ASSERT_EQ(d->CreateRenderTarget(dstWidth, dstHeight, format.format, D3DMULTISAMPLE_NONE, 0, FALSE, target.out(),
                                    nullptr),
              D3D_OK);
    ASSERT_EQ(d->CreateOffscreenPlainSurface(dstWidth, dstHeight, format.format, D3DPOOL_SYSTEMMEM, readBack.out(),
                                             nullptr),
              D3D_OK);

    // The parameters as the plug-in computes them.
    ID3DXEffect* e = effect();
    const PassParameters p = MakePassParameters(c.radius, srcWidth, srcHeight, dstWidth, dstHeight);
    const D3DXVECTOR4 pitch(static_cast<float>(1.0 / srcWidth), static_cast<float>(1.0 / srcHeight), 0, 0);
    const D3DXVECTOR4 ratio(static_cast<float>(static_cast<double>(dstWidth) / srcWidth),
                            static_cast<float>(static_cast<double>(dstHeight) / srcHeight), 0, 0);
    ASSERT_EQ(e->SetTexture(e->GetParameterByName(nullptr, "txWgt"), weights.get()), D3D_OK);
    ASSERT_EQ(e->SetTexture(e->GetParameterByName(nullptr, "txSrc"), input.get()), D3D_OK);
    ASSERT_EQ(e->SetVector(e->GetParameterByName(nullptr, "fRszSrc"), &pitch), D3D_OK);
    ASSERT_EQ(e->SetVector(e->GetParameterByName(nullptr, "fMinRt"), &ratio), D3D_OK);
    ASSERT_EQ(e->SetInt(e->GetParameterByName(nullptr, "iRadius"), p.radius), D3D_OK);
    ASSERT_EQ(e->SetIntArray(e->GetParameterByName(nullptr, "iRep"), p.rep, 2), D3D_OK);
    ASSERT_EQ(e->SetTechnique(e->GetTechniqueByName("LanczosResize")), D3D_OK);

    const float right = static_cast<float>(dstWidth - 0.5), bottom = static_cast<float>(dstHeight - 0.5);
    const float srcRight = static_cast<float>(srcWidth - 0.5), srcBottom = static_cast<float>(srcHeight - 0.5);
    const Vertex quad[4] = {
        {-0.5f, -0.5f, 1, 1, 0, 0, -0.5f, -0.5f},
        {right, -0.5f, 1, 1, 1, 0, srcRight, -0.5f},
        {-0.5f, bottom, 1, 1, 0, 1, -0.5f, srcBottom},
        {right, bottom, 1, 1, 1, 1, srcRight, srcBottom},
    };
    ComRef<IDirect3DVertexDeclaration9> declaration;
    ASSERT_EQ(d->CreateVertexDeclaration(kVertexElements, declaration.out()), D3D_OK);

    ComRef<IDirect3DSurface9> backBuffer;
    ASSERT_EQ(d->GetRenderTarget(0, backBuffer.out()), D3D_OK);
    ASSERT_EQ(d->SetRenderTarget(0, target.get()), D3D_OK);
    // A colour no pass produces (channel 4 = 1.0), so an undrawn pixel shows.
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 255, 0, 255), 1.0f, 0), D3D_OK);
    ASSERT_EQ(d->SetVertexDeclaration(declaration.get()), D3D_OK);
    ASSERT_EQ(d->BeginScene(), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(c.pass), D3D_OK);
    const HRESULT drawn = d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    ASSERT_EQ(e->EndPass(), D3D_OK);
    ASSERT_EQ(e->End(), D3D_OK);
    ASSERT_EQ(d->EndScene(), D3D_OK);
    ASSERT_EQ(drawn, D3D_OK);
    ASSERT_EQ(d->SetRenderTarget(0, backBuffer.get()), D3D_OK);
    ASSERT_EQ(d->SetVertexDeclaration(nullptr), D3D_OK);
    ASSERT_EQ(e->SetTexture(e->GetParameterByName(nullptr, "txWgt"), nullptr), D3D_OK);
    ASSERT_EQ(e->SetTexture(e->GetParameterByName(nullptr, "txSrc"), nullptr), D3D_OK);

    ASSERT_EQ(d->GetRenderTargetData(target.get(), readBack.get()), D3D_OK);
    ASSERT_EQ(readBack->LockRect(&lock, nullptr, D3DLOCK_READONLY), D3D_OK);
    out->image = MakeImage(dstWidth, dstHeight);
    out->fourth.assign(static_cast<size_t>(dstWidth) * dstHeight, 0);
    for (int y = 0; y < dstHeight; ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(lock.pBits) + y * lock.Pitch);
        for (int x = 0; x < dstWidth; ++x) {
            for (int channel = 0; channel < 3; ++channel)
                out->image.at(channel, x, y) = Decode(row[x * 4 + channel], format.store);
            out->fourth[static_cast<size_t>(y) * dstWidth + x] = row[x * 4 + 3];
        }
    }
    ASSERT_EQ(readBack->UnlockRect(), D3D_OK);
}

struct Deviation {
    double max = 0;
    double sum = 0;
    size_t exact = 0;
    size_t count = 0;
    int worstX = 0, worstY = 0, worstChannel = 0;
};

TEST_P(EffectDraw, MatchesTheReferenceModel)
{
    const DrawCase& c = GetParam();
    const bool horizontal = IsHorizontal(c.pass);
    const int srcWidth = horizontal ? c.srcLength : c.across, srcHeight = horizontal ? c.across : c.srcLength;
    const int dstWidth = horizontal ? c.dstLength : c.across, dstHeight = horizontal ? c.across : c.dstLength;
    const Source source = MakeSource(c, srcWidth, srcHeight);
    const PassParameters parameters = MakePassParameters(c.radius, srcWidth, srcHeight, dstWidth, dstHeight);
    const WeightTexture table = MakeWeightTexture(parameters.radius);
    const bool reduce = c.pass == 0 || c.pass == 2;
    const Tolerance tolerance =
        ToleranceFor(c.content, reduce ? parameters.rep[horizontal ? 0 : 1] : parameters.radius);

    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.name);
        const PlanarImage input = AsStored(source.image, format.store);
        const PlanarImage model = RunPass(c.pass, input, dstWidth, dstHeight, table, parameters);
        DeviceOutput gpu;
        ASSERT_NO_FATAL_FAILURE(Draw(c, format, source, dstWidth, dstHeight, &gpu));

        Deviation d;
        size_t nonZeroFourth = 0;
        for (int y = 0; y < dstHeight; ++y) {
            for (int x = 0; x < dstWidth; ++x) {
                for (int channel = 0; channel < 3; ++channel) {
                    const double expected = StoreTexel(model.at(channel, x, y), format.store);
                    const double deviation = std::fabs(gpu.image.at(channel, x, y) - expected);
                    if (deviation > d.max) {
                        d.max = deviation;
                        d.worstX = x, d.worstY = y, d.worstChannel = channel;
                    }
                    d.sum += deviation;
                    d.exact += deviation == 0;
                    ++d.count;
                }
                nonZeroFourth += gpu.fourth[static_cast<size_t>(y) * dstWidth + x] != 0;
            }
        }
        const double mean = d.sum / static_cast<double>(d.count);
        const double exactShare = static_cast<double>(d.exact) / static_cast<double>(d.count);
        std::printf("[ measured ] %s %s: max %g, mean %.4f, exact %.2f%%\n", c.name, format.name, d.max, mean,
                    100 * exactShare);

        EXPECT_LE(d.max, tolerance.maxDeviation)
            << "worst at (" << d.worstX << ", " << d.worstY << ") channel " << d.worstChannel + 1 << ": device "
            << gpu.image.at(d.worstChannel, d.worstX, d.worstY) << ", model "
            << model.at(d.worstChannel, d.worstX, d.worstY);
        EXPECT_LE(mean, tolerance.meanDeviation);
        EXPECT_GE(exactShare, tolerance.exactShare);
        EXPECT_EQ(nonZeroFourth, 0u) << "channel 4 must be 0 in every output texel";

        if (c.withinNeighbours) {
            // Radius 1 has no negative lobe: every output lies within the
            // values of the taps that weigh in.
            const int axis = horizontal ? 0 : 1;
            const int n = horizontal ? srcWidth : srcHeight;
            size_t outside = 0;
            for (int y = 0; y < dstHeight; ++y) {
                for (int x = 0; x < dstWidth; ++x) {
                    const Interpolants at = QuadInterpolants(x, y, srcWidth, srcHeight, dstWidth, dstHeight);
                    const float position = horizontal ? at.s : at.t;
                    const SampleTaps taps =
                        reduce ? ReduceTaps(table, position, n, parameters.pitch[axis], parameters.ratio[axis],
                                            parameters.rep[axis])
                               : EnlargeTaps(table, position, n, parameters.pitch[axis], parameters.radius);
                    for (int channel = 0; channel < 3; ++channel) {
                        double lo = 1e9, hi = -1e9;
                        for (const Tap& tap : taps.taps) {
                            if (tap.weight <= 0)
                                continue;
                            const double v = horizontal ? input.at(channel, tap.pixel, y) : input.at(channel, x, tap.pixel);
                            lo = std::min(lo, v);
                            hi = std::max(hi, v);
                        }
                        const double v = gpu.image.at(channel, x, y);
                        outside += v < lo || v > hi;
                    }
                }
            }
            EXPECT_EQ(outside, 0u) << "outputs beyond the values of their taps";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Passes, EffectDraw, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DrawCase>& param) { return std::string(param.param.name); });

}  // namespace
