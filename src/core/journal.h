#pragma once
// The journal of a save: the bytes of a file that mkvpropedit may overwrite, copied and
// flushed to disk before it runs, so that a failed save can be put back and a finished
// one taken back. One journal is one file in the state directory:
//   "perlane journal 2\n", a JSON header line (the file, its identity before the save,
//   the ranges, a digest of samples of the bytes the save leaves alone), the ranges' bytes
//   in order, then the SHA-256 of the header line and those bytes in hex. (Version 1
//   journals, whose digest covers the bytes only, are still read.)
// Beside it, records of how the save went:
//   "<journal>.done"     the file's identity after a finished save;
//   "<journal>.failed"   the identity the failed or killed tool left the file with;
//   "<journal>.undoing"  the save is being taken back (the identity after the save, and a
//                        digest per 4 KiB block of what the undo overwrites).
// A journal with neither .done nor .failed belongs to a save that has not ended, or whose
// end nobody saw.
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
    // The journals that cannot be read, as "journal path: why".
    static QStringList damaged();
    // Drops finished journals beyond the last `per_file` of each file and beyond
    // `total_bytes`; the newest of each file is kept whatever its size. Whether one alone
    // is over `total_bytes`.
    static constexpr std::uint64_t kept_bytes = 64ull << 20;
    static bool prune(std::size_t per_file = 20, std::uint64_t total_bytes = kept_bytes);
    // Removes what copies cut short by the program's end left behind.
    static void clean_unfinished_copies();

    // Records the save as finished, with the file's identity after it.
    std::expected<void, QString> mark_done(const reader::FileIdentity &after);
    // Reads the whole journal and checks it against its digest: nothing is written from a
    // journal that does not pass.
    std::expected<void, QString> verify() const;
    // Whether the bytes the save left alone are still those journaled (the file at `fd`
    // was not replaced by another one).
    std::expected<void, QString> check_untouched(int fd) const;
    // Puts the journaled bytes, the size and the modification time back, flushes, and
    // checks the bytes now in the file. The journal is verified first, the file must be the
    // one journaled (same inode, the same bytes outside the ranges). `locked_fd`, when
    // given, is the file's locked descriptor: the very file locked is written, whatever its
    // name points to now.
    std::expected<void, QString> restore(int locked_fd = -1) const;
    void remove() const;

    // What recovery may do with the file of an unfinished save or undo, open at `fd`.
    enum class Verdict {
        Untouched, // as before the save: nothing to put back
        Restore,   // exactly as the interrupted tool or undo left it: safe to put back
        Unsure,    // changed in a way that cannot be told from the interruption: ask
    };
    struct Assessment {
        Verdict verdict;
        QString why; // for Unsure
    };
    Assessment assess(int fd) const;

    // Undo Last Save as a journaled operation: the marker is written (and flushed) before
    // the first byte is put back, and removed with the journal once the undo is complete.
    std::expected<void, QString> begin_undo(int fd) const;
    bool undoing() const { return undoing_; }
    // The identity the failed tool left the file with, when its end was recorded.
    const std::optional<reader::FileIdentity> &failed() const { return failed_; }

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
    std::optional<reader::FileIdentity> failed_;
    bool undoing_ = false;
    int version_ = 2;
    QByteArray header_line_; // what the digest covers before the data (version 2)
    QByteArray untouched_sha256_; // of the sampled blocks outside the ranges, hex
    QByteArray sha256_; // of the header line and the ranges' bytes (version 1: the bytes), hex
    std::uint64_t data_offset_ = 0;
    qint64 created_ns_ = 0; // orders the journals: saves are never a nanosecond apart
};

} // namespace perlane
