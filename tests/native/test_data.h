// Test data files (tests/native/data) and the hex format they use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The contents of a file in the test data directory; fails the test when
// the file cannot be read.
std::string ReadDataFile(const std::string& name);

// The effect source of the plug-in.
std::string ReadEffectSource();

// Hex data: 32-bit words written as eight hex digits (or 0x...), strings
// in double quotes (\0 for a NUL) taken byte by byte, # comments. "@XXX" is
// a check that the data so far reaches hex offset XXX counted from byte
// `origin` of the data. Returns false with a message on a format error or a
// failed offset check.
bool ParseHexData(const std::string& text, size_t origin, std::vector<uint8_t>* bytes, std::string* error);

std::vector<uint32_t> ToWords(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ToBytes(const std::vector<uint32_t>& words);
