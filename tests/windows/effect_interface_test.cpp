// The embedded effect as D3DX sees it on a real device: its parameters, the
// technique and its passes, and the device state each pass sets.
#include "d3d_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Objects have no rows or columns.
struct ParameterRow {
    const char* name;
    D3DXPARAMETER_CLASS parameterClass;
    D3DXPARAMETER_TYPE type;
    UINT rows;
    UINT columns;
    UINT elements;
    UINT bytes;  // a texture holds a 32-bit pointer; a sampler holds nothing
};

// In declaration order.
const ParameterRow kParameters[] = {
    {"txWgt", D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 0, 0, 0, 4},
    {"samWgt", D3DXPC_OBJECT, D3DXPT_SAMPLER, 0, 0, 0, 0},
    {"txSrc", D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 0, 0, 0, 4},
    {"samSrc", D3DXPC_OBJECT, D3DXPT_SAMPLER, 0, 0, 0, 0},
    {"iRadius", D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 0, 4},
    {"iRep", D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 2, 8},
    {"fRszSrc", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 2, 0, 8},
    {"fMinRt", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 2, 0, 8},
};

// The plug-in looks these up by name; the samplers it never addresses.
const char* const kLookedUp[] = {"iRadius", "iRep", "fRszSrc", "fMinRt", "txWgt", "txSrc"};

struct StateRow {
    DWORD stage;
    D3DSAMPLERSTATETYPE state;
    DWORD value;     // while a pass is begun
    DWORD contrary;  // set before Begin, so that a pass that leaves the state alone is seen
};

const StateRow kSamplerStates[] = {
    {0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP, D3DTADDRESS_WRAP},
    {0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP, D3DTADDRESS_WRAP},
    {0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR, D3DTEXF_POINT},
    {0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR, D3DTEXF_POINT},
    {0, D3DSAMP_MIPFILTER, D3DTEXF_NONE, D3DTEXF_POINT},
    {1, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP},
    {1, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP},
    {1, D3DSAMP_MINFILTER, D3DTEXF_POINT, D3DTEXF_LINEAR},
    {1, D3DSAMP_MAGFILTER, D3DTEXF_POINT, D3DTEXF_LINEAR},
    {1, D3DSAMP_MIPFILTER, D3DTEXF_NONE, D3DTEXF_LINEAR},
};

void SetContraryStates(IDirect3DDevice9* device)
{
    for (const StateRow& row : kSamplerStates)
        ASSERT_EQ(device->SetSamplerState(row.stage, row.state, row.contrary), D3D_OK);
    ASSERT_EQ(device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE), D3D_OK);
}

// Checks every state of the table against `value` or `contrary`.
void ExpectSamplerStates(IDirect3DDevice9* device, bool inPass, const std::string& where)
{
    for (const StateRow& row : kSamplerStates) {
        DWORD value = 0xdeadbeef;
        ASSERT_EQ(device->GetSamplerState(row.stage, row.state, &value), D3D_OK);
        EXPECT_EQ(value, inPass ? row.value : row.contrary)
            << where << ": stage " << row.stage << ", sampler state " << row.state;
    }
    DWORD z = 0xdeadbeef;
    ASSERT_EQ(device->GetRenderState(D3DRS_ZENABLE, &z), D3D_OK);
    EXPECT_EQ(z, inPass ? static_cast<DWORD>(D3DZB_FALSE) : static_cast<DWORD>(D3DZB_TRUE)) << where << ": ZENABLE";
}

using EffectInterface = D3dEffectTest;

TEST_F(EffectInterface, DeclaresItsParametersInOrderWithTheirTypes)
{
    D3DXEFFECT_DESC desc = {};
    ASSERT_EQ(effect()->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Parameters, std::size(kParameters));
    EXPECT_EQ(desc.Techniques, 1u);

    for (size_t i = 0; i < std::size(kParameters); ++i) {
        const ParameterRow& row = kParameters[i];
        SCOPED_TRACE(row.name);
        const D3DXHANDLE byIndex = effect()->GetParameter(nullptr, static_cast<UINT>(i));
        const D3DXHANDLE byName = effect()->GetParameterByName(nullptr, row.name);
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byIndex, byName) << "declared at another position";
        D3DXPARAMETER_DESC p = {};
        ASSERT_EQ(effect()->GetParameterDesc(byName, &p), D3D_OK);
        ASSERT_NE(p.Name, nullptr);
        EXPECT_STREQ(p.Name, row.name);
        EXPECT_EQ(p.Semantic, nullptr);
        EXPECT_EQ(p.Class, row.parameterClass);
        EXPECT_EQ(p.Type, row.type);
        EXPECT_EQ(p.Rows, row.rows);
        EXPECT_EQ(p.Columns, row.columns);
        EXPECT_EQ(p.Elements, row.elements);
        EXPECT_EQ(p.Bytes, row.bytes);
        EXPECT_EQ(p.Annotations, 0u);
        EXPECT_EQ(p.StructMembers, 0u);
        EXPECT_EQ(p.Flags & D3DX_PARAMETER_SHARED, 0u);
    }
}

TEST_F(EffectInterface, FindsEveryLookedUpNameAndStartsAtZero)
{
    for (const char* name : kLookedUp)
        EXPECT_NE(effect()->GetParameterByName(nullptr, name), nullptr) << name;
    EXPECT_EQ(effect()->GetParameterByName(nullptr, "iradius"), nullptr) << "names are case-sensitive";

    INT radius = -1;
    ASSERT_EQ(effect()->GetInt(effect()->GetParameterByName(nullptr, "iRadius"), &radius), D3D_OK);
    EXPECT_EQ(radius, 0);
    INT rep[2] = {-1, -1};
    ASSERT_EQ(effect()->GetIntArray(effect()->GetParameterByName(nullptr, "iRep"), rep, 2), D3D_OK);
    EXPECT_EQ(rep[0], 0);
    EXPECT_EQ(rep[1], 0);
    for (const char* name : {"fRszSrc", "fMinRt"}) {
        D3DXVECTOR4 v(-1, -1, -1, -1);
        ASSERT_EQ(effect()->GetVector(effect()->GetParameterByName(nullptr, name), &v), D3D_OK) << name;
        EXPECT_EQ(v.x, 0.0f) << name;
        EXPECT_EQ(v.y, 0.0f) << name;
    }
}

TEST_F(EffectInterface, TakesWhatThePlugInSets)
{
    const D3DXHANDLE hRep = effect()->GetParameterByName(nullptr, "iRep");
    const D3DXHANDLE hRszSrc = effect()->GetParameterByName(nullptr, "fRszSrc");
    const INT rep[2] = {5, 255};
    ASSERT_EQ(effect()->SetIntArray(hRep, rep, 2), D3D_OK);
    INT back[2] = {};
    ASSERT_EQ(effect()->GetIntArray(hRep, back, 2), D3D_OK);
    EXPECT_EQ(back[0], 5);
    EXPECT_EQ(back[1], 255);
    ASSERT_EQ(effect()->SetInt(effect()->GetParameterByName(nullptr, "iRadius"), 15), D3D_OK);

    // A four-component vector into a float2 keeps the first two.
    const D3DXVECTOR4 pitch(1.0f / 1920, 1.0f / 1080, 0, 0);
    ASSERT_EQ(effect()->SetVector(hRszSrc, &pitch), D3D_OK);
    D3DXVECTOR4 got(-1, -1, -1, -1);
    ASSERT_EQ(effect()->GetVector(hRszSrc, &got), D3D_OK);
    EXPECT_EQ(got.x, pitch.x);
    EXPECT_EQ(got.y, pitch.y);
}

TEST_F(EffectInterface, TechniqueHasFourPassesNamedInIndexOrder)
{
    const D3DXHANDLE technique = effect()->GetTechniqueByName("LanczosResize");
    ASSERT_NE(technique, nullptr);
    EXPECT_EQ(effect()->GetTechnique(0), technique);
    D3DXTECHNIQUE_DESC desc = {};
    ASSERT_EQ(effect()->GetTechniqueDesc(technique, &desc), D3D_OK);
    EXPECT_STREQ(desc.Name, "LanczosResize");
    EXPECT_EQ(desc.Passes, 4u);
    EXPECT_EQ(desc.Annotations, 0u);
    EXPECT_EQ(effect()->ValidateTechnique(technique), D3D_OK);

    const char* const names[] = {"p0", "p1", "p2", "p3"};
    for (UINT i = 0; i < 4; ++i) {
        const D3DXHANDLE pass = effect()->GetPass(technique, i);
        ASSERT_NE(pass, nullptr) << i;
        D3DXPASS_DESC p = {};
        ASSERT_EQ(effect()->GetPassDesc(pass, &p), D3D_OK);
        EXPECT_STREQ(p.Name, names[i]);
        EXPECT_EQ(effect()->GetPassByName(technique, names[i]), pass);
    }
    EXPECT_EQ(effect()->GetPass(technique, 4), nullptr);

    ASSERT_EQ(effect()->SetTechnique(technique), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(effect()->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 4u);
    ASSERT_EQ(effect()->End(), D3D_OK);
}

// While each pass is begun the device holds the sampler table's states on
// stages 0 and 1, depth testing is off, no vertex shader is bound and a
// ps_3_0 shader is; the textures bound to txWgt and txSrc sit on stages 0
// and 1. End restores what was there before.
TEST_F(EffectInterface, EveryPassSetsItsStatesAndEndRestoresThem)
{
    ComRef<IDirect3DTexture9> weights, source;
    ASSERT_EQ(device()->CreateTexture(256, 16, 1, 0, D3DFMT_V16U16, D3DPOOL_DEFAULT, weights.out(), nullptr), D3D_OK);
    ASSERT_EQ(device()->CreateTexture(32, 32, 1, D3DUSAGE_DYNAMIC, D3DFMT_Q16W16V16U16, D3DPOOL_DEFAULT,
                                      source.out(), nullptr),
              D3D_OK);
    ASSERT_EQ(effect()->SetTexture(effect()->GetParameterByName(nullptr, "txWgt"), weights.get()), D3D_OK);
    ASSERT_EQ(effect()->SetTexture(effect()->GetParameterByName(nullptr, "txSrc"), source.get()), D3D_OK);
    ASSERT_EQ(effect()->SetTechnique(effect()->GetTechniqueByName("LanczosResize")), D3D_OK);

    ASSERT_NO_FATAL_FAILURE(SetContraryStates(device()));
    UINT passes = 0;
    ASSERT_EQ(effect()->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(passes, 4u);
    for (UINT pass = 0; pass < passes; ++pass) {
        const std::string where = "pass p" + std::to_string(pass);
        ASSERT_EQ(effect()->BeginPass(pass), D3D_OK) << where;
        ExpectSamplerStates(device(), true, where);

        ComRef<IDirect3DBaseTexture9> stage0, stage1;
        ASSERT_EQ(device()->GetTexture(0, stage0.out()), D3D_OK);
        ASSERT_EQ(device()->GetTexture(1, stage1.out()), D3D_OK);
        EXPECT_EQ(stage0.get(), static_cast<IDirect3DBaseTexture9*>(weights.get())) << where << ": samWgt on s0";
        EXPECT_EQ(stage1.get(), static_cast<IDirect3DBaseTexture9*>(source.get())) << where << ": samSrc on s1";

        ComRef<IDirect3DVertexShader9> vertexShader;
        ASSERT_EQ(device()->GetVertexShader(vertexShader.out()), D3D_OK);
        EXPECT_FALSE(vertexShader) << where;
        ComRef<IDirect3DPixelShader9> pixelShader;
        ASSERT_EQ(device()->GetPixelShader(pixelShader.out()), D3D_OK);
        ASSERT_TRUE(pixelShader) << where;
        UINT size = 0;
        ASSERT_EQ(pixelShader->GetFunction(nullptr, &size), D3D_OK);
        std::vector<DWORD> tokens(size / 4);
        ASSERT_GE(tokens.size(), 2u);
        ASSERT_EQ(pixelShader->GetFunction(tokens.data(), &size), D3D_OK);
        EXPECT_EQ(tokens.front(), D3DPS_VERSION(3, 0)) << where;
        EXPECT_EQ(tokens.back(), 0x0000FFFFu) << where << ": end token";

        ASSERT_EQ(effect()->EndPass(), D3D_OK) << where;
    }
    ASSERT_EQ(effect()->End(), D3D_OK);
    ExpectSamplerStates(device(), false, "after End");
    ComRef<IDirect3DPixelShader9> pixelShader;
    ASSERT_EQ(device()->GetPixelShader(pixelShader.out()), D3D_OK);
    EXPECT_FALSE(pixelShader) << "the pixel shader outlives End";

    ASSERT_EQ(device()->SetTexture(0, nullptr), D3D_OK);
    ASSERT_EQ(device()->SetTexture(1, nullptr), D3D_OK);
}

}  // namespace
