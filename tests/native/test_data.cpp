#include "test_data.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::string ReadDataFile(const std::string& name)
{
    return ReadFile(std::string(TOBREL_TEST_DATA_DIR) + "/" + name);
}

std::string ReadEffectSource()
{
    return ReadFile(TOBREL_EFFECT_SOURCE);
}

bool ParseHexData(const std::string& text, size_t origin, std::vector<uint8_t>* bytes, std::string* error)
{
    bytes->clear();
    int line = 1;
    size_t i = 0;
    auto fail = [&](const std::string& message) {
        *error = "line " + std::to_string(line) + ": " + message;
        return false;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '#') {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\') {
                    if (i + 1 >= text.size() || text[i + 1] != '0')
                        return fail("only \\0 is a known escape");
                    bytes->push_back(0);
                    ++i;
                } else {
                    bytes->push_back(static_cast<uint8_t>(text[i]));
                }
            }
            if (i >= text.size())
                return fail("string not closed");
            ++i;
        } else {
            size_t end = i;
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != '#')
                ++end;
            std::string word = text.substr(i, end - i);
            i = end;
            const bool label = word[0] == '@';
            if (label)
                word = word.substr(1);
            const bool prefixed = !label && word.compare(0, 2, "0x") == 0;
            if (prefixed)
                word = word.substr(2);
            // Words without 0x are written in full, as the documents print them.
            if (word.empty() || word.size() > 8 || (!label && !prefixed && word.size() != 8))
                return fail("bad token '" + word + "'");
            char* stop = nullptr;
            const unsigned long value = std::strtoul(word.c_str(), &stop, 16);
            if (*stop)
                return fail("bad hex '" + word + "'");
            if (label) {
                if (bytes->size() != origin + value)
                    return fail("data reaches offset " + std::to_string(bytes->size() - origin) + ", label says " +
                                std::to_string(value));
                continue;
            }
            for (int b = 0; b < 4; ++b)
                bytes->push_back(static_cast<uint8_t>(value >> (8 * b)));
        }
    }
    return true;
}

std::vector<uint32_t> ToWords(const std::vector<uint8_t>& bytes)
{
    std::vector<uint32_t> words(bytes.size() / 4);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = uint32_t(bytes[4 * i]) | uint32_t(bytes[4 * i + 1]) << 8 | uint32_t(bytes[4 * i + 2]) << 16 |
                   uint32_t(bytes[4 * i + 3]) << 24;
    return words;
}

std::vector<uint8_t> ToBytes(const std::vector<uint32_t>& words)
{
    std::vector<uint8_t> bytes;
    for (uint32_t w : words)
        for (int b = 0; b < 4; ++b)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * b)));
    return bytes;
}
