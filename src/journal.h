#pragma once
// The journal of a save: the bytes of a file that mkvpropedit may overwrite, copied and
// flushed to disk before it runs, so that a failed save can be put back and a finished
// one taken back. One journal is one file in the state directory:
//   "perlane journal 1\n", a JSON header line (the file, its identity before the save,
//   the ranges), the ranges' bytes in order, then the SHA-256 of those bytes in hex.
// A finished save adds a "<journal>.done" file holding the file's identity after it; a
// journal without one belongs to a save that has not ended, or never did.
#include "io.h"
#include "layout.h"

#include <QByteArray>
#include <QString>

#include <expected>
#include <optional>
#include <vector>

namespace perlane {

struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool operator==(const ByteRange &) const = default;
};

// What a save may change of a file laid out as `layout`: the EBML and Segment headers,
// everything before the first Cluster but the bodies of Attachments, Cues, Tags and
// unknown elements, every element after the last Cluster (attachment bodies again left
// out), and anything after the segment's end. Adjacent ranges are merged.
std::vector<ByteRange> journal_ranges(const reader::Layout &layout);

// Bytes a save may append to the file: the elements mkvpropedit may rewrite, with room
// for them to grow by `growth` bytes.
std::uint64_t append_allowance(const reader::Layout &layout, std::uint64_t growth);

class Journal {
public:
    // $XDG_STATE_HOME/perlane/journal (default ~/.local/state/perlane/journal).
    static QString directory();

    // Copies `ranges` of the open file `fd` (at `path`, identity `before`) into a new
    // journal, flushed to disk under its final name before this returns.
    static std::expected<Journal, QString> write(int fd, const QString &path, const reader::FileIdentity &before,
                                                 const std::vector<ByteRange> &ranges);
    // Reads a journal's header (not its data).
    static std::expected<Journal, QString> open(const QString &journal_path);
    // Every journal in the directory, oldest first.
    static std::vector<Journal> all();
    // Drops finished journals beyond the last `per_file` of each file and beyond `total_bytes`.
    static void prune(std::size_t per_file = 20, std::uint64_t total_bytes = 64ull << 20);

    // Records the save as finished, with the file's identity after it.
    std::expected<void, QString> mark_done(const reader::FileIdentity &after);
    // Puts the journaled bytes, the size and the modification time back, flushes, and
    // checks the bytes now in the file. The file must be the one journaled (same inode).
    std::expected<void, QString> restore() const;
    void remove() const;

    const QString &journal_path() const { return journal_path_; }
    const QString &path() const { return path_; }
    QString name() const;
    const reader::FileIdentity &before() const { return before_; }
    const std::optional<reader::FileIdentity> &after() const { return after_; }
    std::uint64_t data_size() const;
    const std::vector<ByteRange> &ranges() const { return ranges_; }

private:
    QString journal_path_;
    QString path_;
    reader::FileIdentity before_;
    std::optional<reader::FileIdentity> after_;
    std::vector<ByteRange> ranges_;
    QByteArray sha256_; // of the ranges' bytes, hex
    std::uint64_t data_offset_ = 0;
    qint64 created_ns_ = 0; // orders the journals: saves are never a nanosecond apart
};

} // namespace perlane
