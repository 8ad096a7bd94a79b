#pragma once
// Where a file's top-level elements are: what a save may rewrite, and what it must not
// copy. Only headers are read; bodies, clusters included, are passed over.
#include "io.h"

#include <vector>

namespace perlane::reader {

struct Placed {
    VInt64 id;
    std::uint64_t position = 0;    // of the header
    std::uint64_t header_size = 0; // ID and size field
    std::uint64_t body_size = 0;   // as far as the file holds it
    std::uint64_t end() const { return position + header_size + body_size; }
};

struct Layout {
    std::uint64_t segment_data_start = 0; // after the Segment header
    std::uint64_t segment_end = 0;        // the segment's declared end, or the file's end
    std::uint64_t file_size = 0;
    std::vector<Placed> elements; // the first segment's top-level elements, in file order
};

// Reads the layout of the file's first segment. A Cluster of unknown size ends where the
// next top-level element starts. When the SeekHead indexes an element after the first
// Cluster, everything from that Cluster up to the nearest such element is one entry with
// the Cluster's ID (the clusters are not walked one by one).
Result<Layout> read_layout(File &file);

} // namespace perlane::reader
