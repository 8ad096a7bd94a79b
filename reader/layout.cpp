#include "layout.h"

#include "master.h"

#include <algorithm>

namespace perlane::reader {

namespace {

bool top_level(const VInt64 &id) {
    return id == SeekHead::id || id == Info::id || id == Tracks::id || id == Chapters::id || id == Cues::id ||
           id == Attachments::id || id == Tags::id || id == ids::cluster || id == ids::segment || id == ids::ebml;
}

// The end of a Cluster of unknown size: the first top-level element among what follows,
// or the limit.
Result<std::uint64_t> unknown_cluster_end(File &file, std::uint64_t limit) {
    while (true) {
        const std::uint64_t at = *file.position();
        if (at >= limit)
            return limit;
        auto h = read_header(file);
        if (!h || top_level(h->id))
            return at;
        if (h->size.is_unknown)
            return limit; // nothing more can be told apart
        const std::uint64_t next = *file.position() + h->size.value;
        if (next <= at || next >= limit)
            return limit;
        if (auto moved = file.seek(next); !moved)
            return std::unexpected(std::move(moved.error()));
    }
}

} // namespace

Result<Layout> read_layout(File &file) {
    Layout layout;
    const auto size = file.size();
    if (!size)
        return std::unexpected(Error::io_error("the file's size is unknown"));
    layout.file_size = *size;
    if (auto seek = file.seek(0); !seek)
        return std::unexpected(std::move(seek.error()));
    if (auto ebml = read_ebml(file); !ebml)
        return std::unexpected(std::move(ebml.error()));
    auto segment = read_header(file);
    if (!segment)
        return std::unexpected(std::move(segment.error()));
    if (segment->id != ids::segment)
        return std::unexpected(Error::with_id(ErrorKind::MissingElement, ids::segment));
    layout.segment_data_start = *file.position();
    layout.segment_end = segment->size.is_unknown
                             ? layout.file_size
                             : std::min(layout.file_size, layout.segment_data_start + segment->size.value);
    std::vector<std::uint64_t> indexed; // where the SeekHeads met so far point
    bool jumped = false;
    std::uint64_t at = layout.segment_data_start;
    while (at < layout.segment_end) {
        if (auto seek = file.seek(at); !seek)
            return std::unexpected(std::move(seek.error()));
        auto h = read_header(file);
        if (!h)
            break; // an unreadable header ends the segment, as for the view
        if (h->id == ids::segment)
            break; // only the first segment is edited
        Placed placed{h->id, at, *file.position() - at, 0};
        const std::uint64_t body = *file.position();
        if (h->id == SeekHead::id && !h->size.is_unknown) {
            if (auto seek_head = read_element<SeekHead>(*h, file))
                for (const Seek &s : seek_head->seek)
                    indexed.push_back(layout.segment_data_start + s.seek_position.value);
        }
        if (h->id == ids::cluster && !jumped) {
            // Walking every Cluster header of a long file costs more than the save itself.
            // The clusters run up to the first indexed element after them (an element
            // boundary): jump there when a top-level header is really found at that place.
            jumped = true;
            std::uint64_t next = layout.segment_end;
            for (std::uint64_t p : indexed)
                if (p > at && p < next)
                    next = p;
            if (next < layout.segment_end && file.seek(next)) {
                auto there = read_header(file);
                if (there && top_level(there->id) && there->id != ids::segment) {
                    placed.body_size = next - body; // the clusters as one
                    layout.elements.push_back(placed);
                    at = next;
                    continue;
                }
            }
        }
        if (h->size.is_unknown) {
            if (h->id != ids::cluster) {
                placed.body_size = layout.segment_end - body;
            } else {
                auto end = unknown_cluster_end(file, layout.segment_end);
                if (!end)
                    return std::unexpected(std::move(end.error()));
                placed.body_size = *end - body;
            }
        } else {
            placed.body_size = std::min(h->size.value, layout.segment_end - body);
        }
        layout.elements.push_back(placed);
        at = placed.end();
    }
    return layout;
}

} // namespace perlane::reader
