#include "constant_table.h"

#include "byte_buffer.h"
#include "shader_tables.h"

#include <algorithm>

namespace {

constexpr uint32_t kHeaderSize = 28;
constexpr uint32_t kConstantInfoSize = 20;
// Compilers fill the gap between a name and the next record with this byte.
constexpr uint8_t kFiller = 0xAB;

void PutString(ByteBuffer& out, const std::string& s)
{
    out.putBytes(s.c_str(), s.size() + 1);
}

bool ReadString(const std::vector<uint8_t>& data, uint32_t offset, std::string* s)
{
    if (offset >= data.size())
        return false;
    const auto begin = data.begin() + offset;
    const auto nul = std::find(begin, data.end(), uint8_t(0));
    if (nul == data.end())
        return false;
    s->assign(begin, nul);
    return true;
}

}  // namespace

std::vector<uint32_t> WriteConstantTable(const ConstantTable& table)
{
    std::vector<ConstantInfo> constants = table.constants;
    std::sort(constants.begin(), constants.end(),
              [](const ConstantInfo& a, const ConstantInfo& b) { return a.name < b.name; });

    // Offsets are relative to the header, the first byte after 'CTAB'.
    ByteBuffer out;
    out.putU32(kHeaderSize);
    const size_t creatorAt = out.putU32(0);
    out.putU32(table.version);
    out.putU32(static_cast<uint32_t>(constants.size()));
    out.putU32(kHeaderSize);
    out.putU32(0);  // flags
    const size_t targetAt = out.putU32(0);

    std::vector<size_t> records;
    for (const ConstantInfo& c : constants) {
        records.push_back(out.putU32(0));  // name, patched below
        out.putU16(static_cast<uint16_t>(c.registerSet));
        out.putU16(c.registerIndex);
        out.putU16(c.registerCount);
        out.putU16(0);
        out.putU32(0);  // type info, patched below
        out.putU32(0);  // no default value
    }
    for (size_t i = 0; i < constants.size(); ++i) {
        const ConstantInfo& c = constants[i];
        out.setU32(records[i], static_cast<uint32_t>(out.size()));
        PutString(out, c.name);
        out.align4(kFiller);
        out.setU32(records[i] + 12, static_cast<uint32_t>(out.size()));
        out.putU16(c.typeClass);
        out.putU16(c.type);
        out.putU16(c.rows);
        out.putU16(c.columns);
        out.putU16(c.elements);
        out.putU16(0);  // struct members
        out.putU32(0);  // struct member info
    }
    out.setU32(targetAt, static_cast<uint32_t>(out.size()));
    PutString(out, table.target);
    out.setU32(creatorAt, static_cast<uint32_t>(out.size()));
    PutString(out, table.creator);
    out.align4(0);

    const std::vector<uint8_t>& bytes = out.bytes();
    const uint32_t dwords = static_cast<uint32_t>(bytes.size() / 4);
    std::vector<uint32_t> tokens;
    tokens.push_back((1 + dwords) << 16 | kCommentOpcode);
    tokens.push_back(kCtabFourCC);
    for (uint32_t i = 0; i < dwords; ++i) {
        uint32_t w = 0;
        ReadU32(bytes, i * 4, &w);
        tokens.push_back(w);
    }
    return tokens;
}

bool ReadConstantTable(const std::vector<uint32_t>& shader, ConstantTable* table, std::string* error)
{
    // Walk the instruction stream; comments can stand anywhere before the end.
    size_t i = 1;
    while (i < shader.size() && shader[i] != kEndToken) {
        const uint32_t token = shader[i];
        if ((token & 0xFFFF) == kCommentOpcode) {
            const uint32_t length = (token >> 16) & 0x7FFF;
            if (i + 1 + length > shader.size()) {
                *error = "comment runs past the end of the shader";
                return false;
            }
            if (length >= 1 && shader[i + 1] == kCtabFourCC) {
                std::vector<uint8_t> data;
                for (uint32_t k = 2; k <= length; ++k)
                    for (int b = 0; b < 4; ++b)
                        data.push_back(uint8_t(shader[i + k] >> (8 * b)));
                uint32_t size = 0, creator = 0, count = 0, infoAt = 0, target = 0;
                if (!ReadU32(data, 0, &size) || size != kHeaderSize) {
                    *error = "CTAB header size is not 28";
                    return false;
                }
                ReadU32(data, 4, &creator);
                ReadU32(data, 8, &table->version);
                ReadU32(data, 12, &count);
                ReadU32(data, 16, &infoAt);
                if (!ReadU32(data, 24, &target) || !ReadString(data, target, &table->target) ||
                    (creator && !ReadString(data, creator, &table->creator))) {
                    *error = "CTAB strings out of range";
                    return false;
                }
                table->constants.clear();
                for (uint32_t n = 0; n < count; ++n) {
                    const uint32_t at = infoAt + n * kConstantInfoSize;
                    ConstantInfo c;
                    uint32_t name = 0, typeAt = 0;
                    uint16_t set = 0;
                    if (!ReadU32(data, at, &name) || !ReadU16(data, at + 4, &set) ||
                        !ReadU16(data, at + 6, &c.registerIndex) || !ReadU16(data, at + 8, &c.registerCount) ||
                        !ReadU32(data, at + 12, &typeAt) || !ReadString(data, name, &c.name) ||
                        !ReadU16(data, typeAt, &c.typeClass) || !ReadU16(data, typeAt + 2, &c.type) ||
                        !ReadU16(data, typeAt + 4, &c.rows) || !ReadU16(data, typeAt + 6, &c.columns) ||
                        !ReadU16(data, typeAt + 8, &c.elements)) {
                        *error = "CTAB constant " + std::to_string(n) + " out of range";
                        return false;
                    }
                    c.registerSet = static_cast<RegisterSet>(set);
                    table->constants.push_back(c);
                }
                return true;
            }
            i += 1 + length;
            continue;
        }
        // An instruction: skip its operand tokens.
        i += 1 + ((token >> 24) & 0xF);
    }
    *error = "shader has no CTAB comment";
    return false;
}
