// A growable little-endian output buffer. Every put returns the offset it
// wrote at, so that a placeholder can be patched once the value is known.
// The error is sticky: after the first failure every put is a no-op and the
// caller checks once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ByteBuffer {
public:
    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    size_t putU32(uint32_t value);
    size_t putU16(uint16_t value);
    size_t putBytes(const void* data, size_t count);
    // Pads with the given byte up to a multiple of four.
    size_t align4(uint8_t filler = 0);
    // Overwrites four bytes written earlier.
    void setU32(size_t offset, uint32_t value);
    void setU16(size_t offset, uint16_t value);

    void fail(const std::string& message);

private:
    std::vector<uint8_t> bytes_;
    std::string error_;
};

// Reads little-endian words; returns false when the range is outside the data.
bool ReadU32(const std::vector<uint8_t>& data, size_t offset, uint32_t* value);
bool ReadU16(const std::vector<uint8_t>& data, size_t offset, uint16_t* value);
