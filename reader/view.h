#pragma once
// The whole-file view: the EBML header and, per Segment, the top-level elements that
// describe the content. Cluster bodies are never read; the seek index jumps over them.
#include "io.h"

namespace perlane::reader {

struct SegmentView {
    std::vector<SeekHead> seek_head; // every SeekHead met, in reading order
    Info info;
    std::optional<Tracks> tracks;
    std::optional<Cues> cues;
    std::optional<Chapters> chapters;
    std::optional<Attachments> attachments;
    std::vector<Tags> tags; // every Tags met, in reading order
    std::uint64_t data_start = 0;             // file offset of the segment's body
    std::optional<std::uint64_t> declared_end; // where its size says it ends; none when unknown
    std::uint64_t first_cluster_position = 0; // offset of the first Cluster's header; 0: none
    bool operator==(const SegmentView &) const = default;
};

// An element a segment's SeekHeads point at: its ID and where it starts in the file.
struct SeekEntry {
    VInt64 id;
    std::uint64_t offset;
};
// The seek index's entries, in file order; entries whose ID cannot be read are left out.
std::vector<SeekEntry> seek_entries(const SegmentView &segment);

// How much a view reads. Metadata: the EBML header, SeekHead, Info, Tracks and Chapters
// only; the bodies of Cues, Tags and Attachments are passed over (those stay empty), and
// each element read is refused above max_metadata_body bytes.
enum class ReadMode { Everything, Metadata };
inline constexpr std::uint64_t max_metadata_body = 64ull << 20;

struct MatroskaView {
    Ebml ebml;
    std::vector<SegmentView> segments; // never empty

    // Reads the view from a file positioned at its start. The file's position afterwards
    // is unspecified.
    static Result<MatroskaView> read_from(File &file, ReadMode mode = ReadMode::Everything);
    bool operator==(const MatroskaView &) const = default;
};

} // namespace perlane::reader
