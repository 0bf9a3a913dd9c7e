#include "byte_buffer.h"

#include <cstring>
#include <limits>

size_t ByteBuffer::putU32(uint32_t value)
{
    const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return putBytes(b, 4);
}

size_t ByteBuffer::putU16(uint16_t value)
{
    const uint8_t b[2] = {uint8_t(value), uint8_t(value >> 8)};
    return putBytes(b, 2);
}

size_t ByteBuffer::putBytes(const void* data, size_t count)
{
    const size_t at = bytes_.size();
    if (!ok())
        return at;
    if (count > std::numeric_limits<uint32_t>::max() - at) {
        fail("output larger than 4 GiB");
        return at;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + count);
    return at;
}

size_t ByteBuffer::align4(uint8_t filler)
{
    const size_t at = bytes_.size();
    while (ok() && bytes_.size() % 4 != 0)
        bytes_.push_back(filler);
    return at;
}

void ByteBuffer::setU32(size_t offset, uint32_t value)
{
    if (!ok())
        return;
    if (offset > bytes_.size() || bytes_.size() - offset < 4) {
        fail("patch outside the written data");
        return;
    }
    for (int i = 0; i < 4; ++i)
        bytes_[offset + i] = uint8_t(value >> (8 * i));
}

void ByteBuffer::setU16(size_t offset, uint16_t value)
{
    if (!ok())
        return;
    if (offset > bytes_.size() || bytes_.size() - offset < 2) {
        fail("patch outside the written data");
        return;
    }
    bytes_[offset] = uint8_t(value);
    bytes_[offset + 1] = uint8_t(value >> 8);
}

void ByteBuffer::fail(const std::string& message)
{
    if (ok())
        error_ = message;
}

bool ReadU32(const std::vector<uint8_t>& data, size_t offset, uint32_t* value)
{
    if (offset > data.size() || data.size() - offset < 4)
        return false;
    *value = uint32_t(data[offset]) | uint32_t(data[offset + 1]) << 8 | uint32_t(data[offset + 2]) << 16 |
             uint32_t(data[offset + 3]) << 24;
    return true;
}

bool ReadU16(const std::vector<uint8_t>& data, size_t offset, uint16_t* value)
{
    if (offset > data.size() || data.size() - offset < 2)
        return false;
    *value = uint16_t(data[offset] | data[offset + 1] << 8);
    return true;
}
