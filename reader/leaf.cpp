#include "leaf.h"

namespace perlane::reader {

std::string lossy_utf8(const std::uint8_t *data, std::size_t size) {
    static constexpr char replacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t b = data[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        int need = 0;
        std::uint8_t lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0) lo = 0xA0; // no overlong forms
            if (b == 0xED) hi = 0x9F; // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F; // nothing above U+10FFFF
        } else {
            out += replacement;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        int got = 0;
        while (got < need && j < size) {
            const std::uint8_t c = data[j];
            const bool ok = got == 0 ? (c >= lo && c <= hi) : (c >= 0x80 && c <= 0xBF);
            if (!ok)
                break;
            ++j;
            ++got;
        }
        if (got == need)
            out.append(reinterpret_cast<const char *>(data + i), j - i);
        else
            out += replacement; // the maximal subpart i..j goes as one replacement
        i = j;
    }
    return out;
}

} // namespace perlane::reader
