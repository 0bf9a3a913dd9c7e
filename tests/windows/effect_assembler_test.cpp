// A second opinion on the effect's shaders: the platform's own assembler
// (D3DAssemble of d3dcompiler_47 or _43, loaded at run time) assembles each
// pass's assembly text from the effect source, and its instruction tokens
// must equal those of the shader that D3DX hands to the device for that
// pass, which our effect compiler wrote. Comment blocks (the constant table)
// are left out, and declarations and definitions are compared as a set,
// since assemblers order them differently; executed instructions must
// match token for token, in order.
#include "d3d_fixture.h"

#include <d3dcommon.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// d3dcompiler.h of mingw-w64 does not declare it.
using AssembleFunction = HRESULT(WINAPI*)(const void* data, SIZE_T size, const char* fileName,
                                          const D3D_SHADER_MACRO* defines, ID3DInclude* include, UINT flags,
                                          ID3DBlob** shader, ID3DBlob** errors);

AssembleFunction LoadAssembler(std::string* name)
{
    for (const wchar_t* library : {L"d3dcompiler_47.dll", L"d3dcompiler_43.dll"}) {
        if (HMODULE module = LoadLibraryW(library)) {
            if (auto f = reinterpret_cast<AssembleFunction>(
                    reinterpret_cast<void*>(GetProcAddress(module, "D3DAssemble")))) {
                *name = library == std::wstring(L"d3dcompiler_47.dll") ? "d3dcompiler_47" : "d3dcompiler_43";
                return f;
            }
            FreeLibrary(module);
        }
    }
    return nullptr;
}

// The assembly of pass `pass` of the effect source: the text between the
// braces after "asm" inside "pass pN".
std::string PassAssembly(const std::string& source, int pass)
{
    const std::string header = "pass p" + std::to_string(pass);
    const size_t at = source.find(header);
    if (at == std::string::npos)
        return {};
    const size_t open = source.find('{', source.find("asm", at));
    const size_t close = source.find('}', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    return source.substr(open + 1, close - open - 1);
}

struct Instructions {
    DWORD version = 0;
    std::vector<std::vector<DWORD>> declarations;  // dcl, def, defi, defb, sorted
    std::vector<std::vector<DWORD>> executed;      // everything else, in order
    std::string error;
};

Instructions Split(const std::vector<DWORD>& tokens)
{
    Instructions out;
    if (tokens.empty()) {
        out.error = "no tokens";
        return out;
    }
    out.version = tokens[0];
    size_t i = 1;
    while (i < tokens.size()) {
        const DWORD token = tokens[i];
        if (token == 0x0000FFFF)
            break;  // end
        if ((token & 0xFFFF) == D3DSIO_COMMENT) {
            i += 1 + ((token >> 16) & 0x7FFF);
            continue;
        }
        // Shader model 2 and up: the instruction's length in bits 24..27.
        const size_t length = 1 + ((token >> 24) & 0x0F);
        if (i + length > tokens.size()) {
            out.error = "instruction runs past the end";
            return out;
        }
        std::vector<DWORD> instruction(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                                       tokens.begin() + static_cast<std::ptrdiff_t>(i + length));
        const DWORD opcode = token & 0xFFFF;
        const bool declaration =
            opcode == D3DSIO_DCL || opcode == D3DSIO_DEF || opcode == D3DSIO_DEFI || opcode == D3DSIO_DEFB;
        (declaration ? out.declarations : out.executed).push_back(std::move(instruction));
        i += length;
    }
    if (i >= tokens.size() || tokens[i] != 0x0000FFFF)
        out.error = "no end token";
    std::sort(out.declarations.begin(), out.declarations.end());
    return out;
}

std::string Hex(const std::vector<DWORD>& instruction)
{
    std::ostringstream s;
    s << std::hex;
    for (DWORD t : instruction)
        s << t << ' ';
    return s.str();
}

using PlatformAssembler = D3dEffectTest;

TEST_F(PlatformAssembler, AgreesWithEveryPassShader)
{
    std::string assemblerName;
    const AssembleFunction assemble = LoadAssembler(&assemblerName);
    ASSERT_NE(assemble, nullptr) << "no d3dcompiler_47 or _43 with D3DAssemble";

    // Copied beside the test program by the build.
    std::ifstream file("lanczos.fx", std::ios::binary);
    ASSERT_TRUE(file) << "lanczos.fx not found in the working directory";
    std::ostringstream text;
    text << file.rdbuf();
    const std::string source = text.str();

    ASSERT_EQ(effect()->SetTechnique(effect()->GetTechniqueByName("LanczosResize")), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(effect()->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(passes, 4u);
    for (UINT pass = 0; pass < passes; ++pass) {
        SCOPED_TRACE("pass p" + std::to_string(pass) + ", " + assemblerName);

        // The shader D3DX made from our binary.
        ASSERT_EQ(effect()->BeginPass(pass), D3D_OK);
        ComRef<IDirect3DPixelShader9> shader;
        ASSERT_EQ(device()->GetPixelShader(shader.out()), D3D_OK);
        ASSERT_EQ(effect()->EndPass(), D3D_OK);
        ASSERT_TRUE(shader);
        UINT size = 0;
        ASSERT_EQ(shader->GetFunction(nullptr, &size), D3D_OK);
        std::vector<DWORD> ours(size / 4);
        ASSERT_EQ(shader->GetFunction(ours.data(), &size), D3D_OK);

        // The platform's assembly of the same text.
        const std::string assembly = PassAssembly(source, static_cast<int>(pass));
        ASSERT_FALSE(assembly.empty()) << "no asm block for the pass in lanczos.fx";
        ComRef<ID3DBlob> blob, errors;
        const HRESULT hr =
            assemble(assembly.data(), assembly.size(), "lanczos.fx", nullptr, nullptr, 0, blob.out(), errors.out());
        ASSERT_EQ(hr, S_OK) << "D3DAssemble failed with " << HresultText(hr) << ": "
                            << (errors ? std::string(static_cast<const char*>(errors->GetBufferPointer()),
                                                     errors->GetBufferSize())
                                       : std::string());
        const auto* begin = static_cast<const DWORD*>(blob->GetBufferPointer());
        const std::vector<DWORD> theirs(begin, begin + blob->GetBufferSize() / 4);

        const Instructions a = Split(ours), b = Split(theirs);
        ASSERT_EQ(a.error, "") << "ours";
        ASSERT_EQ(b.error, "") << "platform's";
        EXPECT_EQ(a.version, b.version);
        EXPECT_EQ(a.declarations.size(), b.declarations.size());
        for (size_t i = 0; i < std::min(a.declarations.size(), b.declarations.size()); ++i)
            EXPECT_EQ(a.declarations[i], b.declarations[i])
                << "declaration " << i << ": ours " << Hex(a.declarations[i]) << "/ platform's "
                << Hex(b.declarations[i]);
        ASSERT_EQ(a.executed.size(), b.executed.size());
        for (size_t i = 0; i < a.executed.size(); ++i)
            EXPECT_EQ(a.executed[i], b.executed[i])
                << "instruction " << i << ": ours " << Hex(a.executed[i]) << "/ platform's " << Hex(b.executed[i]);
    }
    ASSERT_EQ(effect()->End(), D3D_OK);
}

}  // namespace
