#include "error.h"

namespace perlane::reader {

std::string Error::message() const {
    switch (kind) {
    case ErrorKind::Io:
    case ErrorKind::EndOfFile: return "I/O error: " + io;
    case ErrorKind::InvalidVInt:
        return "Invalid variable-length integer encoding, 8 leading zeros found...";
    case ErrorKind::OutOfBounds: return "Attempted to read past the end of the buffer";
    case ErrorKind::OverDecode: return "Element body over decode, ID: " + to_string(id);
    case ErrorKind::ShortRead: return "Short read: not all bytes were consumed";
    case ErrorKind::UnderDecode: return "Element body under decode, ID: " + to_string(id);
    case ErrorKind::MissingElement: return "Missing element, ID: " + to_string(id);
    case ErrorKind::DuplicateElement:
        return "Duplicate element " + to_string(id) + " in master element " + to_string(parent);
    case ErrorKind::ElementBodySizeUnknown: return "Element body size is unknown, ID: " + to_string(id);
    case ErrorKind::MalformedLacing: return "Malformed lacing data";
    case ErrorKind::NestingTooDeep: return "Element nesting too deep, ID: " + to_string(id);
    case ErrorKind::ElementTooLarge:
        return "Element too large, ID: " + to_string(id) + " (" + std::to_string(needed) + " bytes; at most " +
               std::to_string(available) + " are read)";
    }
    return "Unknown error";
}

} // namespace perlane::reader
