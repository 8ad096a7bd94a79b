#pragma once
// Decoding from memory: a cursor over the remaining bytes of a body.
#include "base.h"
#include "error.h"

#include <bit>
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
inline std::uint64_t vint_value(std::uint8_t first, Bytes more) {
    std::uint64_t value = first & (0x7Fu >> more.size());
    for (std::uint8_t b : more)
        value = (value << 8) | b;
    return value;
}

enum class VIntStatus { Ok, Empty, Invalid, Short };

// The fast form: no Error is built. On failure the bytes consumed so far stay consumed
// (the first byte; the child loop relies on this).
inline VIntStatus read_vint(Cursor &cursor, VInt64 &out) {
    if (cursor.empty())
        return VIntStatus::Empty;
    const std::uint8_t first = cursor.take(1)[0];
    if (first == 0xFF) {
        out = {127, true};
        return VIntStatus::Ok;
    }
    const int length = vint_length(first);
    if (length == 0)
        return VIntStatus::Invalid;
    const auto extra = static_cast<std::size_t>(length - 1);
    if (cursor.remaining() < extra)
        return VIntStatus::Short;
    out = {vint_value(first, cursor.take(extra)), false};
    return VIntStatus::Ok;
}

// Decodes one VInt64 and advances past it, with the failure as an Error.
inline Result<VInt64> decode_vint(Cursor &cursor) {
    const std::uint8_t first = cursor.empty() ? 0 : cursor.rest()[0];
    VInt64 out;
    switch (read_vint(cursor, out)) {
    case VIntStatus::Ok: break;
    case VIntStatus::Empty: return std::unexpected(Error::out_of_bounds(1, 0));
    case VIntStatus::Invalid: return std::unexpected(Error::of(ErrorKind::InvalidVInt));
    case VIntStatus::Short:
        return std::unexpected(Error::out_of_bounds(static_cast<std::uint64_t>(vint_length(first) - 1),
                                                    cursor.remaining()));
    }
    return out;
}

} // namespace perlane::reader
