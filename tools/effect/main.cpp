// tobrel-fxc: compiles an effect source (parameters, samplers, techniques and
// passes whose pixel shaders are written in ps_3_0 assembly) into the fx_2_0
// effect binary, and writes it as a C++ source file with a byte array.
#include "cpp_source.h"
#include "effect_compiler.h"
#include "shader_disassembler.h"
#include "source_error.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

const char kUsage[] =
    "usage: tobrel-fxc INPUT.fx -o OUTPUT.cpp [--symbol NAME] [--header FILE]\n"
    "                  [--binary FILE.fxo] [--listing]\n"
    "  -o FILE        C++ source with the effect as a byte array and its length\n"
    "  --symbol NAME  name of the array (default kEffect); its length is NAMESize\n"
    "  --header FILE  header that the C++ source includes (default effect.h)\n"
    "  --binary FILE  also write the raw effect binary\n"
    "  --listing      print the disassembly of every pass's shader\n";

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadFile(const std::string& path, std::string* text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return static_cast<bool>(in) || in.eof();
}

// Writes through a temporary file, so that a failed run leaves no partial output.
bool WriteFile(const std::string& path, const std::string& data)
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out)
            return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string input, output, binary;
    std::string symbol = "kEffect", header = "effect.h";
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* target) {
            if (i + 1 >= argc) {
                std::cerr << "tobrel-fxc: " << arg << " needs a value\n" << kUsage;
                return false;
            }
            *target = argv[++i];
            return true;
        };
        if (arg == "-o") {
            if (!value(&output))
                return 2;
        } else if (arg == "--symbol") {
            if (!value(&symbol))
                return 2;
        } else if (arg == "--header") {
            if (!value(&header))
                return 2;
        } else if (arg == "--binary") {
            if (!value(&binary))
                return 2;
        } else if (arg == "--listing") {
            listing = true;
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "tobrel-fxc: unknown option " << arg << "\n" << kUsage;
            return 2;
        } else if (input.empty()) {
            input = arg;
        } else {
            std::cerr << "tobrel-fxc: more than one input file\n" << kUsage;
            return 2;
        }
    }
    if (input.empty() || (output.empty() && binary.empty() && !listing)) {
        std::cerr << kUsage;
        return 2;
    }

    std::string source;
    if (!ReadFile(input, &source)) {
        std::cerr << input << ": error: cannot read the file\n";
        return 1;
    }

    CompiledEffect effect;
    try {
        effect = CompileEffect(source);
    } catch (const SourceError& e) {
        std::cerr << input << ":" << e.line << ": error: " << e.what() << "\n";
        return 1;
    }

    for (const PassReport& p : effect.passes) {
        std::cout << p.technique << "." << p.pass << ": " << p.stats.instructions << " instructions ("
                  << p.stats.slots << " slots, " << p.stats.textureInstructions << " texture)";
        for (int body : p.stats.loopBodySlots)
            std::cout << ", loop body " << body << " slots";
        std::cout << ", " << p.shaderBytes << " bytes\n";
    }
    std::cout << "effect: " << effect.binary.size() << " bytes\n";

    if (listing) {
        for (const FxTechnique& t : effect.effect.techniques) {
            for (const FxPass& pass : t.passes) {
                for (const FxState& s : pass.states) {
                    if (s.code.empty())
                        continue;
                    std::vector<uint32_t> tokens;
                    std::string text, error;
                    BytesToTokens(s.code, &tokens);
                    if (!DisassembleShader(tokens, &text, &error)) {
                        std::cerr << "tobrel-fxc: cannot disassemble " << pass.name << ": " << error << "\n";
                        return 1;
                    }
                    std::cout << "\n// " << t.name << "." << pass.name << "\n" << text;
                }
            }
        }
    }

    if (!binary.empty() &&
        !WriteFile(binary, std::string(effect.binary.begin(), effect.binary.end()))) {
        std::cerr << binary << ": error: cannot write the file\n";
        return 1;
    }
    if (!output.empty() && !WriteFile(output, EmitCppArray(effect.binary, symbol, header, BaseName(input)))) {
        std::cerr << output << ": error: cannot write the file\n";
        return 1;
    }
    return 0;
}
