#pragma once
#include "coding.h"

namespace perlane::reader {

// A CRC-32 element's value (4 body bytes, little-endian). Stored, never verified.
struct Crc32 {
    std::uint32_t value = 0;
    bool operator==(const Crc32 &) const = default;

    // Decodes a whole CRC-32 element (header and body); the caller has seen 0xBF 0x84.
    static Result<Crc32> decode(Cursor &cursor);
};

} // namespace perlane::reader
