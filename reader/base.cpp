#include "base.h"

#include <cstdio>

namespace perlane::reader {

std::string to_string(VInt64 v) {
    if (v.is_unknown)
        return "0xFF";
    if (v.value == 0)
        return "0x80";
    if (v.value == 127) // the one-byte form would read as "unknown"
        return "0x407F";
    char text[2 + 16 + 1];
    const int length = (std::bit_width(v.value) + 6) / 7;
    if (length > 8) { // no EBML encoding exists; decoding never yields such a value
        std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(v.value));
        return text;
    }
    const std::uint64_t marked = v.value | (std::uint64_t{1} << (7 * length));
    std::snprintf(text, sizeof text, "0x%0*llX", 2 * length, static_cast<unsigned long long>(marked));
    return text;
}

} // namespace perlane::reader
