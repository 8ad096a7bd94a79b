#include "view.h"

#include <algorithm>
#include <limits>

namespace perlane::reader {

namespace {

// A segment being read: its fields so far, and what the jumps need.
struct SegmentState {
    SegmentView view;
    std::optional<Info> info;
    std::uint64_t size = 0;
    bool size_unknown = false;
};

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max()
                                                              : a + b;
}

} // namespace

std::vector<SeekEntry> seek_entries(const SegmentView &segment) {
    std::vector<SeekEntry> entries;
    for (const SeekHead &head : segment.seek_head) {
        for (const Seek &seek : head.seek) {
            Cursor cursor(seek.seek_id.value);
            auto id = decode_vint(cursor);
            if (!id) {
                // The ID is read as from a byte stream: running out of bytes is an end of file.
                const Error error =
                    id.error().kind == ErrorKind::OutOfBounds ? Error::end_of_file() : id.error();
                if (log::enabled())
                    log::write(log::Level::Warning, log::view_target,
                               "Failed to read seek_id as VInt: " + error.message() + ", skip...");
                continue;
            }
            entries.push_back({*id, saturating_add(segment.data_start, seek.seek_position.value)});
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SeekEntry &a, const SeekEntry &b) { return a.offset < b.offset; });
    return entries;
}

namespace {

Result<void> finish(SegmentState &state, std::vector<SegmentView> &segments) {
    if (!state.info)
        return std::unexpected(Error::with_id(ErrorKind::MissingElement, Info::id));
    state.view.info = std::move(*state.info);
    segments.push_back(std::move(state.view));
    return {};
}

SegmentState start(const Header &header, std::uint64_t data_start) {
    SegmentState state;
    state.view.data_start = data_start;
    if (!header.size.is_unknown)
        state.view.declared_end = saturating_add(data_start, header.size.value);
    state.size = header.size.value;
    state.size_unknown = header.size.is_unknown;
    return state;
}

template <class M, class Store>
Result<void> read_into(const Header &header, File &file, Store store) {
    auto element = read_element<M>(header, file);
    if (!element)
        return std::unexpected(std::move(element.error()));
    store(std::move(*element));
    return {};
}

} // namespace

Result<MatroskaView> MatroskaView::read_from(File &file, ReadMode mode) {
    const bool lean = mode == ReadMode::Metadata;
    auto ebml = read_ebml(file);
    if (!ebml)
        return std::unexpected(std::move(ebml.error()));
    auto first = read_header(file);
    if (!first)
        return std::unexpected(std::move(first.error()));
    if (first->id != ids::segment)
        return std::unexpected(Error::with_id(ErrorKind::MissingElement, ids::segment));

    std::vector<SegmentView> segments;
    SegmentState state = start(*first, *file.position());

    while (true) {
        const std::uint64_t at = *file.position();
        auto header = read_header(file);
        if (!header)
            break; // an unreadable header ends the file, like its end does
        const Header &h = *header;
        Result<void> step;
        const bool passed_over = h.id == Cues::id || h.id == Attachments::id || h.id == Tags::id;
        if (lean && passed_over && !h.size.is_unknown) {
            step = file.skip(h.size.value);
        } else if (lean && !h.size.is_unknown && h.size.value > max_metadata_body &&
                   (h.id == SeekHead::id || h.id == Info::id || h.id == Tracks::id || h.id == Chapters::id)) {
            return std::unexpected(Error::too_large(h.id, h.size.value, max_metadata_body));
        } else if (h.id == SeekHead::id) {
            step = read_into<SeekHead>(h, file, [&](SeekHead e) { state.view.seek_head.push_back(std::move(e)); });
        } else if (h.id == Info::id) {
            step = read_into<Info>(h, file, [&](Info e) { state.info = std::move(e); });
        } else if (h.id == Tracks::id) {
            step = read_into<Tracks>(h, file, [&](Tracks e) { state.view.tracks = std::move(e); });
        } else if (h.id == Chapters::id) {
            step = read_into<Chapters>(h, file, [&](Chapters e) { state.view.chapters = std::move(e); });
        } else if (h.id == Cues::id) {
            step = read_into<Cues>(h, file, [&](Cues e) { state.view.cues = std::move(e); });
        } else if (h.id == Attachments::id) {
            step = read_into<Attachments>(h, file, [&](Attachments e) { state.view.attachments = std::move(e); });
        } else if (h.id == Tags::id) {
            step = read_into<Tags>(h, file, [&](Tags e) { state.view.tags.push_back(std::move(e)); });
        } else if (h.id == ids::segment) {
            if (auto done = finish(state, segments); !done)
                return std::unexpected(std::move(done.error()));
            state = start(h, *file.position());
        } else if (h.id == ids::cluster) {
            if (state.view.first_cluster_position == 0)
                state.view.first_cluster_position = at;
            // Jump to the first indexed element after this Cluster. For the first Cluster that
            // is the first entry after it; for a later one (met after a jump) the threshold is
            // this Cluster's own position, so every jump moves strictly forward.
            const std::uint64_t threshold = std::max(state.view.first_cluster_position, at);
            const auto entries = seek_entries(state.view);
            const auto next = std::find_if(entries.begin(), entries.end(),
                                           [&](const SeekEntry &e) { return e.offset > threshold; });
            std::optional<std::uint64_t> target;
            if (next != entries.end())
                target = next->offset;
            else if (!state.size_unknown && saturating_add(state.view.data_start, state.size) > at)
                target = saturating_add(state.view.data_start, state.size);
            if (!target)
                break; // nothing indexed after the clusters: the file is done
            step = file.seek(*target);
        } else {
            if (log::enabled())
                log::write(log::Level::Warning, log::view_target,
                           "Skipped unknown element with ID: " + to_string(h.id));
            step = file.skip(h.size.value);
        }
        if (!step)
            return std::unexpected(std::move(step.error()));
    }
    if (auto done = finish(state, segments); !done)
        return std::unexpected(std::move(done.error()));
    return MatroskaView{std::move(*ebml), std::move(segments)};
}

} // namespace perlane::reader
