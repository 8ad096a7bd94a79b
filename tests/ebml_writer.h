#pragma once
// A tiny EBML writer for building element bodies and whole files in tests.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace ebml {

using Bytes = std::vector<std::uint8_t>;

// An ID as written in files (marker included), big-endian, minimal bytes.
inline Bytes id(std::uint64_t marked) {
    Bytes out;
    for (int shift = 56; shift >= 0; shift -= 8)
        if ((marked >> shift) != 0 || shift == 0)
            out.push_back(static_cast<std::uint8_t>(marked >> shift));
    return out;
}

// The shortest size encoding (never the reserved all-ones form).
inline Bytes size(std::uint64_t n) {
    int length = 1;
    while (length < 8 && n >= (std::uint64_t{1} << (7 * length)) - 1)
        ++length;
    Bytes out(static_cast<std::size_t>(length));
    std::uint64_t v = n | (std::uint64_t{1} << (7 * length));
    for (int i = length - 1; i >= 0; --i, v >>= 8)
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    return out;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes element(std::uint64_t marked_id, const Bytes &body) {
    return cat({id(marked_id), size(body.size()), body});
}
inline Bytes master(std::uint64_t marked_id, std::initializer_list<Bytes> children) {
    return element(marked_id, cat(children));
}
inline Bytes unsigned_int(std::uint64_t marked_id, std::uint64_t v) {
    Bytes body;
    do {
        body.insert(body.begin(), static_cast<std::uint8_t>(v));
        v >>= 8;
    } while (v);
    return element(marked_id, body);
}
inline Bytes text(std::uint64_t marked_id, std::string_view s) {
    return element(marked_id, Bytes(s.begin(), s.end()));
}
inline Bytes raw(std::initializer_list<int> bytes) {
    Bytes out;
    for (int b : bytes)
        out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

} // namespace ebml
