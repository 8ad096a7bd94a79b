#pragma once
// Decoding from memory: a cursor over the remaining bytes of a body.
#include "base.h"
#include "error.h"

#include <cstdint>
#include <span>

namespace perlane::reader {

using Bytes = std::span<const std::uint8_t>;

class Cursor {
public:
    explicit Cursor(Bytes bytes) : rest_(bytes) {}
    std::size_t remaining() const { return rest_.size(); }
    bool empty() const { return rest_.empty(); }
    Bytes rest() const { return rest_; }
    // The caller has checked that n bytes remain.
    Bytes take(std::size_t n) {
        const Bytes head = rest_.first(n);
        rest_ = rest_.subspan(n);
        return head;
    }

private:
    Bytes rest_;
};

// Number of bytes of the encoding that starts with `first` (1 to 8); 0 for 0x00.
constexpr int vint_length(std::uint8_t first) { return first == 0 ? 0 : std::countl_zero(first) + 1; }

// Combines the first byte's value bits with the following bytes (big-endian).
std::uint64_t vint_value(std::uint8_t first, Bytes more);

// Decodes one VInt64 and advances past it. On failure the bytes consumed so far stay
// consumed (the first byte; the child loop relies on this).
Result<VInt64> decode_vint(Cursor &cursor);

} // namespace perlane::reader
