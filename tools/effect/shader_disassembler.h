// Turns ps_3_0 bytecode back into assembly that AssembleShader accepts, one
// instruction per line. Comment blocks (the CTAB) become // lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// tokens: a complete shader, version token first. Returns false with a
// message when the stream cannot be decoded.
bool DisassembleShader(const std::vector<uint32_t>& tokens, std::string* text, std::string* error);

// Bytes to little-endian words; false when the size is not a multiple of 4.
bool BytesToTokens(const std::vector<uint8_t>& bytes, std::vector<uint32_t>* tokens);
