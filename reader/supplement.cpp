#include "supplement.h"

namespace perlane::reader {

Result<Crc32> Crc32::decode(Cursor &cursor) {
    auto id = decode_vint(cursor);
    if (!id)
        return std::unexpected(id.error());
    auto size = decode_vint(cursor);
    if (!size)
        return std::unexpected(size.error());
    if (size->value > cursor.remaining())
        return std::unexpected(Error::out_of_bounds(size->value, cursor.remaining()));
    if (size->value < 4)
        return std::unexpected(Error::with_id(ErrorKind::OverDecode, ids::crc32));
    if (size->value > 4)
        return std::unexpected(Error::with_id(ErrorKind::UnderDecode, ids::crc32));
    const Bytes b = cursor.take(4);
    return Crc32{static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16 |
                                            static_cast<std::uint32_t>(b[3]) << 24)};
}

} // namespace perlane::reader
