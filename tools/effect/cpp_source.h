// Writes a byte array as a C++ source file: the array and its exact length,
// both with external linkage, declared by the given header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string EmitCppArray(const std::vector<uint8_t>& bytes, const std::string& symbol, const std::string& header,
                         const std::string& origin);
