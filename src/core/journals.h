#pragma once
// The journals of saves as a whole: those of saves (or undos) that never ended are settled
// before any file is read, and the kept ones make "Undo Last Save" possible.
#include "document.h"
#include "journal.h"

#include <QObject>
#include <QString>

#include <expected>
#include <set>
#include <tuple>

namespace perlane {

class Journals : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Puts back files whose save never finished, when they are exactly as the interruption
    // left them; a file whose tool still runs is looked at again a second later. What was
    // found is said through `status`.
    void recover();
    void ensure_recovered() {
        if (!recovered_)
            recover();
    }
    // Recovery waits for a tool that still runs.
    bool waiting() const { return waiting_; }
    // Reads which files are as a kept save left them (after a save, or an undo of one).
    void reindex();
    bool can_undo_save(const Document &doc) const;
    // Puts the document's file back to the bytes it had before its last save, unless it
    // changed since; the document is read again. Why not, when it was not.
    std::expected<void, QString> undo_last_save(Document &doc);

Q_SIGNALS:
    void status(const QString &text, bool failed);
    // Recovery is over (nothing waits for a tool any more).
    void settled();
    // The kept saves changed: which files Undo Last Save is offered for.
    void kept_changed();

private:
    void index(const std::vector<Journal> &journals);
    std::optional<Journal> last_save_of(const Document &doc) const;

    bool recovered_ = false;
    bool waiting_ = false;
    // The files as their kept saves left them (device, inode, size, time): a file is offered
    // Undo Last Save only while it is exactly what a save made it, not for another file
    // that happens to reuse an inode. Read from the journals when they change, not on
    // every switch of file.
    using SavedKey = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, std::int64_t>;
    static SavedKey key_of(const reader::FileIdentity &id) { return {id.device, id.inode, id.size, id.mtime_ns}; }
    std::set<SavedKey> saved_files_;
};

// "its original bytes are kept in …; run … to put them back."
QString kept_text(const Journal &j);

} // namespace perlane
