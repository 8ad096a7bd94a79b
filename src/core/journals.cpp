#include "journals.h"

#include "file_lock.h"

#include <QFile>
#include <QTimer>

namespace perlane {

QString kept_text(const Journal &j) {
    return QStringLiteral("its original bytes are kept in %1; run \u201Cperlane-journal restore %1\u201D to put them back.")
        .arg(j.journal_path());
}

// Journals without an end are saves (or undos of saves) that never finished: put those
// files back, but only when they are exactly as the interruption left them.
void Journals::recover() {
    recovered_ = true;
    waiting_ = false;
    Journal::clean_unfinished_copies();
    QStringList said;
    const std::vector<Journal> journals = Journal::all();
    index(journals); // start-up reads the journals once, for both
    for (const Journal &j : journals) {
        if (j.after() && !j.undoing())
            continue;
        auto lock = FileLock::take(j.path());
        if (!lock && lock.error().busy) {
            // Its tool still runs (it shares the lock): look again when it may have ended.
            if (!waiting_) {
                waiting_ = true;
                QTimer::singleShot(1000, this, &Journals::recover);
            }
            continue;
        }
        const QString head = j.undoing()
                                 ? QStringLiteral("Undoing the last save of %1 was cut short when the program ended.").arg(j.name())
                                 : QStringLiteral("Saving %1 failed: the program ended during the save.").arg(j.name());
        if (!lock) {
            if (!j.undoing() && !QFile::exists(j.path()))
                said << head + QStringLiteral(" The file is no longer there: ") + kept_text(j);
            else
                said << head + QStringLiteral(" It could not be restored (%1): ").arg(lock.error().why) + kept_text(j);
            continue;
        }
        const auto now = Journal::open(j.journal_path());
        if (!now || (now->after() && !now->undoing()))
            continue; // its save ended after all, just now
        const Journal::Assessment found = now->assess(lock->fd());
        if (found.verdict == Journal::Verdict::Untouched) {
            now->remove(); // the tool never changed it
            continue;
        }
        if (found.verdict == Journal::Verdict::Unsure) {
            said << head + QStringLiteral(" The file was left as it is: %1. ").arg(found.why) + kept_text(*now);
            continue;
        }
        if (const auto restored = now->restore(lock->fd()); !restored) {
            said << head + QStringLiteral(" It could not be restored (%1): ").arg(restored.error()) + kept_text(*now);
            continue;
        }
        now->remove();
        said << head + (now->undoing() ? QStringLiteral(" The undo was completed: the file is as before that save.")
                                       : QStringLiteral(" The file was restored unchanged."));
    }
    for (const QString &bad : Journal::damaged())
        said << QStringLiteral("A journal of a save cannot be read and was left alone: %1.").arg(bad);
    if (!said.isEmpty())
        Q_EMIT status(said.join(QLatin1Char(' ')), true);
    Q_EMIT kept_changed(); // the kept saves are known now
    if (!waiting_)
        Q_EMIT settled();
}

void Journals::reindex() {
    index(Journal::all());
    Q_EMIT kept_changed();
}

void Journals::index(const std::vector<Journal> &journals) {
    saved_files_.clear();
    for (const Journal &j : journals)
        if (j.after() && !j.undoing())
            saved_files_.insert(key_of(*j.after()));
}

std::optional<Journal> Journals::last_save_of(const Document &doc) const {
    std::optional<Journal> last;
    for (Journal &j : Journal::all())
        if (j.after() && !j.undoing() && *j.after() == doc.identity())
            last = std::move(j);
    return last;
}

bool Journals::can_undo_save(const Document &doc) const { return !doc.saving && saved_files_.contains(key_of(doc.identity())); }

std::expected<void, QString> Journals::undo_last_save(Document &doc) {
    if (doc.saving)
        return std::unexpected(QStringLiteral("it is being saved."));
    if (doc.modified())
        return std::unexpected(QStringLiteral("it has unsaved changes; save or revert them first."));
    const std::optional<Journal> last = last_save_of(doc);
    if (!last)
        return std::unexpected(QStringLiteral("no save of it is kept."));
    auto lock = FileLock::take(doc.path());
    if (!lock)
        return std::unexpected(lock.error().why + QLatin1Char('.'));
    if (lock->identity() != last->after() || !lock->identity()->same_file(doc.identity()))
        return std::unexpected(QStringLiteral("it changed since that save."));
    // Checked whole before the first byte is written, and recorded as under way, so that
    // an undo cut short is finished at the next start.
    if (const auto whole = last->verify(); !whole)
        return std::unexpected(whole.error() + QStringLiteral("; the file was left as it is."));
    if (const auto same = last->check_untouched(lock->fd()); !same)
        return std::unexpected(same.error() + QStringLiteral("; the file was left as it is."));
    if (const auto begun = last->begin_undo(lock->fd()); !begun)
        return std::unexpected(begun.error() + QStringLiteral("; the file was left as it is."));
    if (const auto restored = last->restore(lock->fd()); !restored)
        return std::unexpected(restored.error() + QStringLiteral("; ") + kept_text(*last));
    last->remove();
    reindex();
    if (auto fresh = Document::load(QStringLiteral("/proc/self/fd/%1").arg(lock->fd())))
        doc.replace_with(std::move(**fresh));
    return {};
}

} // namespace perlane
