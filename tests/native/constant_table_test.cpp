#include "constant_table.h"
#include "d3dx_types.h"
#include "shader_assembler.h"
#include "test_data.h"

#include <gtest/gtest.h>

namespace {

ConstantInfo Constant(const char* name, RegisterSet set, int index, int count, int typeClass, int type, int columns,
                      int elements)
{
    ConstantInfo c;
    c.name = name;
    c.registerSet = set;
    c.registerIndex = static_cast<uint16_t>(index);
    c.registerCount = static_cast<uint16_t>(count);
    c.typeClass = static_cast<uint16_t>(typeClass);
    c.type = static_cast<uint16_t>(type);
    c.rows = 1;
    c.columns = static_cast<uint16_t>(columns);
    c.elements = static_cast<uint16_t>(elements);
    return c;
}

ConstantTable ReducePassTable()
{
    ConstantTable table;
    table.version = kPixelShader30;
    table.target = "ps_3_0";
    table.creator = "own assembler 0.1";
    // Out of name order: the writer sorts.
    table.constants = {
        Constant("samWgt", RegisterSet::Sampler, 0, 1, kClassObject, kTypeSampler2D, 1, 1),
        Constant("iRep", RegisterSet::Int4, 0, 2, kClassScalar, kTypeInt, 1, 2),
        Constant("fRszSrc", RegisterSet::Float4, 0, 1, kClassVector, kTypeFloat, 2, 1),
        Constant("samSrc", RegisterSet::Sampler, 1, 1, kClassObject, kTypeSampler2D, 1, 1),
        Constant("fMinRt", RegisterSet::Float4, 1, 1, kClassVector, kTypeFloat, 2, 1),
    };
    return table;
}

TEST(ConstantTable, WritesTheLayoutTheEffectFrameworkBindsThrough)
{
    std::vector<uint8_t> expected;
    std::string error;
    ASSERT_TRUE(ParseHexData(ReadDataFile("reduce_pass_ctab.hex"), 8, &expected, &error)) << error;
    EXPECT_EQ(WriteConstantTable(ReducePassTable()), ToWords(expected));
}

TEST(ConstantTable, ReadsBackWhatItWrites)
{
    const ConstantTable written = ReducePassTable();
    // A comment before the table and an instruction after it, as in a shader.
    std::vector<uint32_t> body = {0x0001FFFE, 0x12345678};
    const std::vector<uint32_t> ctab = WriteConstantTable(written);
    body.insert(body.end(), ctab.begin(), ctab.end());
    body.insert(body.end(), {0x02000001, 0x800F0800, 0xA0E40000});
    ConstantTable read;
    std::string error;
    ASSERT_TRUE(ReadConstantTable(LinkShader(kPixelShader30, {}, body), &read, &error)) << error;
    EXPECT_EQ(read.version, written.version);
    EXPECT_EQ(read.target, written.target);
    EXPECT_EQ(read.creator, written.creator);
    ASSERT_EQ(read.constants.size(), written.constants.size());
    const char* sorted[] = {"fMinRt", "fRszSrc", "iRep", "samSrc", "samWgt"};
    for (size_t i = 0; i < read.constants.size(); ++i) {
        const ConstantInfo& r = read.constants[i];
        EXPECT_EQ(r.name, sorted[i]);
        const auto w = std::find_if(written.constants.begin(), written.constants.end(),
                                    [&](const ConstantInfo& c) { return c.name == r.name; });
        ASSERT_NE(w, written.constants.end());
        EXPECT_EQ(r.registerSet, w->registerSet) << r.name;
        EXPECT_EQ(r.registerIndex, w->registerIndex) << r.name;
        EXPECT_EQ(r.registerCount, w->registerCount) << r.name;
        EXPECT_EQ(r.typeClass, w->typeClass) << r.name;
        EXPECT_EQ(r.type, w->type) << r.name;
        EXPECT_EQ(r.rows, w->rows) << r.name;
        EXPECT_EQ(r.columns, w->columns) << r.name;
        EXPECT_EQ(r.elements, w->elements) << r.name;
    }
}

TEST(ConstantTable, RejectsAShaderWithoutOne)
{
    ConstantTable table;
    std::string error;
    EXPECT_FALSE(ReadConstantTable(LinkShader(kPixelShader30, {}, {0x02000001, 0x800F0800, 0xA0E40000}), &table, &error));
    std::vector<uint32_t> bad = WriteConstantTable(ReducePassTable());
    bad[2] = 24;  // header size
    EXPECT_FALSE(ReadConstantTable(LinkShader(kPixelShader30, bad, {}), &table, &error));
}

}  // namespace
