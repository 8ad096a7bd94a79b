#include "coding.h"

namespace perlane::reader {

std::uint64_t vint_value(std::uint8_t first, Bytes more) {
    const int extra = static_cast<int>(more.size());
    std::uint64_t value = first & (0x7Fu >> extra);
    for (std::uint8_t b : more)
        value = (value << 8) | b;
    return value;
}

Result<VInt64> decode_vint(Cursor &cursor) {
    if (cursor.empty())
        return std::unexpected(Error::out_of_bounds(1, 0));
    const std::uint8_t first = cursor.take(1)[0];
    if (first == 0xFF)
        return VInt64{127, true};
    const int length = vint_length(first);
    if (length == 0)
        return std::unexpected(Error::of(ErrorKind::InvalidVInt));
    const auto extra = static_cast<std::size_t>(length - 1);
    if (cursor.remaining() < extra)
        return std::unexpected(Error::out_of_bounds(extra, cursor.remaining()));
    return VInt64{vint_value(first, cursor.take(extra)), false};
}

} // namespace perlane::reader
