#pragma once
// The element machinery: a master's children are declared once, as a table of rows built
// from member pointers, and one loop (decode_master) decodes every master from its table.
//
// The shape of a child follows from its member's type: std::vector<T> is a list,
// std::optional<T> is optional, a plain T is defaulted (its default is the leaf's
// initialiser) unless the row says required().
#include "coding.h"
#include "leaf.h"
#include "log.h"
#include "supplement.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <type_traits>
#include <vector>

namespace perlane::reader {

// Masters nest at most this deep (a top-level element is level 0). Real files nest
// chapters and simple tags a handful of levels; a crafted body could nest them hundreds
// of thousands of levels deep and exhaust the stack.
inline constexpr int max_nesting_depth = 64;

// Every master record carries these besides its children.
struct MasterBase {
    std::optional<Crc32> crc32;            // stored when the body starts with one; never verified
    std::optional<std::uint64_t> void_size; // sum of the body sizes of Void children
    bool operator==(const MasterBase &) const = default;
};

template <std::uint64_t Id> struct Master : MasterBase {
    static constexpr VInt64 id = VInt64::from_marked(Id);
};

template <class T> concept MasterElement = std::is_base_of_v<MasterBase, T>;

// Children of each master; specialised next to each master's record (master.h).
template <class M> struct Table;

enum class Shape { Required, Defaulted, Optional, List };

template <class M> struct Row {
    VInt64 id;
    Shape shape;
    // Decodes one child body into the record (stores or appends).
    Result<void> (*decode)(M &, Bytes body, VInt64 id, int depth);
};

template <MasterElement M> Result<M> decode_master(Cursor &cursor, int depth = 0);

namespace detail {

template <class T> struct Member;
template <class C, class F> struct Member<F C::*> {
    using Owner = C;
    using Field = F;
};

template <class F> struct FieldShape {
    using Element = F;
    static constexpr Shape shape = Shape::Defaulted;
};
template <class T> struct FieldShape<std::optional<T>> {
    using Element = T;
    static constexpr Shape shape = Shape::Optional;
};
template <class T> struct FieldShape<std::vector<T>> {
    using Element = T;
    static constexpr Shape shape = Shape::List;
};

inline std::uint64_t big_endian(Bytes b) {
    std::uint64_t v = 0;
    for (std::uint8_t x : b)
        v = (v << 8) | x;
    return v;
}

// A leaf from exactly its body. A length the value type does not accept is UnderDecode.
template <class E> Result<E> decode_leaf(Bytes body, VInt64 id) {
    const auto bad_length = [&] { return std::unexpected(Error::with_id(ErrorKind::UnderDecode, id)); };
    E out{};
    if constexpr (E::value_type == ValueType::UnsignedInteger) {
        if (body.size() > 8)
            return bad_length();
        if (!body.empty())
            out.value = big_endian(body);
    } else if constexpr (E::value_type == ValueType::Float) {
        if (body.size() == 4) {
            const auto bits = static_cast<std::uint32_t>(big_endian(body));
            out.value = static_cast<double>(std::bit_cast<float>(bits));
        } else if (body.size() == 8) {
            out.value = std::bit_cast<double>(big_endian(body));
        } else if (!body.empty()) {
            return bad_length();
        }
    } else if constexpr (E::value_type == ValueType::Date) {
        if (body.size() != 8)
            return bad_length();
        out.value = static_cast<std::int64_t>(big_endian(body));
    } else if constexpr (E::value_type == ValueType::Text) {
        if (!body.empty()) {
            const void *zero = std::memchr(body.data(), 0, body.size());
            const std::size_t n =
                zero ? static_cast<std::size_t>(static_cast<const std::uint8_t *>(zero) - body.data())
                     : body.size();
            out.value = lossy_utf8(body.data(), n);
            out.inexact = out.value.size() != n || std::memcmp(out.value.data(), body.data(), n) != 0 ||
                          std::any_of(body.begin() + static_cast<std::ptrdiff_t>(n), body.end(), [](std::uint8_t b) { return b != 0; });
        }
    } else {
        out.value.assign(body.begin(), body.end());
    }
    return out;
}

template <class E> Result<E> decode_value(Bytes body, VInt64 id, int depth) {
    if constexpr (MasterElement<E>) {
        Cursor inner(body);
        return decode_master<E>(inner, depth + 1);
    } else {
        return decode_leaf<E>(body, id);
    }
}

template <auto Ptr> Result<void> decode_into(typename Member<decltype(Ptr)>::Owner &record, Bytes body,
                                             VInt64 id, int depth) {
    using Field = typename Member<decltype(Ptr)>::Field;
    using Element = typename FieldShape<Field>::Element;
    auto value = decode_value<Element>(body, id, depth);
    if (!value)
        return std::unexpected(std::move(value.error()));
    if constexpr (FieldShape<Field>::shape == Shape::List)
        (record.*Ptr).push_back(std::move(*value));
    else
        record.*Ptr = std::move(*value);
    return {};
}

} // namespace detail

// A row for the member `Ptr`; shape from the member's type.
template <auto Ptr> constexpr auto child() {
    using M = detail::Member<decltype(Ptr)>;
    using Shapes = detail::FieldShape<typename M::Field>;
    return Row<typename M::Owner>{Shapes::Element::id, Shapes::shape, &detail::decode_into<Ptr>};
}

// A row for a plain member that must be present.
template <auto Ptr> constexpr auto required() {
    auto row = child<Ptr>();
    static_assert(detail::FieldShape<typename detail::Member<decltype(Ptr)>::Field>::shape ==
                      Shape::Defaulted,
                  "only a plain member can be required");
    row.shape = Shape::Required;
    return row;
}

template <class M, class... Rows> constexpr std::array<Row<M>, sizeof...(Rows)> rows(Rows... r) {
    return {r...};
}

template <class M, std::size_t N> constexpr bool unique_ids(const std::array<Row<M>, N> &rows) {
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = i + 1; j < N; ++j)
            if (rows[i].id == rows[j].id)
                return false;
    return !std::any_of(rows.begin(), rows.end(), [](const Row<M> &r) {
        return r.id == ids::void_element || r.id == ids::crc32;
    });
}

// The child loop, for every master.
template <MasterElement M> Result<M> decode_master(Cursor &cursor, int depth) {
    constexpr auto &table = Table<M>::rows;
    static_assert(unique_ids(table), "a child ID appears twice in a table");
    if (depth >= max_nesting_depth)
        return std::unexpected(Error::with_id(ErrorKind::NestingTooDeep, M::id));

    M record{};
    // A checksum counts only as the very first child with a one-byte size of 4.
    if (cursor.remaining() >= 7 && cursor.rest()[0] == 0xBF && cursor.rest()[1] == 0x84) {
        auto crc = Crc32::decode(cursor);
        if (!crc)
            return std::unexpected(crc.error());
        record.crc32 = *crc;
    }

    std::array<bool, table.size()> seen{};
    while (true) {
        // An unreadable header ends the loop; the trailing-bytes check below decides.
        VInt64 id_value, size_value;
        if (read_vint(cursor, id_value) != VIntStatus::Ok || read_vint(cursor, size_value) != VIntStatus::Ok)
            break;
        const VInt64 *id = &id_value, *size = &size_value;
        if (size->value > cursor.remaining())
            return std::unexpected(Error::out_of_bounds(size->value, cursor.remaining()));
        const Bytes body = cursor.take(static_cast<std::size_t>(size->value));

        // IDs compare with their unknown flag: the 0xFF form matches no element.
        if (*id == ids::void_element) {
            record.void_size = record.void_size.value_or(0) + size->value;
            if (log::enabled())
                log::write(log::Level::Info, log::master_target,
                           "Skipping Void element in Element " + to_string(M::id) +
                               ", size: " + std::to_string(size->value) + "B");
            continue;
        }
        std::size_t i = 0;
        while (i < table.size() && table[i].id != *id)
            ++i;
        if (i == table.size()) {
            if (log::enabled())
                log::write(log::Level::Warning, log::master_target,
                           "Unknown element " + to_string(*id) + "(" + std::to_string(size->value) +
                               "b) in Element(" + to_string(M::id) + ")");
            continue;
        }
        if (table[i].shape != Shape::List && seen[i])
            return std::unexpected(Error::duplicate(*id, M::id));
        if (auto stored = table[i].decode(record, body, *id, depth); !stored)
            return std::unexpected(std::move(stored.error()));
        seen[i] = true;
    }
    if (!cursor.empty())
        return std::unexpected(Error::of(ErrorKind::ShortRead));
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].shape == Shape::Required && !seen[i])
            return std::unexpected(Error::with_id(ErrorKind::MissingElement, table[i].id));
    return record;
}

// Decodes a whole master body held in memory.
template <MasterElement M> Result<M> decode_body(Bytes body, int depth = 0) {
    Cursor cursor(body);
    return decode_master<M>(cursor, depth);
}

} // namespace perlane::reader
