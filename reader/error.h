#pragma once
// The reader's one error type. Every operation returns std::expected<T, Error>; nothing throws.
#include "base.h"

#include <cstdint>
#include <expected>
#include <string>

namespace perlane::reader {

enum class ErrorKind {
    Io,
    InvalidVInt,
    OutOfBounds,
    OverDecode,
    ShortRead,
    UnderDecode,
    MissingElement,
    DuplicateElement,
    ElementBodySizeUnknown,
    MalformedLacing,
    // Masters nested deeper than max_nesting_depth (a crafted file would otherwise
    // exhaust the stack).
    NestingTooDeep,
    // A body larger than the reading mode's limit for its element (`needed` is its size,
    // `available` the limit): refused before anything is allocated for it.
    ElementTooLarge,
    // The file ended inside what was being read (shown as the I/O error it is).
    EndOfFile,
};

struct Error {
    ErrorKind kind = ErrorKind::Io;
    VInt64 id{};         // the element concerned (child for DuplicateElement)
    VInt64 parent{};     // DuplicateElement only
    std::uint64_t needed = 0, available = 0; // OutOfBounds (not shown) and ElementTooLarge
    std::string io;      // Io only: the I/O error's own text

    static Error io_error(std::string text) { return {ErrorKind::Io, {}, {}, 0, 0, std::move(text)}; }
    static Error end_of_file() { return {ErrorKind::EndOfFile, {}, {}, 0, 0, "failed to fill whole buffer"}; }
    static Error out_of_bounds(std::uint64_t needed, std::uint64_t available) {
        return {ErrorKind::OutOfBounds, {}, {}, needed, available, {}};
    }
    static Error with_id(ErrorKind kind, VInt64 id) { return {kind, id, {}, 0, 0, {}}; }
    static Error duplicate(VInt64 child, VInt64 parent) {
        return {ErrorKind::DuplicateElement, child, parent, 0, 0, {}};
    }
    static Error of(ErrorKind kind) { return {kind, {}, {}, 0, 0, {}}; }
    static Error too_large(VInt64 id, std::uint64_t size, std::uint64_t limit) {
        return {ErrorKind::ElementTooLarge, id, {}, size, limit, {}};
    }

    std::string message() const;
    bool operator==(const Error &) const = default;
};

template <class T> using Result = std::expected<T, Error>;

} // namespace perlane::reader
