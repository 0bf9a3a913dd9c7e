#include "effect_compiler.h"
#include "shader_assembler.h"
#include "shader_disassembler.h"
#include "source_error.h"
#include "test_data.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct EncodingLine {
    std::string assembly;
    std::vector<uint32_t> words;  // empty: context only
    int line;
};

std::string Collapse(const std::string& s)
{
    std::istringstream in(s);
    std::string word, out;
    while (in >> word)
        out += (out.empty() ? "" : " ") + word;
    return out;
}

// The program of instruction_encodings.txt and the words expected per line.
std::vector<EncodingLine> ReadEncodings(std::string* program)
{
    std::vector<EncodingLine> lines;
    std::istringstream in(ReadDataFile("instruction_encodings.txt"));
    std::string text;
    int n = 0;
    while (std::getline(in, text)) {
        ++n;
        if (text.empty() || text[0] == '#')
            continue;
        EncodingLine line;
        line.line = n;
        const size_t arrow = text.find("=>");
        line.assembly = Collapse(text.substr(0, arrow));
        if (arrow != std::string::npos) {
            std::istringstream words(text.substr(arrow + 2));
            std::string w;
            while (words >> w)
                line.words.push_back(static_cast<uint32_t>(std::stoul(w, nullptr, 16)));
        }
        *program += line.assembly + "\n";
        if (line.assembly != "ps_3_0")
            lines.push_back(line);
    }
    return lines;
}

// Splits a token stream into instructions by their length fields.
std::vector<std::vector<uint32_t>> SplitInstructions(const std::vector<uint32_t>& body)
{
    std::vector<std::vector<uint32_t>> out;
    for (size_t i = 0; i < body.size();) {
        const size_t n = 1 + ((body[i] >> 24) & 0xF);
        out.emplace_back(body.begin() + i, body.begin() + std::min(body.size(), i + n));
        i += n;
    }
    return out;
}

TEST(ShaderAssembler, EncodesInstructionsAsTheReferenceAssembler)
{
    std::string program;
    const std::vector<EncodingLine> lines = ReadEncodings(&program);
    const AssembledShader shader = AssembleShader(program, 1);
    EXPECT_EQ(shader.version, 0xFFFF0300u);
    const auto instructions = SplitInstructions(shader.body);
    ASSERT_EQ(instructions.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].words.empty())
            continue;
        SCOPED_TRACE(testing::Message() << "line " << lines[i].line << ": " << lines[i].assembly);
        EXPECT_EQ(instructions[i], lines[i].words);
    }
}

TEST(ShaderDisassembler, ReadsBackTheAssembledText)
{
    std::string program;
    const std::vector<EncodingLine> lines = ReadEncodings(&program);
    const AssembledShader shader = AssembleShader(program, 1);
    std::string text, error;
    ASSERT_TRUE(DisassembleShader(LinkShader(shader.version, {}, shader.body), &text, &error)) << error;
    std::istringstream in(text);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, "ps_3_0");
    for (const EncodingLine& expected : lines) {
        ASSERT_TRUE(std::getline(in, line)) << "missing " << expected.assembly;
        EXPECT_EQ(Collapse(line), expected.assembly);
    }
    EXPECT_FALSE(std::getline(in, line)) << "extra line " << line;
}

TEST(ShaderAssembler, BuildsTheVerifiedTestShaderWithItsConstantTable)
{
    std::vector<uint8_t> expected;
    std::string error;
    ASSERT_TRUE(ParseHexData(ReadDataFile("reference_pass.hex"), 0, &expected, &error)) << error;
    ASSERT_EQ(expected.size(), 480u);
    const CompiledEffect effect = CompileEffect(ReadDataFile("reference_pass.fx"), "own assembler 0.1");
    const std::vector<uint8_t>& code = effect.effect.techniques.at(0).passes.at(0).states.at(0).code;
    EXPECT_EQ(ToWords(code), ToWords(expected));
}

TEST(ShaderAssembler, CountsSlotsAndLoopBodies)
{
    // Slots per instruction: rep 3, endrep 2, dp2add 2, the rest 1;
    // declarations and definitions none.
    const AssembledShader shader = AssembleShader("ps_3_0\n"
                                                  "dcl_2d s0\n"
                                                  "def c0, 1.0, 2.0, 3.0, 4.0\n"
                                                  "mov r0, c0\n"
                                                  "rep i0\n"
                                                  "  add r0, r0, c0\n"
                                                  "  rep i1\n"
                                                  "    texld r1, r0, s0\n"
                                                  "    dp2add r0, r1, c0, r0.x\n"
                                                  "  endrep\n"
                                                  "endrep\n"
                                                  "mov oC0, r0\n",
                                                  1);
    EXPECT_EQ(shader.stats.instructions, 9);
    EXPECT_EQ(shader.stats.slots, 16);
    EXPECT_EQ(shader.stats.textureInstructions, 1);
    EXPECT_EQ(shader.stats.loopBodySlots, (std::vector<int>{9, 3}));
}

}  // namespace
