#pragma once
// One opened file: what was read from it, the user's pending edits, and their history.
// A document belongs to the file that was opened (its device and inode), never to a
// segment UID: two files never share edits, whatever their UIDs.
#include "chapters.h"
#include "history.h"
#include "io.h"
#include "master.h"
#include "track_flags.h"

#include <QString>

#include <expected>
#include <functional>
#include <memory>
#include <vector>

namespace perlane {

// What the window shows and edits of one track.
struct TrackValues {
    QString name;
    QString language; // LanguageBCP47 when the track has it (Language is then ignored), else Language
    bool is_default = false;
    FlagValues flags{};
    bool operator==(const TrackValues &) const = default;
};

// Puts onto `target` what differs between `was` and `now`, field by field: the edits made
// to one track, carried to another (or to the same track read again).
void carry_track_edits(const TrackValues &was, const TrackValues &now, TrackValues &target);

// Everything a document's edits can change. Comparing states is what "modified" means:
// an edit and its reverse leave nothing to save.
struct DocumentState {
    std::vector<TrackValues> tracks; // one per TrackEntry, in stored order
    Editions editions;
    QString title; // empty: no title
    bool operator==(const DocumentState &) const = default;
};

// Why a file could not be opened: first what it means for the user, then the reader's
// own words (empty when there are none).
struct LoadError {
    QString plain;
    QString detail;
};

class Document {
public:
    // Reads the file, or says why it cannot be opened.
    static std::expected<std::unique_ptr<Document>, LoadError> load(const QString &path);

    const QString &path() const { return path_; }
    // Tells this open document from any other of the process, the same file opened again
    // included: it stays the same across reloads and saves.
    std::uint64_t serial() const { return serial_; }
    QString name() const;
    const reader::FileIdentity &identity() const { return identity_; }
    const reader::Info &info() const { return info_; }
    QString title() const; // as read; empty when untitled
    const std::vector<reader::TrackEntry> &tracks() const { return tracks_; }
    std::vector<std::uint64_t> track_uids() const; // in stored order
    // The index of the track with this TrackNumber.
    std::optional<std::size_t> track_numbered(std::uint64_t number) const;
    bool had_chapters() const { return had_chapters_; }
    // What is wrong with a file that could be opened (cut short, index or tags missing);
    // empty when nothing is.
    const QString &warning() const { return warning_; }
    std::optional<std::uint64_t> segment_end() const;

    const DocumentState &read() const { return read_; }
    const DocumentState &state() const { return state_; }
    bool modified() const { return state_ != read_; }

    // Applies an edit as one undoable step. `change` returns false to refuse; an edit that
    // leaves the state as it was is no step. True when the state changed.
    // `group` ties it to the steps other documents take for the same action.
    bool edit(const std::function<bool(DocumentState &)> &change, std::uint64_t group = 0);
    std::uint64_t undo_group() const { return history_.undo_group(); }
    std::uint64_t redo_group() const { return history_.redo_group(); }
    bool can_undo() const { return history_.can_undo(); }
    bool can_redo() const { return history_.can_redo(); }
    bool undo();
    bool redo();

    // True when `other` (the same path read again) holds the same metadata as was read here.
    bool same_metadata(const Document &other) const;
    // Becomes `fresh`, the file read again: its content is what was read, the edits and
    // their history are gone.
    void replace_with(Document &&fresh);
    // Becomes `fresh`, the file read back after a save that wrote `saved`, with the edits
    // made since (while the tool ran) kept on top: tracks matched by TrackUID, the title,
    // and the chapters, which carry their UIDs. The history is carried over the same way.
    void rebase(Document &&fresh, const DocumentState &saved);
    // The file was touched but holds what was read: its new identity is the one to check.
    void adopt_identity(const reader::FileIdentity &identity) { identity_ = identity; }

    // The file changed on disk since it was read (found by a save's check or the watcher).
    bool changed_on_disk = false;
    // A save of this document is running; edits made meanwhile stay pending on top of what
    // it writes (see rebase).
    bool saving = false;

private:
    Document();
    std::uint64_t serial_;
    QString path_;
    reader::FileIdentity identity_;
    reader::Info info_;
    std::vector<reader::TrackEntry> tracks_;
    bool had_chapters_ = false;
    QString warning_;
    DocumentState read_;
    DocumentState state_;
    History history_;
};

} // namespace perlane
