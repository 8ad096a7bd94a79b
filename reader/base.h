#pragma once
#include <bit>
#include <cstdint>
#include <string>

namespace perlane::reader {

// One decoded EBML variable-size integer. `value` has the length marker removed and is
// below 2^56; `is_unknown` is set only for the one-byte form 0xFF (value 127).
struct VInt64 {
    std::uint64_t value = 0;
    bool is_unknown = false;

    // An element ID as written in files (marker included), e.g. 0x1A45DFA3.
    static constexpr VInt64 from_marked(std::uint64_t marked) {
        const int bytes = (std::bit_width(marked) + 7) / 8;
        return {marked & ~(std::uint64_t{1} << (7 * bytes)), false};
    }
    bool operator==(const VInt64 &) const = default;
};

// The usual Matroska form with the marker: "0x1A45DFA3", "0xBF", "0xFF" for unknown.
std::string to_string(VInt64 v);

// An element header: ID, then body size.
struct Header {
    VInt64 id;
    VInt64 size;
    bool operator==(const Header &) const = default;
};

// IDs the reader itself dispatches on.
namespace ids {
inline constexpr VInt64 ebml = VInt64::from_marked(0x1A45DFA3);
inline constexpr VInt64 segment = VInt64::from_marked(0x18538067);
inline constexpr VInt64 cluster = VInt64::from_marked(0x1F43B675);
inline constexpr VInt64 void_element = VInt64::from_marked(0xEC);
inline constexpr VInt64 crc32 = VInt64::from_marked(0xBF);
} // namespace ids

} // namespace perlane::reader
