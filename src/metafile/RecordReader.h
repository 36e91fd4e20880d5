// Checked little-endian reads inside one metafile record. Every value a record claims to hold is
// read through TRecord, so a count or offset that reaches past the record's own size raises
// EMalformedRecord instead of reading outside it; the players skip such a record.
#pragma once

#include "platform/Exception.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

class EMalformedRecord : public Exception {
public:
    EMalformedRecord() : Exception("Malformed metafile record") {}
};

class TRecord {
public:
    TRecord(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Size() const { return size_; }
    const std::uint8_t* Data() const { return data_; }
    // True when count bytes from offset lie inside the record (no overflow for any values).
    bool Has(std::uint64_t offset, std::uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
    void Require(std::uint64_t offset, std::uint64_t count) const {
        if (!Has(offset, count)) throw EMalformedRecord();
    }
    const std::uint8_t* Bytes(std::uint64_t offset, std::uint64_t count) const {
        Require(offset, count);
        return data_ + offset;
    }
    std::uint8_t U8(std::uint64_t offset) const { return *Bytes(offset, 1); }
    std::uint16_t U16(std::uint64_t offset) const {
        const std::uint8_t* p = Bytes(offset, 2);
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    std::int16_t S16(std::uint64_t offset) const { return static_cast<std::int16_t>(U16(offset)); }
    std::uint32_t U32(std::uint64_t offset) const {
        const std::uint8_t* p = Bytes(offset, 4);
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    std::int32_t S32(std::uint64_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    float F32(std::uint64_t offset) const {
        std::uint32_t bits = U32(offset);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};
