// Faulty effect sources: each must stop the build with the line at fault.
#include "effect_compiler.h"
#include "source_error.h"
#include "test_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct BadEffect {
    std::string name;
    int line = 0;
    std::string message;
    std::string source;
};

std::vector<BadEffect> ReadBadEffects()
{
    std::vector<BadEffect> cases;
    std::istringstream in(ReadDataFile("bad_effects.txt"));
    std::string text;
    while (std::getline(in, text)) {
        if (text.compare(0, 4, "=== ") == 0) {
            cases.push_back({text.substr(4), 0, "", ""});
        } else if (!cases.empty() && cases.back().line == 0 && !text.empty() && text[0] == '@') {
            const size_t space = text.find(' ');
            cases.back().line = std::stoi(text.substr(1, space - 1));
            cases.back().message = text.substr(space + 1);
        } else if (!cases.empty() && cases.back().line != 0) {
            cases.back().source += text + "\n";
        }
    }
    return cases;
}

TEST(EffectErrors, NameTheLineAndTheFault)
{
    const std::vector<BadEffect> cases = ReadBadEffects();
    ASSERT_FALSE(cases.empty());
    for (const BadEffect& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            CompileEffect(c.source);
            ADD_FAILURE() << "compiled without an error";
        } catch (const SourceError& e) {
            EXPECT_EQ(e.line, c.line) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << "message: " << e.what() << "\nexpected to contain: " << c.message;
        }
    }
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the tool; returns its exit status and what it printed.
int RunTool(const std::string& arguments, std::string* out, std::string* err)
{
    const std::string dir = testing::TempDir();
    const std::string outFile = dir + "tobrel-fxc.out", errFile = dir + "tobrel-fxc.err";
    const std::string command =
        std::string("\"") + TOBREL_FXC + "\" " + arguments + " >\"" + outFile + "\" 2>\"" + errFile + "\"";
    const int status = std::system(command.c_str());
    *out = ReadText(outFile);
    *err = ReadText(errFile);
    return status;
}

TEST(EffectTool, FailsWithFileAndLineOnABadSource)
{
    const BadEffect bad = ReadBadEffects().at(0);
    const std::string input = testing::TempDir() + "bad.fx", output = testing::TempDir() + "bad.cpp";
    std::ofstream(input) << bad.source;
    std::remove(output.c_str());
    std::string out, err;
    EXPECT_NE(RunTool("\"" + input + "\" -o \"" + output + "\"", &out, &err), 0);
    EXPECT_NE(err.find(input + ":" + std::to_string(bad.line) + ": error: "), std::string::npos) << err;
    EXPECT_FALSE(std::ifstream(output).good()) << "output written despite the error";
}

TEST(EffectTool, WritesTheEffectAsAnArrayWithItsLength)
{
    const std::string output = testing::TempDir() + "lanczos_effect.cpp";
    const std::string binaryFile = testing::TempDir() + "lanczos.fxo";
    std::string out, err;
    ASSERT_EQ(RunTool(std::string("\"") + TOBREL_EFFECT_SOURCE + "\" -o \"" + output + "\" --binary \"" +
                          binaryFile + "\" --symbol kLanczosEffect --header lanczos_effect.h",
                      &out, &err),
              0)
        << err;
    const std::string binary = ReadText(binaryFile);
    const CompiledEffect compiled = CompileEffect(ReadEffectSource());
    EXPECT_EQ(std::vector<uint8_t>(binary.begin(), binary.end()), compiled.binary);

    const std::string cpp = ReadText(output);
    EXPECT_NE(cpp.find("#include \"lanczos_effect.h\""), std::string::npos);
    EXPECT_NE(cpp.find("extern const unsigned char kLanczosEffect[] = {\n    0x01, 0x09, 0xFF, 0xFE,"),
              std::string::npos);
    EXPECT_NE(cpp.find("extern const unsigned kLanczosEffectSize = " + std::to_string(binary.size()) + ";"),
              std::string::npos);
    // One report line per pass, with its loop body.
    for (const char* pass : {"LanczosResize.p0: ", "LanczosResize.p1: ", "LanczosResize.p2: ", "LanczosResize.p3: "})
        EXPECT_NE(out.find(pass), std::string::npos) << out;
    EXPECT_NE(out.find("loop body"), std::string::npos) << out;
}

}  // namespace
