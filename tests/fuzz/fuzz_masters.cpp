// Fuzz target: the body decoding of each top-level master. The first byte picks the master.
#include "master.h"

using namespace perlane::reader;

namespace {
template <class M> void decode(Bytes body) {
    auto r = decode_body<M>(body);
    if (!r)
        (void)r.error().message();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const Bytes body(data + 1, size - 1);
    switch (data[0] % 8) {
    case 0: decode<Ebml>(body); break;
    case 1: decode<SeekHead>(body); break;
    case 2: decode<Info>(body); break;
    case 3: decode<Tracks>(body); break;
    case 4: decode<Chapters>(body); break;
    case 5: decode<Tags>(body); break;
    case 6: decode<Cues>(body); break;
    case 7: decode<Attachments>(body); break;
    }
    return 0;
}
